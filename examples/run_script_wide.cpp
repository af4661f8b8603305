// Running a script held as 16-bit (UTF-16) text, as a Windows application or
// a UI toolkit hands it over.
//
//   run_script_wide
#include <cstdio>
#include <string>

#include <kxsql.h>

int main() {
  // A script in UTF-16: one code unit a character, as char16_t literals give it.
  const std::u16string script =
      u"CREATE TABLE city (name TEXT, country TEXT);\n"
      u"INSERT INTO city VALUES ('Zürich', 'Schweiz');\n"
      u"INSERT INTO city VALUES ('Kraków', 'Polska');\n"
      u"INSERT INTO nowhere VALUES (1); -- fails: there is no such table\n"
      u"INSERT INTO city VALUES ('Québec', 'Canada');\n";
  const unsigned short* text = reinterpret_cast<const unsigned short*>(script.c_str());

  CKXTr tr;
  if (!tr.OpenSQLite(":memory:")) return 2;

  // The wide source runs the same splitter; each statement is converted to
  // UTF-8 before it is handed to the database.
  CKXMsg::GetInstance()->SetListener([](const CKXMessage& m) {
    std::printf("%s: %s\n", m.caption.c_str(), m.text.c_str());  // the failed statement, as UTF-8
  });
  CKXSQLTextT<unsigned short> source;
  unsigned int statements = 0, errors = 0;
  const long rc = source.ParseSQL(text, &tr, statements, errors, 4294967295u);
  CKXMsg::GetInstance()->SetListener(nullptr);

  std::printf("result %ld: %u statements, %u errors\n", rc, statements, errors);
  return rc == 0 ? 0 : 1;
}
