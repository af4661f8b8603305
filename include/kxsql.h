/// @file
/// kxsql: dialect-aware SQL tokenizer, statement splitter and script runner.
/// This header brings every public class, with the host declarations they use.
///
/// @code
/// #include <kxsql.h>
/// CKXTr tr;  tr.OpenSQLite("app.db");
/// CKXSQLTextT<char> script;  unsigned int n = 0, errors = 0;
/// script.ParseSQL("create table t(a); insert into t values (1);", &tr, n, errors, 4294967295u);
/// @endcode
#pragma once

#include "kxcom/kxcom.h"
#include "kxsql/file_source.h"
#include "kxsql/statement.h"
#include "kxsql/stream.h"
#include "kxsql/text_source.h"
#include "kxsql/token.h"
#include "kxsql/version.h"
