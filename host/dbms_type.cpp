#include "kxcom/dbms_type.h"

#include "kxcom/kxstring.h"

const DBMSGroup DBMSGroup::Generic{0};
const DBMSGroup DBMSGroup::Oracle{1};
const DBMSGroup DBMSGroup::DB2{2};
const DBMSGroup DBMSGroup::Informix{3};
const DBMSGroup DBMSGroup::SqlServer{4};
const DBMSGroup DBMSGroup::Postgres{5};
const DBMSGroup DBMSGroup::Access{6};
const DBMSGroup DBMSGroup::SQLite{7};
const DBMSGroup DBMSGroup::MySQL{8};

const DBMSTYPE DBMSTYPE::GENERIC{0, "generic", &DBMSGroup::Generic};
const DBMSTYPE DBMSTYPE::ORACLE{1, "oracle", &DBMSGroup::Oracle};
const DBMSTYPE DBMSTYPE::DB2{2, "db2", &DBMSGroup::DB2};
const DBMSTYPE DBMSTYPE::INFORMIX{3, "informix", &DBMSGroup::Informix};
const DBMSTYPE DBMSTYPE::SQLSERVER{4, "sqlserver", &DBMSGroup::SqlServer};
const DBMSTYPE DBMSTYPE::SYBASE{5, "sybase", &DBMSGroup::SqlServer};
const DBMSTYPE DBMSTYPE::POSTGRES{6, "postgres", &DBMSGroup::Postgres};
const DBMSTYPE DBMSTYPE::ACCESS{7, "access", &DBMSGroup::Access};
const DBMSTYPE DBMSTYPE::SQLITE{8, "sqlite", &DBMSGroup::SQLite};
const DBMSTYPE DBMSTYPE::MYSQL{9, "mysql", &DBMSGroup::MySQL};

namespace {

const DBMSTYPE* const kAllTypes[] = {
    &DBMSTYPE::GENERIC,  &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX,
    &DBMSTYPE::SQLSERVER, &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS,
    &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};

// Words that, as the last part of a qualified name, change the database when
// evaluated. Advancing a sequence (seq.NEXTVAL) is the one every database shares.
const char* const kSideEffectWords[] = {"NEXTVAL"};

// The candidates are ASCII, so ASCII folding decides: a non-ASCII character
// never matches.
template <class T>
bool IsSideEffectWord(const T* word) noexcept {
  if (word == nullptr) return false;
  for (const char* candidate : kSideEffectWords) {
    std::size_t i = 0;
    for (; candidate[i] != 0; ++i) {
      T c = word[i];
      if (c >= 'a' && c <= 'z') c = static_cast<T>(c - 'a' + 'A');
      if (c != static_cast<T>(candidate[i])) break;
    }
    if (candidate[i] == 0 && word[i] == 0) return true;
  }
  return false;
}

}  // namespace

const DBMSTYPE* DBMSTYPE::FromName(const char* name) noexcept {
  if (name == nullptr) return nullptr;
  const std::size_t n = CKXStringA::Length(name);
  for (const DBMSTYPE* type : kAllTypes)
    if (KXCompareNoCase(name, n, type->name_, CKXStringA::Length(type->name_)) == 0) return type;
  return nullptr;
}

bool DBMSTYPE::IsPossibleSideEffect(const char* word) const noexcept { return IsSideEffectWord(word); }

bool DBMSTYPE::IsPossibleSideEffect(const unsigned short* word) const noexcept {
  return IsSideEffectWord(word);
}
