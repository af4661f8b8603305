#include "kxcom/message.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

const MSGTYPE MSGTYPE::ERR{1, "ERR"};
const MSGTYPE MSGTYPE::WARN{2, "WARN"};
const MSGTYPE MSGTYPE::INFO{3, "INFO"};

CKXObject::~CKXObject() = default;
CKXLog::~CKXLog() = default;

namespace {

// A long run may log a failure per statement; only the newest lines are
// kept so that the sink's memory stays bounded.
constexpr std::size_t kMaxLogLines = 10000;

std::string OrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

struct CKXMsg::State {
  mutable std::mutex mutex;
  CKXMessage last;
  std::deque<std::string> log;
  Listener listener;
  LogListener log_listener;
};

CKXMsg::CKXMsg() : state_(new State) {}
CKXMsg::~CKXMsg() { delete state_; }

CKXMsg* CKXMsg::GetInstance() noexcept {
  // Never destroyed: messages may be reported from static destructors.
  static CKXMsg* const instance = new CKXMsg;
  return instance;
}

void CKXMsg::SetLastMessage(const MSGTYPE& type, const char* text, const char* caption,
                            unsigned int style, const char* source, long code) {
  CKXMessage message;
  message.type = type;
  message.text = OrEmpty(text);
  message.caption = OrEmpty(caption);
  message.style = style;
  message.source = OrEmpty(source);
  message.code = code;
  Listener listener;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->last = message;
    listener = state_->listener;
  }
  if (listener) listener(message);
}

void CKXMsg::SetLastMessage(long code, const char* text, unsigned int style, const char* source,
                            int /*flag*/) {
  SetLastMessage(MSGTYPE::ERR, text, "", style, source, code);
}

void CKXMsg::GetLastError(const char* text, int /*flag*/, const char* source) {
  const int saved_errno = errno;
  std::string full = OrEmpty(text);
  if (saved_errno != 0) {
    full += ": ";
    full += std::strerror(saved_errno);
  }
  SetLastMessage(MSGTYPE::ERR, full.c_str(), "System Error", 0, source, saved_errno);
}

void CKXMsg::LogError(const char* text) {
  std::string line = OrEmpty(text);
  LogListener listener;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->log.size() == kMaxLogLines) state_->log.pop_front();
    state_->log.push_back(line);
    listener = state_->log_listener;
  }
  if (listener) listener(line);
}

CKXMessage CKXMsg::GetLastMessage() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->last;
}

std::vector<std::string> CKXMsg::GetLogLines() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return std::vector<std::string>(state_->log.begin(), state_->log.end());
}

void CKXMsg::Reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->last = CKXMessage();
  state_->log.clear();
}

void CKXMsg::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->listener = std::move(listener);
}

void CKXMsg::SetLogListener(LogListener listener) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->log_listener = std::move(listener);
}
