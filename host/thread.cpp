// CKXThread: a worker thread with a stop flag that the code it runs polls.
#include "kxcom/thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "kxcom/message.h"

namespace {

// The worker running the calling thread; set for the life of the body.
thread_local CKXThread* t_current_worker = nullptr;

}  // namespace

struct CKXThread::Impl {
  std::function<void()> body;
  std::thread thread;
  bool started = false;
  // The flag is atomic so that a poll without waiting takes no lock; the
  // mutex and condition serve the polls that wait.
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable stop_signaled;
};

CKXThread::CKXThread(std::function<void()> body) : impl_(new Impl) { impl_->body = std::move(body); }

CKXThread::~CKXThread() { Join(); }

bool CKXThread::Start() noexcept {
  if (impl_->started) return false;
  try {
    impl_->thread = std::thread([this] {
      t_current_worker = this;
      // An exception escaping the body would end the process; it ends only the body.
      try {
        if (impl_->body) impl_->body();
      } catch (const std::exception& e) {
        const std::string line = std::string("Worker thread stopped by an exception: ") + e.what();
        CKXMsg::GetInstance()->LogError(line.c_str());
      } catch (...) {
        CKXMsg::GetInstance()->LogError("Worker thread stopped by an exception");
      }
      t_current_worker = nullptr;
    });
  } catch (...) {
    return false;  // the system refused a thread
  }
  impl_->started = true;
  return true;
}

void CKXThread::Join() noexcept {
  // A body that joins its own thread would wait for itself forever.
  if (!impl_->thread.joinable() || impl_->thread.get_id() == std::this_thread::get_id()) return;
  try {
    impl_->thread.join();
  } catch (...) {
  }
}

void CKXThread::SignalStop() noexcept {
  try {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->stop = true;
  } catch (...) {
    impl_->stop = true;
  }
  impl_->stop_signaled.notify_all();
}

bool CKXThread::IsStopSignaled(unsigned int wait_ms) const noexcept {
  if (wait_ms == 0 || impl_->stop) return impl_->stop;
  try {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->stop_signaled.wait_for(lock, std::chrono::milliseconds(wait_ms),
                                         [this] { return impl_->stop.load(); });
  } catch (...) {
    return impl_->stop;
  }
}

CKXThread* CKXThread::GetWorkerThread() noexcept { return t_current_worker; }
