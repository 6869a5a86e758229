// Scripts and report tools often walk a list on one connection and look each of its rows up
// on another, or on several others, in one thread. The driver holds the reads of one program
// on a file together for a short lease, then keeps its connections from beginning new reads
// until a waiting writer got in; the look-ups must not wait for the list's open cursor, which
// nothing but their own thread will close, and run about as fast as on one connection. A
// look-up that does wait, for another connection of its thread whose lease is being ended or
// for the long read of another thread, goes on as soon as that one has let go of the file or
// is kept only by a cursor of the waiting thread.
#include "tests/driver/SampleCopyTest.h"
#include "tests/support/OtherProgram.h"

#include "samples/SamplePaths.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace qvx {
namespace {

namespace fs = std::filesystem;
using test::TestConnection;
using Clock = std::chrono::steady_clock;

// Look-ups of each loop, a millisecond or more apart: they span many leases of 25 ms, and a
// look-up that waits the driver's longest wait (250 ms) once a lease costs the loop seconds.
constexpr int kLookups = 800;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class NestedLoopTest : public test::SampleCopyTest {
 protected:
  NestedLoopTest() : SampleCopyTest("qvx-nested-", "Nested.MYO") {}

  // What a loop reads: the list it walks row by row, its cursor open all along (none: it
  // looks up accounts 1 to 50 in turn), and the connections it looks each row up on, one
  // after another. A look-up's cursor is closed once its row is read, or stays on that row
  // until the next look-up on its connection, as a client's does that reads the one row it
  // wants and runs its statement again for the next.
  struct Walk {
    TestConnection* list = nullptr;
    std::vector<TestConnection*> lookups;
    bool leftOnRow = false;
  };

  // The seconds since `start`, less those the threads of the program but `beside` waited for a
  // processor since `queued` (a loaded machine's time, not the driver's).
  static double DriversSeconds(Clock::time_point start, const std::map<pid_t, int64_t>& queued, pid_t beside) {
    return SecondsSince(start) - test::RunQueueUsOfTurns(queued, test::RunQueueUs(::getpid()), beside) / 1e6;
  }

  // Runs the loop, a millisecond between rows, beside the thread `beside` of the program (0:
  // none) that reads on its own. The seconds it took, less the machine's time, or as soon as
  // that came to more than `giveUpS`.
  static double Loop(const Walk& w, double giveUpS, pid_t beside = 0) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (w.list) {
      SQLAllocHandle(SQL_HANDLE_STMT, w.list->Dbc(), &st);
      auto sql = reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT AccountID FROM JournalRecords"));
      EXPECT_EQ(SQLExecDirect(st, sql, SQL_NTS), SQL_SUCCESS);
    }
    std::vector<SQLHSTMT> kept(w.lookups.size(), SQL_NULL_HSTMT);
    if (w.leftOnRow)
      for (size_t k = 0; k < kept.size(); ++k) SQLAllocHandle(SQL_HANDLE_STMT, w.lookups[k]->Dbc(), &kept[k]);
    const auto queued = test::RunQueueUs(::getpid());
    const auto start = Clock::now();
    // The threads' waits are looked up only once the time alone is past the bound, then every
    // tenth of a second.
    double lookS = giveUpS;
    for (int i = 0; i < kLookups; ++i) {
      if (const double s = SecondsSince(start); s > lookS) {
        if (DriversSeconds(start, queued, beside) > giveUpS) break;
        lookS = s + 0.1;
      }
      SQLINTEGER account = i % 50 + 1;
      if (w.list) {
        SQLLEN ind = 0;
        EXPECT_EQ(SQLFetch(st), SQL_SUCCESS);
        EXPECT_EQ(SQLGetData(st, 1, SQL_C_SLONG, &account, 0, &ind), SQL_SUCCESS);
      }
      std::string sql = "SELECT AccountName FROM Accounts WHERE AccountID = " + std::to_string(account);
      for (size_t k = 0; k < w.lookups.size(); ++k) {
        if (w.leftOnRow) {
          SQLCloseCursor(kept[k]);
          EXPECT_EQ(SQLExecDirect(kept[k], reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_SUCCESS);
          EXPECT_EQ(SQLFetch(kept[k]), SQL_SUCCESS) << account;
          continue;
        }
        test::Rows rows;
        auto out = w.lookups[k]->Query(sql, &rows);
        EXPECT_TRUE(out.Ok()) << out.sqlState << " " << out.message;
        EXPECT_EQ(rows.size(), 1u) << account;
      }
      ::usleep(1000);
    }
    const double seconds = DriversSeconds(start, queued, beside);
    for (SQLHSTMT k : kept) SQLFreeHandle(SQL_HANDLE_STMT, k);
    if (w.list) SQLFreeHandle(SQL_HANDLE_STMT, st);
    return seconds;
  }
};

// The same look-ups on one connection, then with the list on it and the look-ups on one or
// two more, and beside another thread that reads the journal row by row over 30 ms at a
// time: each waits at most until that read has ended. Looked up on two connections, a row's
// second look-up finds the first one's lease, over, still held: it waits only until the
// lease's timer has ended it and that connection has let go of the file (its cursor closed)
// or is kept only by a cursor of this thread (its cursor left on its row), while the list's
// cursor still holds the file.
TEST_F(NestedLoopTest, LookUpsOnOtherConnectionsOfTheThreadRunAsFastAsOnOne) {
  TestConnection a, b, c, d;
  for (TestConnection* t : {&a, &b, &c, &d}) ASSERT_TRUE(t->Connect(Connection()).Ok());
  // What a loop may take, less the machine's time, against the one on one connection (about
  // a second): a row looked up on two connections often waits for a timer thread of the
  // driver to get a processor, up to a second or more a loop on a busy machine. A loop that
  // waits the driver's longest wait (250 ms) once a lease takes five seconds or more, one
  // that waits it every few rows tens.
  const double one = Loop({.list = &a, .lookups = {&a}}, 60);
  const double bound = 2 * one + 1;
  struct Case {
    const char* what;
    Walk walk;
    bool besideLongReads = false;
  };
  const Case cases[] = {
      {"the list on a second connection", {.list = &a, .lookups = {&b}}},
      {"each row looked up on two more connections", {.list = &a, .lookups = {&b, &c}}},
      {"each row looked up on two more connections, each cursor left on its row",
       {.list = &a, .lookups = {&b, &c}, .leftOnRow = true}},
      {"beside another thread's long reads", {.lookups = {&a}}, true},
  };
  for (const Case& k : cases) {
    std::atomic<bool> stop{false};
    std::atomic<int> longReads{0};
    std::atomic<pid_t> beside{0};
    std::thread other;
    if (k.besideLongReads)
      other = std::thread([&] {
        beside = static_cast<pid_t>(::syscall(SYS_gettid));
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, d.Dbc(), &st);
        auto sql = reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT JournalRecordID FROM JournalRecords"));
        while (!stop) {
          SQLRETURN rc = SQLExecDirect(st, sql, SQL_NTS);
          const auto begun = Clock::now();
          while (SQL_SUCCEEDED(rc) && Clock::now() - begun < std::chrono::milliseconds(30)) {
            rc = SQLFetch(st);
            ::usleep(1000);
          }
          EXPECT_TRUE(SQL_SUCCEEDED(rc));
          SQLCloseCursor(st);
          ++longReads;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
      });
    while (other.joinable() && beside == 0) std::this_thread::yield();
    const double seconds = Loop(k.walk, bound, beside);
    stop = true;
    if (other.joinable()) other.join();
    std::cout << "seconds: " << seconds << " " << k.what << ", " << one << " on one connection\n";
    EXPECT_LE(seconds, bound) << k.what << ", against " << one << " s on one connection";
    if (k.besideLongReads) {
      EXPECT_GT(longReads, 3);
    }
  }
}

}  // namespace
}  // namespace qvx
