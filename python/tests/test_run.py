"""kxsql.run: what it runs, what it reports, how it stops."""
import _thread
import pathlib
import sqlite3
import threading
import time

import pytest

import kxsql


def rows(db, sql):
    with sqlite3.connect(db) as con:
        return con.execute(sql).fetchall()


def test_failures_say_where_and_why(tmp_path):
    db = tmp_path / "app.db"
    result = kxsql.run("create table t(a);\ninsert into t values (1);\n\n-- why\ninsert into nope values (2);\n"
                       "insert into t values (3);", sqlite=db)
    assert (result.statements, result.errors, result.completed, result.ok) == (4, 1, True, False)
    failure, = result.failures
    assert (failure.line, failure.statement, failure.file) == (5, "-- why\ninsert into nope values (2)", None)
    assert "no such table: nope" in failure.reason
    assert rows(db, "select a from t") == [(1,), (3,)]


def test_the_error_limit_ends_the_run():
    result = kxsql.run("select x; select y; select 1; select z;", sqlite=":memory:", max_errors=2)
    assert (result.statements, result.errors, result.completed) == (2, 2, False)
    assert result.reason == "the error limit (2) was reached"


def test_client_commands_variables_and_includes(tmp_path):
    (tmp_path / "part.sql").write_text("insert into :t values (:'v');\nselect broken;\n")
    main = tmp_path / "main.sql"
    main.write_text("\\set t items\ncreate table :t (v text);\n\\ir part.sql\n\\echo done :t\n")
    db = tmp_path / "app.db"
    result = kxsql.run(main, sqlite=str(db), dialect="postgres", variables={"v": "it's"})
    assert result.output == ["done items"]
    assert rows(db, "select v from items") == [("it's",)]
    failure, = result.failures
    assert (failure.file, failure.line) == (str(tmp_path / "part.sql"), 2)


def test_a_nul_character_stops_the_run_before_its_statement():
    result = kxsql.run(b"select 1;\nselect 2\x00;\nselect 3;", sqlite=":memory:")
    assert result.statements == 1 and not result.completed
    assert "a NUL character on line 2" in result.reason


def test_ctrl_c_cancels_the_running_statement_and_stops(tmp_path):
    db = tmp_path / "app.db"
    endless = "with recursive c(x) as (select 1 union all select x + 1 from c) select count(*) from c;"
    timer = threading.Timer(0.3, _thread.interrupt_main)
    timer.start()
    result = kxsql.run("create table t(a);\ninsert into t values (1);\n" + endless + "\ninsert into t values (2);",
                       sqlite=db)
    timer.join()
    assert (result.stopped, result.completed, result.reason) == (True, False, "interrupted")
    assert rows(db, "select a from t") == [(1,)]  # nothing after the endless query ran


def test_the_gil_is_free_while_a_run_waits(tmp_path):
    # The run waits for a lock that only this thread, running Python, can
    # release: were the GIL held, the lock would be released only after the
    # run gave up on it.
    db = tmp_path / "locked.db"
    kxsql.run("create table t(a);", sqlite=db)
    holder = sqlite3.connect(db, isolation_level=None)
    holder.execute("begin exclusive")
    results = []
    worker = threading.Thread(target=lambda: results.append(kxsql.run("insert into t values (1);", sqlite=db)))
    worker.start()
    time.sleep(0.3)
    holder.execute("commit")
    worker.join()
    assert results[0].ok and rows(db, "select a from t") == [(1,)]


def test_bad_arguments_and_unusable_databases(tmp_path):
    cases = [
        (lambda: kxsql.run("select 1;"), ValueError, "give sqlite= .* or connect="),
        (lambda: kxsql.run("select 1;", sqlite=":memory:", connect="DSN=x"), ValueError, "not both"),
        (lambda: kxsql.run("select 1;", sqlite=":memory:", max_errors=0), ValueError, "max_errors must be from 1"),
        (lambda: kxsql.run("select 1;", sqlite=":memory:", max_errors="3"), TypeError, "max_errors must be an int"),
        (lambda: kxsql.run("select 1;", sqlite=":memory:", variables={"a": 1}), TypeError, "variable 'a' must be a str"),
        (lambda: kxsql.run("select 1;", sqlite=":memory:", variables=["a"]), TypeError, "variables must be a mapping"),
        (lambda: kxsql.run(tmp_path / "missing.sql", sqlite=":memory:"), FileNotFoundError, "missing.sql"),
        (lambda: kxsql.run("select 1;", sqlite=tmp_path), kxsql.Error, "cannot open SQLite database"),
        (lambda: kxsql.run("select 1;", connect="DSN=kxsql-no-such-dsn"), kxsql.Error, "cannot connect"),
    ]
    for call, error, text in cases:
        with pytest.raises(error, match=text):
            call()
    assert not (pathlib.Path.cwd() / "kxsql.db").exists()
