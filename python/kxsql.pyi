"""Split, tokenize and run SQL scripts the way each database's own client does."""

import os
from types import TracebackType
from typing import Iterator, Literal, Mapping, Optional, Union

__version__: str

Dialect = Literal["oracle", "db2", "informix", "sqlserver", "sybase", "postgres", "access", "sqlite",
                  "mysql", "generic"]
Rules = Literal["native", "classic"]
Script = Union[str, bytes, bytearray, memoryview]
Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class Error(Exception):
    """The database could not be opened or connected."""

class Statement:
    """One statement of a script, as kxsql split cuts it. Compare with ==; str() is its text."""
    @property
    def text(self) -> str: ...
    @property
    def parsed(self) -> str: ...
    @property
    def no_comment(self) -> str: ...
    @property
    def line(self) -> int: ...
    @property
    def kind(self) -> Literal["sql", "client", "data"]: ...
    @property
    def data(self) -> Optional[str]: ...
    @property
    def side_effect(self) -> Optional[str]: ...
    @property
    def is_select(self) -> bool: ...
    @property
    def repeat(self) -> int: ...

class StatementIterator(Iterator[Statement]):
    """The statements of a file, read one at a time (see iter_split)."""
    def __iter__(self) -> StatementIterator: ...
    def __next__(self) -> Statement: ...
    def close(self) -> None: ...
    def __enter__(self) -> StatementIterator: ...
    def __exit__(self, exc_type: Optional[type[BaseException]], exc: Optional[BaseException],
                 tb: Optional[TracebackType]) -> None: ...

class Failure:
    """A statement that failed, where it stands and why."""
    @property
    def statement(self) -> str: ...
    @property
    def line(self) -> int: ...
    @property
    def reason(self) -> str: ...
    @property
    def file(self) -> Optional[str]: ...

class RunResult:
    """What run() did."""
    @property
    def statements(self) -> int: ...
    @property
    def errors(self) -> int: ...
    @property
    def failures(self) -> list[Failure]: ...
    @property
    def output(self) -> list[str]: ...
    @property
    def completed(self) -> bool: ...
    @property
    def stopped(self) -> bool: ...
    @property
    def reason(self) -> Optional[str]: ...
    @property
    def ok(self) -> bool: ...

def split(script: Script, dialect: Dialect = "generic", rules: Rules = "native") -> list[Statement]:
    """The statements of a script held in memory (bytes are decoded as a script file is)."""

def iter_split(path: Path, dialect: Dialect = "generic", rules: Rules = "native") -> StatementIterator:
    """The statements of a script file, read in bounded memory."""

def tokens(script: Script, dialect: Dialect = "generic", rules: Rules = "native") -> list[tuple[str, str]]:
    """Every token as (type_name, text); the texts concatenate back to the script's text."""

def run(script_or_path: Union[Script, os.PathLike[str], os.PathLike[bytes]], *, sqlite: Optional[Path] = None,
        connect: Optional[str] = None, dialect: Optional[Dialect] = None, rules: Rules = "native",
        max_errors: Optional[int] = None, variables: Optional[Mapping[str, str]] = None) -> RunResult:
    """Runs a script (str or bytes; a file as a path object) on SQLite or over ODBC, as kxsql run does."""
