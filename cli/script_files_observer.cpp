#include "cli/script_files_observer.h"

namespace kxsql::cli {
namespace {

// At most this much of the database's reasons is kept for one statement.
constexpr std::size_t kReasonLength = 1000;

}  // namespace

void ScriptFilesObserver::OnBeforeStatement() {
  files_.back().file->BeginStatement();
  reason_.clear();
}

std::unique_ptr<CKXSQLFile> ScriptFilesObserver::OpenInclude(const std::string& path) {
  auto file = std::make_unique<ScriptFile>(true);
  std::string error;
  if (!OpenScript(path, *file, error)) return nullptr;
  files_.push_back({file.get(), path});
  return file;
}

void ScriptFilesObserver::OnIncludeEnd() {
  if (files_.size() > 1) files_.pop_back();
}

void ScriptFilesObserver::OnLogLine(const std::string& line) {
  if (reason_.size() >= kReasonLength) return;
  if (!reason_.empty()) reason_ += "; ";
  reason_.append(line, 0, kReasonLength - reason_.size());
  if (reason_.size() >= kReasonLength) reason_ += " ...";
}

std::string ScriptFilesObserver::Reason(short rc) const {
  return reason_.empty() ? "the database reported a failure (code " + std::to_string(rc) + ")" : reason_;
}

}  // namespace kxsql::cli
