#include "python/statement_object.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>

namespace kxsql::python {
namespace {

// What a kxsql.Statement holds: the record, the str its text may point
// into, and each text as a str once asked for.
struct StatementData {
  StatementData(StatementRecord&& r, PyObject* in, const char* in_data) noexcept
      : record(std::move(r)), script(in), script_data(in_data) {
    Py_XINCREF(script);
  }
  ~StatementData() {
    Py_XDECREF(script);
    Py_XDECREF(text);
    Py_XDECREF(parsed);
    Py_XDECREF(no_comment);
  }
  StatementData(const StatementData&) = delete;
  StatementData& operator=(const StatementData&) = delete;

  const char* TextData() const noexcept { return record.Text(script_data); }
  // A text of the statement's that is its text's start (`prefix` bytes) or `own`.
  std::pair<const char*, std::size_t> Resolved(const std::string& own, std::size_t prefix) const noexcept {
    if (prefix == StatementRecord::kOwnText) return {own.data(), own.size()};
    return {TextData(), prefix};
  }

  StatementRecord record;
  PyObject* script;         // owned, or null
  const char* script_data;  // the str's UTF-8, which lives as long as the str
  PyObject* text = nullptr;
  PyObject* parsed = nullptr;
  PyObject* no_comment = nullptr;
};

struct StatementObject {
  PyObject_HEAD
  StatementData data;
};

StatementData& DataOf(PyObject* self) { return reinterpret_cast<StatementObject*>(self)->data; }

PyObject* NewReference(PyObject* object) {
  Py_XINCREF(object);
  return object;
}

PyObject* NoneIfEmpty(const std::string& text) {
  if (text.empty()) Py_RETURN_NONE;
  return DecodeUtf8(text.data(), text.size());
}

// The text of the statement, made once.
PyObject* CachedText(StatementData& s) {
  if (s.text == nullptr) s.text = DecodeUtf8(s.TextData(), s.record.text_size);
  return s.text;
}

// The parsed or comment-free text, made once; the text's own str when it is
// the whole text.
PyObject* CachedOther(StatementData& s, PyObject*& cache, const std::string& own, std::size_t prefix) {
  if (cache == nullptr) {
    if (prefix == s.record.text_size) {
      cache = NewReference(CachedText(s));
    } else {
      const auto [data, size] = s.Resolved(own, prefix);
      cache = DecodeUtf8(data, size);
    }
  }
  return cache;
}

const char* KindName(int kind) {
  switch (kind) {
    case KXSQL_STMT_CLIENT: return "client";
    case KXSQL_STMT_DATA: return "data";
    default: return "sql";
  }
}

PyObject* GetText(PyObject* self, void*) { return NewReference(CachedText(DataOf(self))); }

PyObject* GetParsed(PyObject* self, void*) {
  StatementData& s = DataOf(self);
  return NewReference(CachedOther(s, s.parsed, s.record.Texts().parsed, s.record.parsed_prefix));
}

PyObject* GetNoComment(PyObject* self, void*) {
  StatementData& s = DataOf(self);
  return NewReference(CachedOther(s, s.no_comment, s.record.Texts().no_comment, s.record.no_comment_prefix));
}

PyObject* GetLine(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(DataOf(self).record.line); }

PyObject* GetKind(PyObject* self, void*) { return PyUnicode_FromString(KindName(DataOf(self).record.kind)); }

PyObject* GetData(PyObject* self, void*) {
  const StatementRecord& r = DataOf(self).record;
  if (!r.has_data) Py_RETURN_NONE;
  return DecodeUtf8(r.Texts().data.data(), r.Texts().data.size());
}

PyObject* GetSideEffect(PyObject* self, void*) { return NoneIfEmpty(DataOf(self).record.Texts().side_effect); }

PyObject* GetIsSelect(PyObject* self, void*) { return PyBool_FromLong(DataOf(self).record.is_select); }

PyObject* GetRepeat(PyObject* self, void*) { return PyLong_FromUnsignedLong(DataOf(self).record.repeat); }

PyGetSetDef kProperties[] = {
    {"text", GetText, nullptr, "The statement's text, as written (leading blanks left out).", nullptr},
    {"parsed", GetParsed, nullptr, "The text without what the dialect leaves out (Oracle: comments), trimmed.",
     nullptr},
    {"no_comment", GetNoComment, nullptr, "The text without comments, trimmed.", nullptr},
    {"line", GetLine, nullptr, "The line of the statement's first significant token (line 1 is the first).",
     nullptr},
    {"kind", GetKind, nullptr,
     "'sql'; 'client' for a command of the dialect's client (psql's \\c, DELIMITER, ...); "
     "'data' for more rows of the COPY before it, whose text it repeats.",
     nullptr},
    {"data", GetData, nullptr,
     "The rows of a COPY ... FROM stdin, each with its line end, without the \\. line; None for other "
     "statements.",
     nullptr},
    {"side_effect", GetSideEffect, nullptr, "The word after a dot that may change the database (nextval), or None.",
     nullptr},
    {"is_select", GetIsSelect, nullptr, "True when the first significant word is SELECT.", nullptr},
    {"repeat", GetRepeat, nullptr, "How many times the batch runs: sqlcmd's `GO 3` gives 3; 1 otherwise.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

bool SameBytes(std::pair<const char*, std::size_t> a, std::pair<const char*, std::size_t> b) {
  return a.second == b.second && std::equal(a.first, a.first + a.second, b.first);
}

bool SameStatement(const StatementData& a, const StatementData& b) {
  const StatementRecord& x = a.record;
  const StatementRecord& y = b.record;
  const StatementRecord::Owned& xs = x.Texts();
  const StatementRecord::Owned& ys = y.Texts();
  return SameBytes({a.TextData(), x.text_size}, {b.TextData(), y.text_size}) && x.line == y.line &&
         x.kind == y.kind && x.repeat == y.repeat && x.is_select == y.is_select && xs.side_effect == ys.side_effect &&
         x.has_data == y.has_data && xs.data == ys.data &&
         SameBytes(a.Resolved(xs.parsed, x.parsed_prefix), b.Resolved(ys.parsed, y.parsed_prefix)) &&
         SameBytes(a.Resolved(xs.no_comment, x.no_comment_prefix), b.Resolved(ys.no_comment, y.no_comment_prefix));
}

// The type, made by AddStatementType and kept for the process's life.
PyTypeObject* g_statement_type = nullptr;

PyObject* Compare(PyObject* a, PyObject* b, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(b, g_statement_type)) Py_RETURN_NOTIMPLEMENTED;
  const bool same = SameStatement(DataOf(a), DataOf(b));
  return PyBool_FromLong((op == Py_EQ) == same);
}

PyObject* Str(PyObject* self) { return NewReference(CachedText(DataOf(self))); }

PyObject* Repr(PyObject* self) {
  const StatementData& s = DataOf(self);
  PyObject* text = CachedText(DataOf(self));
  if (text == nullptr) return nullptr;
  // A long text shows its first 57 characters.
  const bool long_text = PyUnicode_GET_LENGTH(text) > 60;
  PyObject* shown = long_text ? PyUnicode_Substring(text, 0, 57) : NewReference(text);
  if (shown == nullptr) return nullptr;
  PyObject* repr = PyUnicode_FromFormat("Statement(line=%llu, kind='%s', text=%R%s)", s.record.line,
                                        KindName(s.record.kind), shown, long_text ? "..." : "");
  Py_DECREF(shown);
  return repr;
}

PyObject* RefuseNew(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "cannot create 'kxsql.Statement' instances");
  return nullptr;
}

void Dealloc(PyObject* self) {
  PyTypeObject* const type = Py_TYPE(self);
  DataOf(self).~StatementData();
  type->tp_free(self);
  // Each object of a heap type holds a reference to its type.
  Py_DECREF(type);
}

}  // namespace

PyObject* DecodeUtf8(const char* text, std::size_t size) {
  return PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(size), "replace");
}

