/// @file
/// kxcom statement separator: a caller's own rule for where statements end,
/// used instead of the dialect rules.
///
/// @code
/// STMTSEP go;
/// go.m_pszText = "GO"; go.m_pType = &SQLTOKEN_TYPE::SYMBOL; go.m_bOwnLine = true;
/// stream.GetNextStmt(stmt, &tr, &go);
/// @endcode
#pragma once

#include "kxcom/token_type.h"

/// A statement separator of the caller's: the token that ends statements
/// instead of the dialect rules. A plain struct the caller fills and owns;
/// the splitter only reads it.
struct STMTSEP {
  /// The separator's text, read only when the type is SYMBOL (compared ignoring case).
  const char* m_pszText = nullptr;            ///< for 8-bit streams
  const unsigned short* m_pwszText = nullptr; ///< for 16-bit streams
  /// The separator stands on a line of its own: one line ending before it is
  /// removed from the statement's text.
  bool m_bOwnLine = false;
  /// The token type that ends a statement. A separator whose type is null is
  /// no separator: the dialect rules apply.
  const SQLTOKEN_TYPE* m_pType = nullptr;
};
