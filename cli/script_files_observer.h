// What the tool and the Python module both keep while they run a script: the
// script and the files it includes, as a stack, and the database's reasons
// for the statement that runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/script_input.h"
#include "runner/script_runner.h"

namespace kxsql::cli {

class ScriptFilesObserver : public kxsql::detail::ScriptObserver<char> {
 public:
  ScriptFilesObserver(ScriptFile& file, std::string name) { files_.push_back({&file, std::move(name)}); }

  void OnBeforeStatement() override;
  // Includes are opened as the tool opens scripts, and stacked.
  std::unique_ptr<CKXSQLFile> OpenInclude(const std::string& path) override;
  void OnIncludeEnd() override;
  // Called from the host log with a reason of the failed statement; the
  // reasons are kept up to 1000 characters.
  void OnLogLine(const std::string& line);

 protected:
  struct Source {
    ScriptFile* file;
    std::string name;
  };
  // The file the statement comes from.
  const Source& Current() const noexcept { return files_.back(); }
  // The database's reasons for a statement that failed with `rc`, or a line
  // naming the code when it gave none.
  std::string Reason(short rc) const;

 private:
  std::vector<Source> files_;  // the script, and the scripts it includes
  std::string reason_;
};

}  // namespace kxsql::cli