bool AddStatementType(PyObject* module) {
  static PyType_Slot slots[] = {
      {Py_tp_doc,
       const_cast<char*>("One statement of a script, as kxsql split cuts it. Compare with ==; str() is its text.")},
      {Py_tp_dealloc, reinterpret_cast<void*>(Dealloc)},
      {Py_tp_repr, reinterpret_cast<void*>(Repr)},
      {Py_tp_str, reinterpret_cast<void*>(Str)},
      {Py_tp_richcompare, reinterpret_cast<void*>(Compare)},
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      {Py_tp_getset, kProperties},
      // Statements come from split and iter_split only: Python cannot make one.
      {Py_tp_new, reinterpret_cast<void*>(RefuseNew)},
      {0, nullptr},
  };
  static PyType_Spec description = {"kxsql.Statement", static_cast<int>(sizeof(StatementObject)), 0, Py_TPFLAGS_DEFAULT,
                             slots};
  PyObject* type = PyType_FromSpec(&description);
  if (type == nullptr) return false;
  g_statement_type = reinterpret_cast<PyTypeObject*>(type);
  // The module's reference; the one in g_statement_type is never let go.
  Py_INCREF(type);
  if (PyModule_AddObject(module, "Statement", type) < 0) {
    Py_DECREF(type);
    return false;
  }
  return true;
}

PyObject* NewStatement(StatementRecord&& record, PyObject* script, const char* script_data) {
  PyObject* self = PyType_GenericAlloc(g_statement_type, 0);
  if (self == nullptr) return nullptr;
  new (&DataOf(self)) StatementData(std::move(record), script, script_data);
  return self;
}

}  // namespace kxsql::python
