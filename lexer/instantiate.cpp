// The lexical layer's class templates, instantiated for 8-bit and 16-bit text.
#include "lexer/stream.ipp"
#include "lexer/text_source.ipp"
#include "lexer/token.ipp"
#include "lexer/tokenizer.ipp"

template class SQLToken<char>;
template class SQLToken<unsigned short>;
template class CKXSQLStreamT<char>;
template class CKXSQLStreamT<unsigned short>;
template class CKXSQLTextT<char>;
template class CKXSQLTextT<unsigned short>;
