"""kxsql.split, iter_split and tokens: what they cut, where statements stand,
and that a str, its bytes, a file and the kxsql tool all agree."""
import ast
import json
import os
import pathlib
import random
import subprocess
import threading

import pytest

import kxsql


def lines(script, **kw):
    return [s.line for s in kxsql.split(script, **kw)]


@pytest.mark.parametrize("eol", ["\n", "\r\n", "\r"])
def test_line_of_each_statement_whatever_the_line_ends(eol):
    script = eol.join(["", "-- a comment", "select 1;", "", "/* two", "lines */ select", "2;", "  select 3; select 4;",
                       "-- trailing comment", ""])
    want = [3, 6, 8, 8]
    assert lines(script) == want
    assert lines(script.encode()) == want
    assert lines(script.encode("utf-16")) == want


@pytest.mark.parametrize("dialect, script, want", [
    # (kind, parsed text, data, repeat) of each statement
    ("postgres", "create function f() returns int as $$ begin return 1; end $$ language plpgsql;\nbegin;\n",
     [("sql", "create function f() returns int as $$ begin return 1; end $$ language plpgsql", None, 1),
      ("sql", "begin", None, 1)]),
    ("postgres", "copy t (a, b) from stdin;\n1\tx\n2\ty\n\\.\n\\c other\n",
     [("sql", "copy t (a, b) from stdin", "1\tx\n2\ty\n", 1), ("client", "\\c other", None, 1)]),
    ("sqlserver", "create table t (a int)\nGO 3\nselect 1; select 2\ngo\n",
     [("sql", "create table t (a int)", None, 3), ("sql", "select 1; select 2", None, 1)]),
    ("mysql", "DELIMITER //\ncreate procedure p() begin select 1; end //\nDELIMITER ;\nselect 2;\n",
     [("client", "DELIMITER //", None, 1), ("sql", "create procedure p() begin select 1; end", None, 1),
      ("client", "DELIMITER ;", None, 1), ("sql", "select 2", None, 1)]),
    ("oracle", "begin\n  null;\nend;\n/\nprompt done\nselect 1 from dual;\n",
     [("sql", "begin\n  null;\nend;", None, 1), ("client", "prompt done", None, 1), ("sql", "select 1 from dual", None, 1)]),
])
def test_native_rules_cut_as_the_client(dialect, script, want):
    got = [(s.kind, s.parsed, s.data, s.repeat) for s in kxsql.split(script, dialect=dialect)]
    assert got == want


def test_classic_rules_and_statement_fields():
    # Under the classic rules `begin;` alone on its line opens a block.
    assert len(kxsql.split("begin;\nselect 1;\nend;", dialect="postgres", rules="classic")) == 1
    assert len(kxsql.split("begin;\nselect 1;\nend;", dialect="postgres")) == 3
    s, = kxsql.split("-- why\nSELECT s.nextval FROM dual  ", dialect="oracle", rules="classic")
    assert (s.text, s.parsed, s.no_comment) == ("-- why\nSELECT s.nextval FROM dual  ", "SELECT s.nextval FROM dual",
                                                "SELECT s.nextval FROM dual")
    assert s.is_select and s.side_effect == "nextval" and s.line == 2 and str(s) == s.text
    # Statements outlive the script they point into, and compare by content.
    script = "select 1; select 2; select 1;"
    a, b, c = kxsql.split(script)
    del script
    assert (a == c, a != b, a == "select 1", a.text) == (True, True, False, "select 1")


def test_a_long_copy_comes_in_pieces_of_data():
    rows = "".join("%d\tname %d\n" % (i, i) for i in range(150000))
    statements = kxsql.split("copy t from stdin;\n" + rows + "\\.\nselect 1;", dialect="postgres")
    assert [s.kind for s in statements[:2]] == ["sql", "data"] and statements[-1].text == "select 1"
    assert all(s.text == "copy t from stdin" for s in statements[:-1])
    assert "".join(s.data for s in statements[:-1]) == rows


def test_bytes_are_decoded_as_a_script_file_is():
    for data in (b"\xef\xbb\xbfselect '\xc3\xa9';", "select 'é';".encode("utf-16-le"), "select 'é';".encode("utf-16"),
                 "select 'é';".encode("utf-32"), b"select '\xe9';"):  # the last: a Windows-1252 byte
        assert [s.text for s in kxsql.split(data)] == ["select 'é'"], data


SCRIPTS = [
    ("postgres", "\\set x 1\nselect :x;\ncopy t from stdin;\n1\n\\.\n-- end\n"),
    ("sqlite", "create trigger tr after insert on t begin\n select case when 1 then 2 end;\nend;\n.tables\n"),
    ("sqlserver", ":setvar a 1\r\nselect 1\r\nGO 2\r\n"),
    ("oracle", "create or replace procedure p is\nbegin\n null;\nend;\n/\n@other.sql\nselect 1 from dual;"),
    ("mysql", "# comment\nselect 'a\\'b';\nsource x.sql\n"),
    ("generic", "select 1;; select 'unterminated\n"),
    ("db2", "--#SET TERMINATOR @\ncreate trigger t begin atomic select 1; end@\n"),
]


