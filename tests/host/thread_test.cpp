#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kxcom/message.h"
#include "kxcom/thread.h"

namespace {

TEST(WorkerThread, StopBeforeStartIsSeenByTheFirstPoll) {
  CKXThread* seen_worker = nullptr;
  bool stop_seen = false;
  CKXThread worker([&] {
    seen_worker = CKXThread::GetWorkerThread();
    stop_seen = seen_worker != nullptr && seen_worker->IsStopSignaled(0);
  });
  worker.SignalStop();
  ASSERT_TRUE(worker.Start());
  worker.Join();
  EXPECT_EQ(seen_worker, &worker);
  EXPECT_TRUE(stop_seen);
}

TEST(WorkerThread, EachBodySeesItsOwnWorker) {
  EXPECT_EQ(CKXThread::GetWorkerThread(), nullptr);
  CKXThread* outer_seen = nullptr;
  CKXThread* nested_seen = nullptr;
  CKXThread* outer_after_nested = nullptr;
  CKXThread* nested_address = nullptr;
  CKXThread outer([&] {
    outer_seen = CKXThread::GetWorkerThread();
    CKXThread nested([&] { nested_seen = CKXThread::GetWorkerThread(); });
    nested_address = &nested;
    nested.Start();
    nested.Join();
    outer_after_nested = CKXThread::GetWorkerThread();
  });
  ASSERT_TRUE(outer.Start());
  outer.Join();
  EXPECT_EQ(outer_seen, &outer);
  EXPECT_EQ(nested_seen, nested_address);
  EXPECT_EQ(outer_after_nested, &outer);
  EXPECT_EQ(CKXThread::GetWorkerThread(), nullptr);
}

TEST(WorkerThread, WaitingPollWakesOnTheSignal) {
  std::atomic<bool> waiting{false};
  bool stop_seen = false;
  CKXThread worker([&] {
    CKXThread* self = CKXThread::GetWorkerThread();
    EXPECT_FALSE(self->IsStopSignaled(1));  // no stop yet: the short wait runs out
    waiting = true;
    // Long enough that only the signal can end the wait in a test run.
    stop_seen = self->IsStopSignaled(600000);
  });
  ASSERT_TRUE(worker.Start());
  while (!waiting) std::this_thread::yield();
  worker.SignalStop();
  worker.Join();
  EXPECT_TRUE(stop_seen);
}

TEST(WorkerThread, StartsOnceAndJoinsSafely) {
  int runs = 0;
  CKXThread worker([&] { ++runs; });
  worker.Join();  // never started: nothing to wait for
  ASSERT_TRUE(worker.Start());
  EXPECT_FALSE(worker.Start());
  worker.Join();
  worker.Join();
  EXPECT_EQ(runs, 1);
  CKXThread joins_itself([&] { CKXThread::GetWorkerThread()->Join(); });
  ASSERT_TRUE(joins_itself.Start());
  joins_itself.Join();
}

TEST(WorkerThread, EscapingExceptionEndsOnlyTheBody) {
  const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
  CKXThread worker([] { throw std::runtime_error("disk on fire"); });
  ASSERT_TRUE(worker.Start());
  worker.Join();
  const std::vector<std::string> lines = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_NE(lines.back().find("disk on fire"), std::string::npos);
}

}  // namespace
