// The Python module kxsql: split, iter_split, tokens and run over the
// library. Arguments are checked here, with messages that name them; the
// work runs without the GIL, on plain C++ records that become Python objects
// afterwards.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/script_input.h"
#include "kxsql.h"
#include "python/script_run.h"
#include "python/script_source.h"
#include "python/statement_object.h"
#include "python/statements.h"

namespace py = pybind11;

namespace kxsql::python {
namespace {

using kxsql::cli::ScriptFile;

constexpr const char* kDialects = "oracle, db2, informix, sqlserver, sybase, postgres, access, sqlite, mysql, generic";

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

std::string StrArg(py::handle value, const char* name, const char* example) {
  if (!py::isinstance<py::str>(value))
    throw py::type_error(std::string(name) + " must be a str" + example + ", not " + TypeName(value));
  std::string text = value.cast<std::string>();
  if (text.find('\0') != std::string::npos) throw py::value_error(std::string(name) + " must not hold a NUL character");
  return text;
}

const DBMSTYPE& DialectArg(py::handle value) {
  const std::string name = StrArg(value, "dialect", " such as 'postgres'");
  const DBMSTYPE* type = DBMSTYPE::FromName(name.c_str());
  if (type == nullptr) throw py::value_error("unknown dialect '" + name + "' (one of " + kDialects + ")");
  return *type;
}

int RulesArg(py::handle value) {
  const std::string name = StrArg(value, "rules", " ('native' or 'classic')");
  if (name == "native") return KXSQL_RULES_NATIVE;
  if (name == "classic") return KXSQL_RULES_CLASSIC;
  throw py::value_error("rules must be 'native' or 'classic', not '" + name + "'");
}

// A path given as str, bytes or os.PathLike, as the system's file name.
std::string PathArg(py::handle value, const char* name) {
  if (!py::isinstance<py::str>(value) && !py::isinstance<py::bytes>(value) && !py::hasattr(value, "__fspath__"))
    throw py::type_error(std::string(name) + " must be a path (str or os.PathLike), not " + TypeName(value));
  const py::module_ os = py::module_::import("os");
  const std::string path = py::str(os.attr("fsdecode")(os.attr("fspath")(value))).cast<std::string>();
  if (path.find('\0') != std::string::npos) throw py::value_error(std::string(name) + " must not hold a NUL character");
  return path;
}

// The script of split, tokens and run: a str's UTF-8 or the bytes of a
// bytes-like object, held for the call.
class ScriptArg {
 public:
  explicit ScriptArg(py::handle value) {
    if (PyUnicode_Check(value.ptr())) {
      Py_ssize_t size = 0;
      // A str with a lone surrogate has no UTF-8: UnicodeEncodeError.
      data_ = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
      if (data_ == nullptr) throw py::error_already_set();
      size_ = static_cast<std::size_t>(size);
      text_ = true;
    } else if (PyObject_CheckBuffer(value.ptr())) {
      if (PyObject_GetBuffer(value.ptr(), &buffer_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
      held_ = true;
      data_ = static_cast<const char*>(buffer_.buf);
      size_ = static_cast<std::size_t>(buffer_.len);
    } else {
      throw py::type_error("script must be str or bytes, not " + TypeName(value));
    }
  }
  ~ScriptArg() {
    if (held_) PyBuffer_Release(&buffer_);
  }
  ScriptArg(const ScriptArg&) = delete;
  ScriptArg& operator=(const ScriptArg&) = delete;

  bool IsText() const { return text_; }
  const char* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  bool text_ = false;
  bool held_ = false;
  Py_buffer buffer_{};
};

[[noreturn]] void Raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// A script file that could not be opened: an OSError with the system's
// errno, so that a missing file is a FileNotFoundError.
[[noreturn]] void RaiseOpenError(const std::string& path, const std::string& error) {
  const CKXMessage last = CKXMsg::GetInstance()->GetLastMessage();
  if (last.text == error && last.caption == "System Error" && last.code > 0) {
    errno = static_cast<int>(last.code);
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, py::str(path).ptr());
    throw py::error_already_set();
  }
  Raise(PyExc_OSError, error);
}

// Runs `work` on the script's source: a str is read in place, bytes through
// the file source from a memory file. False with the reason in `error`.
template <class Work>
bool WithSource(const ScriptArg& script, int rules, const DBMSTYPE& dialect, std::string& error, Work work) {
  if (script.IsText()) {
    ScriptText source(script.Data(), script.Size());
    if (source.SetSplitRules(rules, dialect) != 0) throw std::bad_alloc();
    return work(source);
  }
  ScriptFile file;
  if (!OpenScriptBytes(script.Data(), script.Size(), false, file, error)) return false;
  if (file.SetSplitRules(rules, dialect) != 0) throw std::bad_alloc();
  return work(file);
}

// ---- Statement

py::object Decode(const char* data, std::size_t size) {
  // The file source delivers valid UTF-8; "replace" keeps any slip from
  // becoming an exception.
  PyObject* str = DecodeUtf8(data, size);
  if (str == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(str);
}
py::object Decode(const std::string& text) { return Decode(text.data(), text.size()); }

py::object MakeStatement(StatementRecord&& record, PyObject* script, const char* script_data) {
  PyObject* statement = NewStatement(std::move(record), script, script_data);
  if (statement == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(statement);
}

// ---- split, tokens

// Reads the statements of `source` into `list` a batch at a time: each batch
// is read without the GIL and becomes Python objects with it, so that the
// records stay few and their memory is used again. `script` is the str the
// statements may point into. False with the reason in `error`.
template <class Source>
bool SplitInto(Source& source, const DBMSTYPE& type, py::list& list, PyObject* script, const char* script_data,
               std::string& error) {
  constexpr std::size_t kBatch = 4096;
  StatementReader<Source> reader(source, type);
  std::vector<StatementRecord> batch(kBatch);
  for (;;) {
    std::size_t n = 0;
    int rc = 1;
    while (n < kBatch && (rc = reader.Next(batch[n])) > 0) ++n;
    {
      py::gil_scoped_acquire gil;
      for (std::size_t i = 0; i < n; ++i) {
        py::object statement = MakeStatement(std::move(batch[i]), script, script_data);
        if (PyList_Append(list.ptr(), statement.ptr()) != 0) throw py::error_already_set();
      }
    }
    if (rc == 0) return true;
    if (rc < 0) {
      error = CKXMsg::GetInstance()->GetLastMessage().text;
      return false;
    }
  }
}

py::list Split(py::handle script, py::handle dialect, py::handle rules) {
  const DBMSTYPE& type = DialectArg(dialect);
  const int rule = RulesArg(rules);
  const ScriptArg input(script);
  // A str's statements point into its UTF-8; those of bytes have their own text.
  PyObject* const owner = input.IsText() ? script.ptr() : nullptr;
  const char* const owner_data = input.IsText() ? input.Data() : nullptr;
  py::list list;
  std::string error;
  bool ok;
  {
    py::gil_scoped_release release;
    ok = WithSource(input, rule, type, error,
                    [&](auto& source) { return SplitInto(source, type, list, owner, owner_data, error); });
  }
  if (!ok) Raise(PyExc_RuntimeError, "cannot split the script: " + error);
  return list;
}

py::list Tokens(py::handle script, py::handle dialect, py::handle rules) {
  const DBMSTYPE& type = DialectArg(dialect);
  const int rule = RulesArg(rules);
  const ScriptArg input(script);
  std::string text;
  TokenEnds ends;
  std::string error;
  bool ok;
  {
    py::gil_scoped_release release;
    ok = WithSource(input, rule, type, error, [&](auto& source) { return ReadAllTokens(source, text, ends, error); });
  }
  if (!ok) Raise(PyExc_RuntimeError, "cannot read the script's tokens: " + error);
  // One str per type name, shared by all its tokens.
  std::vector<py::object> names;
  py::list list;
  std::size_t start = 0;
  for (const auto& [token_type, token_end] : ends) {
    // A token may end inside a character (a backslash and one byte of it):
    // its end moves to the character's, so that every text is whole.
    std::size_t end = token_end < start ? start : token_end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    if (end == start) continue;
    const unsigned int code = token_type->GetCode();
    if (code >= names.size()) names.resize(code + 1);
    if (!names[code]) names[code] = py::str(token_type->GetName());
    list.append(py::make_tuple(names[code], Decode(text.data() + start, end - start)));
    start = end;
  }
  return list;
}

// ---- iter_split

// The statements of a file, read one at a time through the file source.
class StatementIterator {
 public:
  StatementIterator(const std::string& path, const DBMSTYPE& dialect, int rules) : path_(path) {
    std::string error;
    bool opened;
    {
      py::gil_scoped_release release;
      opened = kxsql::cli::OpenScript(path, file_, error);
    }
    if (!opened) RaiseOpenError(path, error);
    if (file_.SetSplitRules(rules, dialect) != 0) throw std::bad_alloc();
    reader_ = std::make_unique<StatementReader<ScriptFile>>(file_, dialect);
  }

  py::object Next() {
    if (!reader_) throw py::stop_iteration();
    if (busy_) throw py::value_error("iter_split: the iterator is already reading in another thread");
    StatementRecord record;
    int rc;
    {
      busy_ = true;
      struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
      } idle{busy_};
      py::gil_scoped_release release;
      rc = reader_->Next(record);
    }
    if (rc > 0) return MakeStatement(std::move(record), nullptr, nullptr);
    const std::string error = CKXMsg::GetInstance()->GetLastMessage().text;
    Close();
    if (rc == 0) throw py::stop_iteration();
    Raise(PyExc_OSError, path_ + ": " + error);
  }

  void Close() {
    if (busy_) throw py::value_error("iter_split: the iterator is reading in another thread");
    reader_.reset();
    file_.Close();
  }

 private:
  std::string path_;
  ScriptFile file_;
  std::unique_ptr<StatementReader<ScriptFile>> reader_;
  bool busy_ = false;
};

// ---- run

// kxsql.Error, kept alive by the module (a py::object here would be let go
// after the interpreter has ended).
PyObject* g_error = nullptr;
struct DatabaseError {};

unsigned int MaxErrorsArg(py::handle value) {
  if (value.is_none()) return 4294967295u;
  if (!PyLong_Check(value.ptr()) || PyBool_Check(value.ptr()))
    throw py::type_error("max_errors must be an int or None, not " + TypeName(value));
  const long long n = PyLong_AsLongLong(value.ptr());
  if (n == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::value_error("max_errors is out of range (1 to 4294967294)");
  }
  if (n < 1 || n >= 4294967295LL) throw py::value_error("max_errors must be from 1 to 4294967294, not " + std::to_string(n));
  return static_cast<unsigned int>(n);
}

std::vector<std::pair<std::string, std::string>> VariablesArg(py::handle value) {
  std::vector<std::pair<std::string, std::string>> variables;
  if (value.is_none()) return variables;
  if (!py::hasattr(value, "items"))
    throw py::type_error("variables must be a mapping of str to str, not " + TypeName(value));
  for (py::handle item : value.attr("items")()) {
    const py::tuple pair = py::reinterpret_borrow<py::tuple>(item);
    const std::string name = StrArg(pair[0], "a variable's name", "");
    if (name.empty()) throw py::value_error("a variable's name must not be empty");
    variables.emplace_back(name, StrArg(pair[1], ("variable '" + name + "'").c_str(), ""));
  }
  return variables;
}

py::object Run(py::handle script_or_path, py::handle sqlite, py::handle connect, py::handle dialect, py::handle rules,
               py::handle max_errors, py::handle variables) {
  RunRequest request;
  if (!sqlite.is_none() && !connect.is_none()) throw py::value_error("give sqlite= or connect=, not both");
  if (sqlite.is_none() && connect.is_none())
    throw py::value_error("give sqlite= (a database file, or ':memory:') or connect= (an ODBC connection string)");
  if (!sqlite.is_none()) request.sqlite = PathArg(sqlite, "sqlite");
  if (!connect.is_none()) request.connect = StrArg(connect, "connect", " (an ODBC connection string)");
  if (!dialect.is_none()) request.dialect = &DialectArg(dialect);
  request.rules = RulesArg(rules);
  request.max_errors = MaxErrorsArg(max_errors);
  request.variables = VariablesArg(variables);

  // The script is opened before the database is touched: a missing file
  // changes nothing.
  request.script = std::make_unique<ScriptFile>(true);
  std::string error;
  const bool is_path = !PyUnicode_Check(script_or_path.ptr()) && py::hasattr(script_or_path, "__fspath__");
  if (is_path) {
    request.script_path = PathArg(script_or_path, "script_or_path");
    bool opened;
    {
      py::gil_scoped_release release;
      opened = kxsql::cli::OpenScript(request.script_path, *request.script, error);
    }
    if (!opened) RaiseOpenError(request.script_path, error);
  } else {
    const ScriptArg script(script_or_path);
    bool opened;
    {
      py::gil_scoped_release release;
      opened = OpenScriptBytes(script.Data(), script.Size(), script.IsText(), *request.script, error);
    }
    if (!opened) Raise(PyExc_OSError, error);
  }

  // KeyboardInterrupt stops the run and is answered by the result; any other
  // exception of a signal handler stops it too, and is raised afterwards.
  PyObject* pending[3] = {nullptr, nullptr, nullptr};
  const StopCheck should_stop = [&pending]() {
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt) || pending[0] != nullptr) PyErr_Clear();
    else PyErr_Fetch(&pending[0], &pending[1], &pending[2]);
    return true;
  };
  auto outcome = std::make_unique<RunOutcome>();
  bool connected;
  {
    py::gil_scoped_release release;
    connected = RunScript(request, should_stop, *outcome, error);
  }
  if (pending[0] != nullptr) {
    PyErr_Restore(pending[0], pending[1], pending[2]);
    throw py::error_already_set();
  }
  if (!connected) Raise(g_error, error);
  return py::cast(std::move(outcome));
}

py::object NoneIfEmpty(const std::string& text) { return text.empty() ? py::object(py::none()) : Decode(text); }

}  // namespace
}  // namespace kxsql::python

