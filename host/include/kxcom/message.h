/// @file
/// kxcom messages: the process-wide sink where every layer reports failures.
///
/// The sink keeps the last message and every log line, so that an application
/// (or a test) can read them back, and can pass each one on as it arrives:
///
/// @code
/// CKXMsg::GetInstance()->SetListener([](const CKXMessage& m) { show(m.text); });
/// if (file.Open(path) == 0) puts(CKXMsg::GetInstance()->GetLastMessage().text.c_str());
/// @endcode
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kxcom/kxcom_export.h"

/// The kind of a message; compared by code.
class KXCOM_EXPORT MSGTYPE {
 public:
  static const MSGTYPE ERR;   ///< a failure
  static const MSGTYPE WARN;  ///< a warning
  static const MSGTYPE INFO;  ///< information

  /// The code that identifies the type.
  unsigned int GetCode() const noexcept { return code_; }
  /// "ERR", "WARN" or "INFO".
  const char* GetName() const noexcept { return name_; }
  /// Types are equal when their codes are.
  ///@{
  bool operator==(const MSGTYPE& other) const noexcept { return code_ == other.code_; }
  bool operator!=(const MSGTYPE& other) const noexcept { return code_ != other.code_; }
  ///@}

 private:
  constexpr MSGTYPE(unsigned int code, const char* name) noexcept : code_(code), name_(name) {}
  unsigned int code_;
  const char* name_;
};

/// Base of the host's polymorphic objects.
class KXCOM_EXPORT CKXObject {
 public:
  /// Copyable; holds nothing.
  ///@{
  CKXObject() = default;
  CKXObject(const CKXObject&) = default;
  CKXObject& operator=(const CKXObject&) = default;
  ///@}
  /// Virtual, so that derived objects are destroyed whole.
  virtual ~CKXObject();
};

/// One recorded message, as an application reads it back.
struct KXCOM_EXPORT CKXMessage {
  MSGTYPE type = MSGTYPE::INFO;  ///< the kind of message
  std::string text;     ///< what happened, in words
  std::string caption;  ///< the activity, e.g. "Open SQL File"
  unsigned int style = 0;  ///< how to show it (0 throughout the library)
  std::string source;   ///< the reporting operation, e.g. "GetToken"; empty when none
  long code = 0;  ///< a code of the reporter's (the system's errno for GetLastError)
};

/// The log: lines that only need recording.
class KXCOM_EXPORT CKXLog {
 public:
  virtual ~CKXLog();
  /// Records one log line (and hands it to the log listener, if any).
  virtual void LogError(const char* text) = 0;
};

/// The message sink. One per process; every member is safe to call from
/// several threads at once. A listener is called on the reporting thread,
/// outside the sink's lock, and must not throw.
class KXCOM_EXPORT CKXMsg : public CKXLog {
 public:
  using Listener = std::function<void(const CKXMessage&)>;     ///< sees each message
  using LogListener = std::function<void(const std::string&)>;  ///< sees each log line

  /// The sink; never null.
  static CKXMsg* GetInstance() noexcept;

  /// Records a message (all texts may be null, read as empty).
  void SetLastMessage(const MSGTYPE& type, const char* text, const char* caption, unsigned int style,
                      const char* source, long code);
  /// The numeric form: an error with the given code and no caption; `flag` is unused.
  void SetLastMessage(long code, const char* text, unsigned int style, const char* source, int flag);
  /// Records a failed operating-system operation: the text, then the reason the
  /// system gave (errno at the time of the call), as an error with caption
  /// "System Error". `flag` is unused; `source` may be null.
  void GetLastError(const char* text, int flag, const char* source);
  void LogError(const char* text) override;

  /// The last message recorded (a default message when there is none).
  CKXMessage GetLastMessage() const;
  /// The lines given to LogError, oldest first (the newest 10000 are kept).
  std::vector<std::string> GetLogLines() const;
  /// Forgets the last message and the log lines.
  void Reset();
  /// Sees every message (SetListener) or log line (SetLogListener) as it is
  /// recorded, on the reporting thread; an empty function removes it.
  ///@{
  void SetListener(Listener listener);
  void SetLogListener(LogListener listener);
  ///@}

 private:
  CKXMsg();
  ~CKXMsg() override;
  CKXMsg(const CKXMsg&) = delete;
  CKXMsg& operator=(const CKXMsg&) = delete;
  struct State;
  State* state_;
};
