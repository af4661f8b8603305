/// @file
/// kxcom worker threads: a thread that can be asked to stop, and that code
/// running on it can poll.
///
/// @code
/// CKXThread worker([&] { text.ParseSQL(sql, &tr, n, errors, 4294967295u); });
/// worker.Start();
/// worker.SignalStop();   // the run ends between two statements
/// worker.Join();
/// @endcode
#pragma once

#include <functional>
#include <memory>

#include "kxcom/kxcom_export.h"

/// A host worker thread: runs a body on a thread of its own, and can be asked
/// to stop. Code running on it finds it with GetWorkerThread and polls
/// IsStopSignaled; the script runner does so before every statement.
class KXCOM_EXPORT CKXThread {
 public:
  /// A worker that will run `body` once started. Exceptions that escape the
  /// body are caught and end the thread.
  explicit CKXThread(std::function<void()> body);
  /// Joins the thread if it is still running.
  ~CKXThread();
  CKXThread(const CKXThread&) = delete;
  CKXThread& operator=(const CKXThread&) = delete;

  /// Starts the body on a new thread; false when it was started before or the
  /// system refused a thread.
  bool Start() noexcept;
  /// Waits until the body has returned; does nothing when never started.
  void Join() noexcept;
  /// Asks the body to stop; a stop signalled before Start is seen by the first poll.
  void SignalStop() noexcept;
  /// True once a stop was asked. Waits up to `wait_ms` milliseconds for one;
  /// 0 reads the flag without waiting.
  bool IsStopSignaled(unsigned int wait_ms) const noexcept;

  /// The worker that runs the calling thread, or null on any other thread.
  static CKXThread* GetWorkerThread() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
