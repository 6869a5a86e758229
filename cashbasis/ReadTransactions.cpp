#include "cashbasis/ReadTransactions.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "cashbasis/EngineState.h"
#include "cashbasis/JournalSet.h"
#include "cashbasis/MoneySets.h"
#include "cashbasis/PostTransaction.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "core/Globals.h"
#include "core/Lookups.h"
#include "core/Progress.h"
#include "platform/ui/Ui.h"

namespace qvx {

void ShowEngineError(const std::exception& e) {
  const ErrorInfo info = CurrentErrorInfo(e);
  G.MsgTitle = "Error Message";
  G.MsgText = "An error has occurred - " + info.description + "\r\n" + "Type = " + Engine.JournalType;
  G.Response = static_cast<int16_t>(ui::MsgBox(G.MsgText, ui::Buttons::OK, ui::Icon::None, G.MsgTitle));
}

void OpenAnswer(EngineRecordset& rs, const std::string& sql, bool keepEarlier) {
  constexpr size_t kKeptAnswers = 4096;
  EngineState& e = Engine;
  EngineState::HeldAnswer& held = e.Answers[&rs];
  const bool holding = rs && held.rs == rs.get() && !held.sql.empty() && rs->State() == ado::adStateOpen;
  if (e.ReuseAnswers) {
    if (holding && held.sql == sql) {
      rs->MoveFirst();
      ++AnswerStats.reused;
      return;
    }
    if (keepEarlier) {
      auto it = held.kept.find(sql);
      if (it != held.kept.end() && it->second) {
        EngineRecordset answer = std::move(it->second);
        held.kept.erase(it);
        if (holding) held.kept.emplace(held.sql, std::move(rs));
        rs = std::move(answer);
        held.rs = rs.get();
        held.sql = sql;
        rs->MoveFirst();
        ++AnswerStats.reused;
        return;
      }
    }
  }
  if (e.ReuseAnswers && keepEarlier && holding && held.kept.size() < kKeptAnswers)
    held.kept.emplace(held.sql, std::move(rs));
  ++AnswerStats.sent;
  rs = OpenRecordset(sql);
  held.rs = rs.get();
  if (rs) held.sql = sql;
  else held.sql.clear();
}

void ForgetAnswers() { Engine.Answers.clear(); }

int32_t AccountIndexOf(const std::vector<int32_t>& ids, int32_t id) {
  // IDs are small numbers counted from 1; one far beyond is looked up each time.
  constexpr int32_t kRemembered = 1 << 16;
  EngineState& e = Engine;
  if (!e.Reading || id < 0 || id >= kRemembered) return FindAccountIndex(ids, id);
  auto& known = e.AccountIndexByID;
  if (static_cast<size_t>(id) >= known.size()) known.resize(static_cast<size_t>(id) + 1, -2);
  int32_t& index = known[static_cast<size_t>(id)];
  if (index == -2) index = FindAccountIndex(ids, id);
  else G.AccountIndex = index;
  return index;
}

bool IsUSAFile() { return Company.DataFileCountry == "USA"; }

void TakePeriodKeys() {
  auto number = [](const std::string& key) {
    int32_t n = 0;
    std::from_chars(key.data(), key.data() + key.size(), n);
    return n;
  };
  Engine.Period = {.finYearStart = number(G.FinYearStartYMD),
                   .from = number(G.FromYMD),
                   .to = number(G.ToYMD),
                   .finYearEnd = number(G.FinYearEndYMD)};
}

namespace {

// A period key moved back one year: the year less one, the rest unchanged.
void YearBack(std::string& key) {
  key = std::to_string(static_cast<long long>(Val(Left(key, 4))) - 1) + Mid(key, 5);
}

// The columns of the journal query, found once per run.
struct JournalColumns {
  std::optional<ado::Field> recordID, date, account, amount;
};

// TransactionDate as the number yyyymmdd: the column arrives as a date; a text would be
// read in the system's short-date picture, as any date text is.
int32_t DayOf(const ado::Variant& v) { return DayKey(v.ToDate()); }

// Reads the current journal line into the engine state. A column that cannot be read
// shows the error box and leaves the line out, so that no value of the previous line
// is posted again.
void ReadLine(const JournalColumns& c) {
  EngineState& e = Engine;
  bool ok = true;
  ok = EngineStep([&] { e.JrnRecordID = c.recordID.value().Value().ToLong(); }) && ok;
  ok = EngineStep([&] { e.JrnYMD = DayOf(c.date.value().Value()); }) && ok;
  ok = EngineStep([&] { e.PostAcctID = c.account.value().Value().ToLong(); }) && ok;
  ok = EngineStep([&] { e.JrnAmount = c.amount.value().Value().ToCurrency(); }) && ok;
  e.LineReadOK = ok;
  e.InMonth = kFalse;
  e.InRange = kFalse;
  e.FlagOK = kTrue;
  e.PostAmount = e.JrnAmount;
}

void CloseRecordset(EngineRecordset& rs) {
  if (!rs) return;
  EngineStep([&] { rs->Close(); });
  rs.reset();
}

}  // namespace

void ReadTransactions(TransactionArgs& a) {
  EngineState& e = Engine;
  // A stopped run leaves the read at its failed query: what the read holds of the file
  // is let go all the same.
  struct Release {
    ~Release() {
      EngineState& s = Engine;
      for (EngineRecordset* rs : {&s.rsJournal, &s.rsJournalSet, &s.rsPaymentLines, &s.rsPayment, &s.rsPurchPayLines,
                                  &s.rsDocHeader, &s.rsDocLines, &s.rsActivities, &s.rsItems})
        rs->reset();
      s.Answers.clear();
      s.Reading = false;
    }
  } release;
  e.Reading = true;
  e.AccountIndexByID.clear();

  EngineStep([] {
    ReadingDBase::Instance().Show();
    Progress& p = Progress::Instance();
    p.Window().PBar.setMinimum(0);
    p.SetCaption("Reading transactions ...");
  });

  e.RecCounter = 0;
  e.JournalUsed = e.JournalSetUsed = e.CustPayLinesUsed = e.PayLinesUsed = kFalse;
  e.DocHeaderUsed = e.DocLinesUsed = e.ActivityUsed = e.ItemFound = kFalse;
  e.KeyCount = 0;
  e.KeyCap = 0;
  e.PostedKeys.clear();
  e.FreightDone.clear();
  e.HandledSets.clear();
  ForgetAnswers();
  e.ApplyRate = kTrue;
  e.PayRatio = 1.0;

  // Money, journal and cheque lines are tested against the lowest class in the tables.
  EngineStep([&] { e.FirstAcctClass = LowestAccountClass(a.AccountNumbers); });

  if (a.LastYear) {
    EngineStep([] { YearBack(G.FinYearStartYMD); });
    EngineStep([] { YearBack(G.FromYMD); });
    EngineStep([] { YearBack(G.ToYMD); });
    EngineStep([] { YearBack(G.FinYearEndYMD); });
  }
  TakePeriodKeys();

  Conn.SQLStr = "SELECT JournalRecordID, SetID, JobID, TransactionDate, TaxExclusiveAmount, AccountID, ";
  Conn.SQLStr += "IsForeignTransaction  ";
  Conn.SQLStr += "FROM MYOB.JournalRecords ";
  Conn.SQLStr += "WHERE TransactionDate => '" + G.ODBCFromDate + "' AND TransactionDate <= '" + G.ODBCToDate + "'  ;";
  e.rsJournal = OpenRecordset(Conn.SQLStr);

  // Without a recordset the reader has already said why; the run has nothing to read.
  const bool cash = a.CashMode != 0;
  JournalColumns columns;
  int32_t lineCount = 0, barStep = 1;
  if (e.rsJournal) {
    ado::Recordset& rs = *e.rsJournal;
    EngineStep([&] { columns.recordID = rs.Fields("JournalRecordID"); });
    EngineStep([&] { columns.date = rs.Fields("TransactionDate"); });
    EngineStep([&] { columns.account = rs.Fields("AccountID"); });
    EngineStep([&] { columns.amount = rs.Fields("TaxExclusiveAmount"); });
  }
  while (e.rsJournal) {
    ado::Recordset& rs = *e.rsJournal;
    bool atEnd = true;
    if (!EngineStep([&] { atEnd = rs.Eof(); }) || atEnd) break;

    if (e.RecCounter == 0) {
      lineCount = static_cast<int32_t>(rs.RecordCount());
      barStep = std::max<int32_t>(1, lineCount / 1000);
      EngineStep([&] {
        Progress& p = Progress::Instance();
        p.SetMax(lineCount);
        p.Show();
        G.ProgressShown = true;
      });
    }

    ReadLine(columns);
    if (e.LineReadOK) {
      if (!cash) {
        if (!e.PostAmount.IsZero()) EngineStep([&] { PostTransaction(a); });
      } else if (e.JrnYMD >= e.Period.from) {
        EngineStep([&] { JournalSet(a); });
      }
    }

    e.JournalUsed = kTrue;
    ++e.RecCounter;
    // The bar moves by whole thousandths: setting it costs a repaint check and an
    // accessibility event, far more than reading a line, and a finer step is not seen.
    if (e.RecCounter % barStep == 0 || e.RecCounter == lineCount)
      EngineStep([&] { Progress::Instance().SetValue(e.RecCounter); });
    ui::DoEvents();
    // A failed move would read the same line again for ever: the read ends there.
    if (!EngineStep([&] { rs.MoveNext(); })) break;
  }

  if (e.JournalUsed && G.ProgressShown) {
    EngineStep([] { Progress::Instance().Unload(); });
    G.ProgressShown = false;
  }
  CloseRecordset(e.rsJournal);
  CloseRecordset(e.rsJournalSet);
  CloseRecordset(e.rsPaymentLines);
  CloseRecordset(e.rsPayment);
  CloseRecordset(e.rsPurchPayLines);
  CloseRecordset(e.rsDocHeader);
  CloseRecordset(e.rsDocLines);
  CloseRecordset(e.rsActivities);
  CloseRecordset(e.rsItems);
  ForgetAnswers();
  EngineStep([] { ReadingDBase::Instance().Unload(); });
}

}  // namespace qvx
