// Running a script into SQLite, with counters, an error limit, and a stop
// request from another thread.
//
//   run_script shop.db script.sql [MAX-ERRORS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <kxsql.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: run_script DATABASE SCRIPT [MAX-ERRORS]\n");
    return 64;
  }
  std::ifstream in(argv[2], std::ios::binary);
  const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // 4294967295 means no error limit.
  const unsigned int max_errors = argc > 3 ? static_cast<unsigned int>(std::strtoul(argv[3], nullptr, 10)) : 4294967295u;

  // The embedded SQLite engine; CKXTr::Connect takes an ODBC connection
  // string instead. The dialect follows the connection: SQLITE here.
  CKXTr tr;
  if (!tr.OpenSQLite(argv[1])) {
    std::fprintf(stderr, "%s\n", CKXMsg::GetInstance()->GetLastMessage().text.c_str());
    return 2;
  }

  // Each failed statement is recorded on the message sink: the database's
  // reason as a log line, then the statement itself as the last message.
  CKXMsg::GetInstance()->SetLogListener([](const std::string& reason) { std::printf("failed: %s\n", reason.c_str()); });

  // The run goes on a worker thread, so that it can be asked to stop: the
  // runner polls the worker's stop flag before every statement.
  unsigned int statements = 0, errors = 0;
  long rc = 0;
  CKXTr* connection = &tr;
  CKXThread worker([&] {
    CKXSQLTextT<char> source;
    rc = source.ParseSQL(script.c_str(), connection, statements, errors, max_errors);
  });
  worker.Start();

  // A watchdog: a run that takes longer than a minute is asked to stop. It
  // then ends between two statements, and ParseSQL answers 4096.
  std::thread watchdog([&worker] {
    if (!worker.IsStopSignaled(60000)) worker.SignalStop();
  });
  worker.Join();
  worker.SignalStop();  // wakes the watchdog when the run ended first
  watchdog.join();
  CKXMsg::GetInstance()->SetLogListener(nullptr);

  std::printf("result %ld: %u statements, %u errors\n", rc, statements, errors);
  if (rc == 4096) std::printf("stopped before the end\n");
  return rc == 0 && errors == 0 ? 0 : 1;
}
