// kxsql.Statement: one statement of a split, as a Python object. A split of
// a large script makes tens of thousands of them, so the type is a plain
// CPython type: making one is an allocation and a move, with none of the
// bookkeeping of a bound C++ class.
#pragma once

#include <Python.h>

#include <string>

#include "python/statements.h"

namespace kxsql::python {

// Readies the type and adds it to `module` as Statement; false with a
// Python error set.
bool AddStatementType(PyObject* module);

// A new kxsql.Statement holding `record`. `script` is the str whose UTF-8,
// `script_data`, the record's text may point into (kept alive by the
// statement), or null. Null with a Python error set.
PyObject* NewStatement(StatementRecord&& record, PyObject* script, const char* script_data);

// `text` as a str; bytes that are not UTF-8 (never delivered by the
// sources) become U+FFFD. Null with a Python error set.
PyObject* DecodeUtf8(const char* text, std::size_t size);

}  // namespace kxsql::python