@pytest.mark.parametrize("dialect, script", SCRIPTS)
def test_str_bytes_file_and_the_tool_agree(dialect, script, tmp_path):
    path = tmp_path / "script.sql"
    path.write_bytes(script.encode())
    want = kxsql.split(script, dialect=dialect)
    assert kxsql.split(script.encode(), dialect=dialect) == want
    with kxsql.iter_split(path, dialect=dialect) as statements:
        assert list(statements) == want
    tool = os.environ.get("KXSQL_CLI")
    if tool:
        out = subprocess.run([tool, "split", "--json", "--dialect", dialect, str(path)], capture_output=True,
                             check=True, text=True).stdout
        rows = [json.loads(line) for line in out.splitlines()]
        rows = [r for r in rows if r["kind"] != "sql" or r["first"]]  # the ones with SQL in them
        assert [(r["text"], r["line"], r["kind"], r.get("data"), r["parsed"], r["no_comment"]) for r in rows] == \
            [(s.text, s.line, s.kind, s.data, s.parsed, s.no_comment) for s in want]


def test_iter_split_reads_a_pipe(tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    writer = threading.Thread(target=lambda: fifo.write_text("select 1;\n" * 5000))
    writer.start()
    assert sum(1 for _ in kxsql.iter_split(str(fifo))) == 5000
    writer.join()


def test_bad_arguments_say_what_is_wrong(tmp_path):
    cases = [
        (lambda: kxsql.split(1), TypeError, "script must be str or bytes, not int"),
        (lambda: kxsql.split("x", dialect=None), TypeError, "dialect must be a str"),
        (lambda: kxsql.split("x", dialect="pg"), ValueError, "unknown dialect 'pg'"),
        (lambda: kxsql.tokens("x", rules="strict"), ValueError, "rules must be 'native' or 'classic'"),
        (lambda: kxsql.split("\ud800"), UnicodeEncodeError, "surrogates not allowed"),
        (lambda: kxsql.iter_split(tmp_path / "missing.sql"), FileNotFoundError, "missing.sql"),
        (lambda: kxsql.iter_split(tmp_path), IsADirectoryError, "Is a directory"),
        (lambda: kxsql.iter_split(3.5), TypeError, "path must be a path"),
        (lambda: kxsql.Statement(), TypeError, "cannot create"),
        (lambda: hash(kxsql.split("x")[0]), TypeError, "unhashable"),
    ]
    for call, error, text in cases:
        with pytest.raises(error, match=text):
            call()


def test_tokens_give_back_the_script():
    script = "select 'a;b' -- c\r\n/* d */ from t;\x00x"
    toks = kxsql.tokens(script)
    assert "".join(text for _, text in toks) == script
    # A backslash before a character beyond ASCII stays apart from it: tokens are whole characters.
    assert kxsql.tokens("\\é;", dialect="mysql") == [("OTHER", "\\"), ("SYMBOL", "é"), ("SEMI_COLON", ";")]
    assert toks[:3] == [("SYMBOL", "select"), ("WHITESPACE", " "), ("SQ_STRING", "'a;b'")]
    assert ("OTHER", "\x00") in toks


# Pieces that open and close what the splitters follow, for random scripts.
PIECES = ["select", " ", "\n", "\r\n", "\r", ";", "'", '"', "$$", "$a$", "--", "/*", "*/", "begin", "end", "go",
          "\nGO 2\n", "\n/\n", "delimiter //\n", "//", "\\", "\\.\n", "copy t from stdin;\n", "é", "\x00", "\ufeff",
          "case", "create trigger", "#", "`", "[", "]", "(", ")", "@", ":x", "&y", "\\i f\n", ".read f\n"]


def test_no_input_breaks_anything():
    rng = random.Random(1)
    dialects = ["generic", "postgres", "sqlite", "mysql", "oracle", "sqlserver", "db2", "informix"]
    for i in range(2000):
        if i % 2:
            script = "".join(rng.choice(PIECES) for _ in range(rng.randrange(40)))
            data = script.encode()
        else:
            script = None
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(200)))
        dialect, rules = rng.choice(dialects), rng.choice(["native", "classic"])
        for source in (data, script) if script is not None else (data,):
            toks = kxsql.tokens(source, dialect=dialect, rules=rules)
            if isinstance(source, str):
                assert "".join(t for _, t in toks) == source
            for s in kxsql.split(source, dialect=dialect, rules=rules):
                assert s.line >= 1 and s.kind in ("sql", "client", "data") and isinstance(s.text, str)


def test_the_stubs_name_what_the_module_has():
    stubs = ast.parse((pathlib.Path(kxsql.__file__).parent / "kxsql.pyi").read_text())
    names = {n.name for n in stubs.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
    public = {n for n in dir(kxsql) if not n.startswith("_")}
    assert names == public
