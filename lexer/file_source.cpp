// Placeholder until the file source lands.
#include "kxsql/file_source.h"

CKXSQLFile::CKXSQLFile() { Init(); }
CKXSQLFile::~CKXSQLFile() { Close(); }
int CKXSQLFile::Open(const char*) { return 0; }
void CKXSQLFile::Close() {}
bool CKXSQLFile::IsEOF() const { return true; }
bool CKXSQLFile::IsOpen() const { return false; }
unsigned int CKXSQLFile::GetDoneCount() const { return 0xFFFFFFFFu; }
unsigned int CKXSQLFile::GetTotalCount() const { return 0xFFFFFFFFu; }
void CKXSQLFile::InitReadInfo() noexcept {}
void CKXSQLFile::Init() noexcept {}
char CKXSQLFile::GetChar(bool& eof) { eof = true; return 0; }
void CKXSQLFile::UngetChar() {}
bool CKXSQLFile::ReadChunk() { return false; }
