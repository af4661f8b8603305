#include "runner/script_session.h"

#include "runner/script_runner.h"

#include <filesystem>
#include <system_error>

namespace kxsql::detail {
namespace {

namespace fs = std::filesystem;

// The same file whatever way its path is written, where the system can tell.
std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(fs::path(path), ec);
  return ec ? path : canonical.string();
}

}  // namespace

const std::string* ScriptSession::FindVariable(const std::string& name) const {
  const auto found = variables_.find(name);
  return found == variables_.end() ? nullptr : &found->second;
}

void ScriptSession::SetScriptPath(const std::string& path) { files_.back() = path; }

const std::string& ScriptSession::ScriptPath() const { return files_.back(); }

std::string ScriptSession::ResolveInclude(const std::string& path, bool relative_to_script) const {
  const fs::path included(path);
  if (!relative_to_script || included.is_absolute() || ScriptPath().empty()) return path;
  return (fs::path(ScriptPath()).parent_path() / included).string();
}

bool ScriptSession::EnterInclude(const std::string& path) {
  if (files_.size() > kMaxIncludeDepth) return false;
  const std::string canonical = Canonical(path);
  for (const std::string& open : files_)
    if (!open.empty() && Canonical(open) == canonical) return false;
  files_.push_back(path);
  return true;
}

void ScriptSession::LeaveInclude() {
  if (files_.size() > 1) files_.pop_back();
}

std::unique_ptr<CKXSQLFile> OpenPlainInclude(const std::string& path) {
  auto file = std::make_unique<CKXSQLFile>();
  if (file->Open(path.c_str()) != 1) return nullptr;
  return file;
}

}  // namespace kxsql::detail
