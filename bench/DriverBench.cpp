// The company-file driver through unixODBC on a file of about a million journal lines:
// the one-row lookups the transaction engine runs per journal line, and a full read of
// the journal.
#include "samples/SampleBooks.h"
#include "tests/support/OdbcTestEnv.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kJournalLines = 1000000;

std::string LargeFile() {
  return std::string(QVX_BINARY_DIR) + "/bench-data/Large1M-" + qvx::samples::kBooksRevision + ".MYO";
}

// Builds the large file once (timed by BM_BuildLargeFile when that runs first).
void EnsureLargeFile() {
  if (fs::exists(LargeFile())) return;
  qvx::samples::BuildLarge(LargeFile(), kJournalLines);
}

struct Session {
  qvx::test::TestConnection conn;
  Session() {
    EnsureLargeFile();
    auto r = conn.Connect(qvx::test::DirectConnectionString({.file = LargeFile(), .user = "Administrator", .password = ""}));
    if (!r.Ok()) throw std::runtime_error(r.message);
  }
  int MaxId(const char* sql) { return std::stoi(conn.Scalar(sql)); }
};

void BM_BuildLargeFile(benchmark::State& state) {
  for (auto _ : state) {
    fs::remove(LargeFile());
    qvx::samples::BuildLarge(LargeFile(), kJournalLines);
  }
}
BENCHMARK(BM_BuildLargeFile)->Iterations(1)->Unit(benchmark::kSecond);

// One statement per lookup, as a reader that opens a recordset per query does: allocate,
// execute the literal text, describe, fetch the row, read every column, free.
void Lookup(benchmark::State& state, const char* prefix, const char* suffix, int maxId) {
  static Session session;
  SQLHDBC dbc = session.conn.Dbc();
  uint32_t seed = 12345;
  int64_t rows = 0;
  for (auto _ : state) {
    seed = seed * 1664525u + 1013904223u;
    int id = 1 + static_cast<int>(seed % static_cast<uint32_t>(maxId));
    std::string sql = prefix + std::to_string(id) + suffix;
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(sql.data()), static_cast<SQLINTEGER>(sql.size()));
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c) {
      SQLCHAR name[128];
      SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(st, c, name, sizeof name, &nameLen, &type, &size, &digits, &nullable);
    }
    while (SQLFetch(st) == SQL_SUCCESS) {
      ++rows;
      for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c) {
        char buf[256];
        SQLLEN ind = 0;
        SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  state.counters["rows"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kAvgIterations);
}

void BM_LookupJournalSet(benchmark::State& state) {
  static int maxId = Session().MaxId("SELECT MAX(SetID) FROM MYOB.JournalSets");
  Lookup(state,
         "SELECT SetID, JournalTypeID, SourceID, TransactionNumber, Memo, CurrencyID, TransactionExchangeRate "
         "FROM MYOB.JournalSets WHERE SetID = ",
         " ;", maxId);
}
BENCHMARK(BM_LookupJournalSet)->Unit(benchmark::kMicrosecond);

void BM_LookupSaleLines(benchmark::State& state) {
  static int maxId = Session().MaxId("SELECT MAX(SaleID) FROM MYOB.Sales");
  Lookup(state,
         "SELECT SaleID, SaleLineID, AccountID, JobID, TaxCodeID, Description, TaxExclusiveAmount, TaxInclusiveAmount "
         "FROM MYOB.ServiceSaleLines WHERE SaleID = ",
         " ;", maxId);
}
BENCHMARK(BM_LookupSaleLines)->Unit(benchmark::kMicrosecond);

void BM_LookupItem(benchmark::State& state) {
  Lookup(state,
         "SELECT ItemID, ItemNumber, ItemIsBought, ItemIsSold, ItemIsInventoried, IncomeAccountID, ExpenseAccountID, "
         "InventoryAccountID FROM MYOB.Items WHERE ItemID = ",
         " ;", 3);
}
BENCHMARK(BM_LookupItem)->Unit(benchmark::kMicrosecond);

// The journal reader's query over every line, read column by column with SQLGetData in
// the column's own C type, or with bound columns.
void FullFetch(benchmark::State& state, bool bind) {
  static Session session;
  SQLHDBC dbc = session.conn.Dbc();
  const char* sql =
      "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, IsForeignTransaction  "
      "FROM MYOB.JournalRecords WHERE TransactionDate => '2000-01-01' AND TransactionDate <= '2099-12-31'  ;";
  int64_t rows = 0;
  for (auto _ : state) {
    SQLHSTMT st = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLINTEGER id = 0, set = 0, job = 0, account = 0;
    SQL_DATE_STRUCT date{};
    SQL_NUMERIC_STRUCT amount{};
    char foreign[4];
    SQLLEN ind[7];
    if (bind) {
      SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
      SQLBindCol(st, 2, SQL_C_SLONG, &set, 0, &ind[1]);
      SQLBindCol(st, 3, SQL_C_SLONG, &job, 0, &ind[2]);
      SQLBindCol(st, 4, SQL_C_TYPE_DATE, &date, sizeof date, &ind[3]);
      SQLBindCol(st, 5, SQL_C_NUMERIC, &amount, sizeof amount, &ind[4]);
      SQLBindCol(st, 6, SQL_C_SLONG, &account, 0, &ind[5]);
      SQLBindCol(st, 7, SQL_C_CHAR, foreign, sizeof foreign, &ind[6]);
    }
    SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
    while (SQLFetch(st) == SQL_SUCCESS) {
      ++rows;
      if (!bind) {
        // As a recordset reader does: whole numbers as 64-bit, money and texts as text.
        SQLBIGINT big = 0;
        char text[64];
        SQLGetData(st, 1, SQL_C_SBIGINT, &big, 0, &ind[0]);
        SQLGetData(st, 2, SQL_C_SBIGINT, &big, 0, &ind[1]);
        SQLGetData(st, 3, SQL_C_SBIGINT, &big, 0, &ind[2]);
        SQLGetData(st, 4, SQL_C_TYPE_DATE, &date, sizeof date, &ind[3]);
        SQLGetData(st, 5, SQL_C_CHAR, text, sizeof text, &ind[4]);
        SQLGetData(st, 6, SQL_C_SBIGINT, &big, 0, &ind[5]);
        SQLGetData(st, 7, SQL_C_CHAR, foreign, sizeof foreign, &ind[6]);
        account = static_cast<SQLINTEGER>(big);
      }
      benchmark::DoNotOptimize(account);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}

void BM_FullFetchGetData(benchmark::State& state) { FullFetch(state, false); }
void BM_FullFetchBound(benchmark::State& state) { FullFetch(state, true); }
BENCHMARK(BM_FullFetchGetData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullFetchBound)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qvx::test::UsePrivateOdbcRegistration();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
