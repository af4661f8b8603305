#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kxcom/message.h"
#include "kxcom/thread.h"

namespace {

TEST(WorkerThread, EachBodySeesItsOwnWorker) {
  EXPECT_EQ(CKXThread::GetWorkerThread(), nullptr);
  std::vector<const CKXThread*> seen;  // outer, nested, outer again
  const CKXThread* nested_address = nullptr;
  CKXThread outer([&] {
    seen.push_back(CKXThread::GetWorkerThread());
    CKXThread nested([&] { seen.push_back(CKXThread::GetWorkerThread()); });
    nested_address = &nested;
    nested.Start();
    nested.Join();
    seen.push_back(CKXThread::GetWorkerThread());
  });
  ASSERT_TRUE(outer.Start());
  outer.Join();
  EXPECT_EQ(seen, (std::vector<const CKXThread*>{&outer, nested_address, &outer}));
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

TEST(WorkerThread, StartsOnceJoinsSafelyAndLogsAnEscapingException) {
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
  // An exception ends only the body, and says why in the log.
  const std::size_t before = CKXMsg::GetInstance()->GetLogLines().size();
  CKXThread throws([] { throw std::runtime_error("disk on fire"); });
  ASSERT_TRUE(throws.Start());
  throws.Join();
  const std::vector<std::string> lines = CKXMsg::GetInstance()->GetLogLines();
  ASSERT_EQ(lines.size(), before + 1);
  EXPECT_NE(lines.back().find("disk on fire"), std::string::npos);
}

}  // namespace
