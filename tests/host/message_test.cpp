#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kxcom/message.h"

namespace {

TEST(MessageSink, KeepsTheLastMessageAndTellsTheListener) {
  CKXMsg* sink = CKXMsg::GetInstance();
  sink->Reset();
  std::vector<std::string> seen;
  sink->SetListener([&](const CKXMessage& m) { seen.push_back(m.caption + "/" + m.text); });
  sink->SetLastMessage(MSGTYPE::ERR, "first", "Cap", 0, "Src", 0);
  sink->SetLastMessage(MSGTYPE::WARN, "second", nullptr, 0, nullptr, 7);
  sink->SetListener(nullptr);
  const CKXMessage last = sink->GetLastMessage();
  EXPECT_EQ(last.type, MSGTYPE::WARN);
  EXPECT_EQ(last.text, "second");
  EXPECT_EQ(last.caption, "");
  EXPECT_EQ(last.code, 7);
  // A system error carries its reason; the listener is gone.
  errno = ENOENT;
  sink->GetLastError("Failed to open file for reading 'x.sql'", 1, "Open");
  const CKXMessage error = sink->GetLastMessage();
  EXPECT_EQ(error.type, MSGTYPE::ERR);
  EXPECT_EQ(error.text, "Failed to open file for reading 'x.sql': No such file or directory");
  EXPECT_EQ(error.source, "Open");
  EXPECT_EQ(seen, (std::vector<std::string>{"Cap/first", "/second"}));
  sink->Reset();
  EXPECT_EQ(sink->GetLastMessage().text, "");
}

TEST(MessageSink, LogIsOrderedBoundedAndSafeAcrossThreads) {
  CKXMsg* sink = CKXMsg::GetInstance();
  sink->Reset();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([sink] {
      for (int i = 0; i < 5000; ++i) sink->LogError("line");
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(sink->GetLogLines().size(), 10000u);  // the newest lines only
  sink->Reset();
  sink->LogError("a");
  sink->LogError("b");
  EXPECT_EQ(sink->GetLogLines(), (std::vector<std::string>{"a", "b"}));
  sink->Reset();
}

}  // namespace