PYBIND11_MODULE(kxsql, m) {
  using namespace kxsql::python;
  m.doc() =
      "Split, tokenize and run SQL scripts the way each database's own client does.\n\n"
      "kxsql cuts scripts into statements by the rules of a dialect's command-line\n"
      "client (psql, the sqlite3 shell, mysql, SQL*Plus, sqlcmd, the DB2 CLP) or by\n"
      "its classic rules, and runs them on SQLite or over ODBC as `kxsql run` does.";
  m.attr("__version__") = KXSQL_VERSION_STRING;
  g_error = py::exception<DatabaseError>(m, "Error").ptr();
  m.attr("Error").attr("__doc__") = "The database could not be opened or connected.";

  if (!AddStatementType(m.ptr())) throw py::error_already_set();

  m.def("split", &Split, py::arg("script"), py::arg("dialect") = "generic", py::arg("rules") = "native",
        "split(script, dialect='generic', rules='native') -> list[Statement]\n\n"
        "The statements of `script`, a str or bytes (bytes are decoded as a script file is: a\n"
        "byte-order mark, UTF-16 or UTF-32, else UTF-8 with stray bytes read as Windows-1252).\n"
        "`rules` is 'native' (as the dialect's own client cuts) or 'classic'. Statements with no\n"
        "SQL in them (only comments) are left out, as kxsql run passes them over.");

  m.def("tokens", &Tokens, py::arg("script"), py::arg("dialect") = "generic", py::arg("rules") = "native",
        "tokens(script, dialect='generic', rules='native') -> list[tuple[str, str]]\n\n"
        "Every token of `script` as (type_name, text): the texts concatenate back to the\n"
        "script's text. Type names: SYMBOL, WHITESPACE, LF, CR, SEMI_COLON, SQ_STRING, ...");

  py::class_<StatementIterator>(m, "StatementIterator",
                                "The statements of a file, read one at a time (see iter_split).")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &StatementIterator::Next)
      .def("close", &StatementIterator::Close, "Closes the file; the iteration ends.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](StatementIterator& self, py::args) { self.Close(); });

  m.def(
      "iter_split",
      [](py::handle path, py::handle dialect, py::handle rules) {
        const DBMSTYPE& type = DialectArg(dialect);
        const int rule = RulesArg(rules);
        return std::make_unique<StatementIterator>(PathArg(path, "path"), type, rule);
      },
      py::arg("path"), py::arg("dialect") = "generic", py::arg("rules") = "native",
      "iter_split(path, dialect='generic', rules='native') -> StatementIterator\n\n"
      "The statements of a script file, read in 4 KB pieces: memory stays bounded however large\n"
      "the file. '-' reads standard input; a pipe is read to its end first. The file is opened\n"
      "at once (OSError when it cannot be) and closed at the end, by close() or by `with`.");

  py::class_<RunFailure>(m, "Failure", "A statement that failed, where it stands and why.")
      .def_property_readonly("statement", [](const RunFailure& f) { return Decode(f.statement); }, "Its text.")
      .def_readonly("line", &RunFailure::line, "The line of its first significant token.")
      .def_property_readonly("reason", [](const RunFailure& f) { return Decode(f.reason); }, "The database's reason.")
      .def_property_readonly(
          "file", [](const RunFailure& f) { return NoneIfEmpty(f.file); },
          "The script file it is in; None for a script given as str or bytes.")
      .def("__repr__", [](const RunFailure& f) {
        return "Failure(line=" + std::to_string(f.line) + ", reason=" + py::repr(Decode(f.reason)).cast<std::string>() +
               ")";
      });

  py::class_<RunOutcome>(m, "RunResult", "What run() did.")
      .def_readonly("statements", &RunOutcome::statements, "How many statements were run.")
      .def_readonly("errors", &RunOutcome::errors, "How many of them failed.")
      .def_readonly("failures", &RunOutcome::failures, "The failed statements, in order.")
      .def_property_readonly(
          "output",
          [](const RunOutcome& r) {
            py::list lines;
            for (const std::string& line : r.output) lines.append(Decode(line));
            return lines;
          },
          "What the script echoed (\\echo, .print, PROMPT), line by line.")
      .def_readonly("completed", &RunOutcome::completed, "True when the script was run to its end.")
      .def_readonly("stopped", &RunOutcome::stopped,
                    "True when KeyboardInterrupt (Ctrl-C) stopped the run: the running statement was "
                    "cancelled, and nothing after it was run.")
      .def_property_readonly(
          "reason", [](const RunOutcome& r) { return NoneIfEmpty(r.reason); },
          "Why the run ended before the end of the script, or None.")
      .def_property_readonly(
          "ok", [](const RunOutcome& r) { return r.completed && r.errors == 0; },
          "True when the script was run to its end and nothing failed.")
      .def("__repr__", [](const RunOutcome& r) {
        return "RunResult(statements=" + std::to_string(r.statements) + ", errors=" + std::to_string(r.errors) +
               ", completed=" + (r.completed ? "True" : "False") + ", stopped=" + (r.stopped ? "True" : "False") +
               ")";
      });

  m.def("run", &Run, py::arg("script_or_path"), py::kw_only(), py::arg("sqlite") = py::none(),
        py::arg("connect") = py::none(), py::arg("dialect") = py::none(), py::arg("rules") = "native",
        py::arg("max_errors") = py::none(), py::arg("variables") = py::none(),
        "run(script_or_path, *, sqlite=None, connect=None, dialect=None, rules='native',\n"
        "    max_errors=None, variables=None) -> RunResult\n\n"
        "Runs a script as `kxsql run` does. A str or bytes is the script itself; a file is given\n"
        "as a path object (pathlib.Path). The database is an SQLite file (`sqlite`, ':memory:'\n"
        "too) or an ODBC connection string (`connect`); `dialect` overrides the connection's.\n"
        "Under the native rules the client's commands run too (includes, variables, COPY rows);\n"
        "`variables` are set as by --var. The run stops once `max_errors` statements failed.\n"
        "Ctrl-C (KeyboardInterrupt) cancels the running statement and stops the run: the result\n"
        "says so (stopped). Raises kxsql.Error when the database cannot be used.");
}
