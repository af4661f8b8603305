#include "kxcom/token_type.h"

// Blanks, line ends and comments are not compared: two scripts that differ
// only in layout or comments are the same script. Quoted strings and quoted
// identifiers keep their letter case; words do not.
//                                   code  name                compare case   comment
const SQLTOKEN_TYPE SQLTOKEN_TYPE::NONE{0, "NONE", false, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::OTHER{1, "OTHER", true, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::WHITESPACE{2, "WHITESPACE", false, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::CR{3, "CR", false, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::LF{4, "LF", false, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::SYMBOL{5, "SYMBOL", true, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::SLASH_TERMINATOR{6, "SLASH_TERMINATOR", true, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::SEMI_COLON{7, "SEMI_COLON", true, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::SQ_STRING{8, "SQ_STRING", true, true, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::DQ_STRING{9, "DQ_STRING", true, true, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::MULTILINECOMMENT{10, "MULTILINECOMMENT", false, false, true};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::LINECOMMENT{11, "LINECOMMENT", false, false, true};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::DOT{12, "DOT", true, false, false};
const SQLTOKEN_TYPE SQLTOKEN_TYPE::DollarSign{13, "DollarSign", true, false, false};

bool IsPartFilter(unsigned long flags, unsigned long mask) noexcept { return (flags & mask) != 0; }
