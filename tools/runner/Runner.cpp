#include "tools/runner/Runner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

#include <sys/stat.h>

#include "ProgramParts.h"
#include "companyfile/CompanyFileInfo.h"
#include "companyfile/Connection.h"
#include "companyfile/DataSource.h"
#include "core/DateRange.h"
#include "core/DateRangeMth.h"
#include "core/Dates.h"
#include "core/FilterOutput.h"
#include "core/Globals.h"
#include "core/ReportOutput.h"
#include "core/ReportRun.h"
#include "core/SelectPrinter.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/CommandLine.h"
#include "platform/runtime/Runtime.h"
#include "platform/shell/Shell.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/sys/TemporaryFolder.h"
#include "platform/versioncheck/VersionCheck.h"

namespace qvx::runner {

namespace fs = std::filesystem;

namespace {

constexpr int kWritten = 0, kFailed = 1, kBadArguments = cli::kBadArguments, kNotBuilt = 3;

constexpr const char* kProgram = "qvx-report-run";
constexpr const char* kUsage =
    "usage: qvx-report-run --file PATH [--user NAME] [--password TEXT]\n"
    "                      --report BGTCMP|BGTFCT|CONPL --from MM/YYYY --to MM/YYYY\n"
    "                      [--option NAME=VALUE]... [--folder DIR] --out PATH.xlsx|PATH.pdf\n"
    "Runs one report on the company file without a display, its dialogs answered from these\n"
    "arguments, and saves it at --out. Status: 0 written, 1 failed, 2 bad arguments or a\n"
    "period or options refused, 3 a report not built into this runner.\n";

std::map<std::string, ReportRegistration>& Registry() {
  static std::map<std::string, ReportRegistration> registry;
  return registry;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

struct Month {
  int month = 0, year = 0;
  int Index() const { return year * 12 + month - 1; }
};

// "MM/YYYY" (a one-digit month is accepted).
std::optional<Month> ParseMonth(const std::string& text) {
  const auto slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash > 2 || text.size() - slash - 1 != 4) return std::nullopt;
  const std::string mm = text.substr(0, slash), yyyy = text.substr(slash + 1);
  auto digits = [](const std::string& s) { return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); }); };
  if (!digits(mm) || !digits(yyyy)) return std::nullopt;
  Month m{std::stoi(mm), std::stoi(yyyy)};
  if (m.month < 1 || m.month > 12 || m.year < 1900) return std::nullopt;
  return m;
}

struct Arguments {
  bool help = false;  // the usage was asked for; nothing else counts
  std::string file, user = "Administrator", password, report, folder, out;
  Month from, to;
  std::vector<std::pair<std::string, std::string>> options;
};

struct BadArguments : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Arguments Parse(const std::vector<std::string>& args) {
  Arguments a;
  // Asked for wherever it stands, after a mistake as well.
  a.help = std::ranges::any_of(args, [](const std::string& arg) { return cli::AsksForHelp(arg); });
  if (a.help) return a;
  std::optional<Month> from, to;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw BadArguments(name + " needs a value");
      return args[++i];
    };
    if (name == "--file") a.file = value();
    else if (name == "--user") a.user = value();
    else if (name == "--password") a.password = value();
    else if (name == "--report") a.report = value();
    else if (name == "--folder") a.folder = value();
    else if (name == "--out") a.out = value();
    else if (name == "--from" || name == "--to") {
      const std::string& month = value();
      auto m = ParseMonth(month);
      if (!m) throw BadArguments(name + " must be a month written MM/YYYY, not \"" + month + "\"");
      (name == "--from" ? from : to) = m;
    } else if (name == "--option") {
      const std::string& option = value();
      const auto eq = option.find('=');
      if (eq == std::string::npos || eq == 0) throw BadArguments("--option must be written NAME=VALUE, not \"" + option + "\"");
      a.options.emplace_back(option.substr(0, eq), option.substr(eq + 1));
    } else {
      throw BadArguments("unknown argument " + name);
    }
  }
  for (auto [value, name] : {std::pair{&a.file, "--file"}, {&a.report, "--report"}, {&a.out, "--out"}})
    if (value->empty()) throw BadArguments(std::string(name) + " is required");
  if (!from || !to) throw BadArguments("--from and --to are required");
  if (to->Index() < from->Index()) throw BadArguments("the --to month lies before the --from month");
  a.from = *from;
  a.to = *to;
  const std::string ext = Lower(fs::path(a.out).extension().string());
  if (ext != ".xlsx" && ext != ".pdf") throw BadArguments("--out must name a .xlsx or a .pdf file");
  return a;
}

// ---------------------------------------------------------------- the user-interface service

std::vector<ui::Answer> ButtonAnswers(ui::Buttons b) {
  using ui::Answer;
  switch (b) {
    case ui::Buttons::OK: return {Answer::OK};
    case ui::Buttons::OKCancel: return {Answer::OK, Answer::Cancel};
    case ui::Buttons::AbortRetryIgnore: return {Answer::Abort, Answer::Retry, Answer::Ignore};
    case ui::Buttons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    case ui::Buttons::YesNo: return {Answer::Yes, Answer::No};
    case ui::Buttons::RetryCancel: return {Answer::Retry, Answer::Cancel};
  }
  return {Answer::OK};
}

struct ProgramExit {
  int code;
};

class RunnerUi : public ui::UiService {
 public:
  RunnerUi(const Arguments& args, const ReportRegistration& report, const RunContext& run, std::ostream& err)
      : args_(args), report_(report), run_(run), err_(err) {}

  ui::Answer Message(const ui::MessageRequest& r) override {
    err_ << "MESSAGE \"" << (r.title.empty() ? ui::kProgramTitle : r.title) << "\": " << r.text << "\n";
    const auto answers = ButtonAnswers(r.buttons);
    const size_t i = r.defaultButton >= 1 && static_cast<size_t>(r.defaultButton) <= answers.size()
                         ? static_cast<size_t>(r.defaultButton - 1) : 0;
    return answers[i];
  }
  std::optional<std::string> Input(const ui::InputRequest& r) override {
    err_ << "INPUT \"" << (r.title.empty() ? ui::kProgramTitle : r.title) << "\": " << r.prompt << " -> \""
         << r.defaultText << "\"\n";
    return r.defaultText;
  }
  std::optional<std::string> File(const ui::FileRequest& r) override {
    switch (r.kind) {
      case ui::FileDialogKind::Save: return run_.out;
      case ui::FileDialogKind::Folder:
        if (!run_.folder.empty()) return run_.folder;
        break;
      case ui::FileDialogKind::Open: break;
    }
    err_ << "qvx-report-run: the file dialog \"" << r.title << "\" has no answer; cancelled\n";
    return std::nullopt;
  }
  void RunModal(ui::Form& form) override {
    if (auto* f = dynamic_cast<DateRangeMthForm*>(&form)) AnswerPeriod(*f);
    else if (auto* f = dynamic_cast<DateRangeForm*>(&form)) AnswerPeriod(*f);
    else if (auto* f = dynamic_cast<SelectPrinterForm*>(&form)) AnswerPrinter(*f);
    else if (auto* f = dynamic_cast<FilterOutputForm*>(&form)) {
      (run_.excel ? f->OptExcel : f->OptPrinter).setChecked(true);
      f->Exit_Click();
    } else {
      bool answered = false;
      for (const auto& answer : report_.forms)
        if ((answered = answer(form, run_))) break;
      if (!answered) {
        err_ << "qvx-report-run: no answer for the window \"" << form.windowTitle().toStdString() << "\"\n";
        refused = true;
      }
    }
    // The program names a workbook with its own extension (".XLSX"); the run's goes
    // exactly where --out says, so that no other file is replaced or renamed.
    if (run_.excel && G.ExcelFile && !G.OutputFileName.empty()) {
      G.OutputFolder = fs::path(run_.out).parent_path().string() + "/";
      G.OutputFileName = fs::path(run_.out).filename().string();
    }
    if (form.Loaded()) {
      err_ << "qvx-report-run: the window \"" << form.windowTitle().toStdString()
           << "\" refused the answer; closed\n";
      refused = true;
      form.Form_QueryUnload();
      if (form.Loaded()) form.Unload();
    }
  }
  void DoEvents() override {}
  void ExitProgram(int code) override { throw ProgramExit{code}; }

  bool refused = false;

 private:
  void AnswerPeriod(DateRangeMthForm& f) {
    const int last = DateRangeMth::Instance().LastMth;
    // The financial year a month lies in is named by the calendar year it ends in.
    auto endYear = [&](const Month& m) { return m.month <= last ? m.year : m.year + 1; };
    auto position = [](int month) { return (month - G.FirstMonth + 12) % 12; };
    const int year = endYear(args_.from);
    const int yearIndex = G.CurrentYear + 2 - year;
    if (endYear(args_.to) != year || yearIndex < 0 || yearIndex >= f.CmbFinYear.count()) {
      err_ << "qvx-report-run: the period dialog offers months of one financial year ending in "
           << G.CurrentYear - 2 << " to " << G.CurrentYear + 2 << " (the year ends in "
           << G.MonthLong[static_cast<size_t>(std::clamp(last, 1, 12))] << ")\n";
      refused = true;
      f.Cancel_Click();
      return;
    }
    f.CmbFinYear.setCurrentIndex(yearIndex);
    f.FromMth.setCurrentIndex(position(args_.from.month));
    f.ToMth.setCurrentIndex(position(args_.to.month));
    f.CmdOkay_Click();
  }
  void AnswerPeriod(DateRangeForm& f) {
    const Month& to = args_.to;
    f.TxtFromDate.setText(QString::fromStdString(
        TypedDate("01", TwoDigits(args_.from.month), std::to_string(args_.from.year))));
    f.TxtFromDate_Validate();
    f.TxtToDate.setText(QString::fromStdString(
        TypedDate(std::to_string(DaysInMonth(to.year, to.month)), TwoDigits(to.month), std::to_string(to.year))));
    f.TxtToDate_Validate();
    f.CmdOkay_Click();
  }
  void AnswerPrinter(SelectPrinterForm& f) {
    const auto found = f.lstPrinters.findItems(printer::kPdfDevice, Qt::MatchExactly);
    if (!found.isEmpty()) f.lstPrinters.setCurrentItem(found.first());
    f.cmdOK_Click();
  }

  const Arguments& args_;
  const ReportRegistration& report_;
  const RunContext& run_;
  std::ostream& err_;
};

// Puts a service in place for the run and the previous one back afterwards.
class UiScope {
 public:
  explicit UiScope(std::unique_ptr<ui::UiService> s) : previous_(ui::SetUi(std::move(s))) {}
  ~UiScope() { ui::SetUi(std::move(previous_)); }
  UiScope(const UiScope&) = delete;
  UiScope& operator=(const UiScope&) = delete;

 private:
  std::unique_ptr<ui::UiService> previous_;
};

// The program's state for one run, in a program folder of its own, so that the user's
// settings and data-set files are neither read nor written.
class RunState {
 public:
  explicit RunState(const std::string& folder) {
    sys::SetProgramFolder(folder);
    G = Globals{};
    Conn = ConnectionState{};
    DataSource::Instance() = DataSource{};
    printer::Environment() = {};
    // Only the PDF device: a run never reaches a real printer.
    printer::Environment().systemPrinters = std::vector<std::string>{};
    // The finished workbook is not opened in a spreadsheet program.
    previousOpener_ = shell::SetOpener([](const std::string&) { return true; });
    ReportRowsWritten = 0;
  }
  ~RunState() {
    if (Conn.MYOBConn) {
      try {
        Conn.MYOBConn->Close();
      } catch (const std::exception&) {
        // Closing a connection that failed: nothing left to do.
      }
    }
    Conn = ConnectionState{};
    printer::Environment() = {};
    shell::SetOpener(previousOpener_);
    sys::SetProgramFolder({});
  }
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

 private:
  shell::Opener previousOpener_;
};

// The start-up sequence of the program, without its settings file and main window.
void StartUp() {
  RegisterProgramParts();
  ResetGlobals();
  BuildMonthTables();
  sys::WriteTextLines(IniFilePath(), DefaultIniLines(), true);
  for (const auto& line : DefaultIniLines()) {
    try {
      ParseIniLine(line);
    } catch (const std::exception&) {
      // The default lines all parse; a bad one would only keep its setting's default.
    }
  }
  CorrectSettings();
  ProbeExcel();
}

bool Connect(const Arguments& a, std::ostream& err) {
  auto& ds = DataSource::Instance();
  ds.ODBCDataFile = a.file;
  ds.ODBCUserID = a.user;
  ds.ODBCPassword = a.password;
  ds.ODBCAccessMode = "R";
  ds.ODBCProduct = sys::ProgramFolder() + "/qvx-report-run";
  // Direct mode takes the driver the file itself names; a file of the newer line goes
  // through the data source whatever the driver (ConnectODBC decides by the file name).
  // A file that cannot be read is named with the reason (another program's lock, a
  // change it did not finish, no permission), read once.
  versioncheck::AnswerBuffer driver{};
  const std::string why = versioncheck::WhyNoAnswer(a.file);
  if (why.empty() && versioncheck::GetDriverName(a.file, driver) > 0) ds.ODBCDriver = versioncheck::AnswerText(driver);
  else if (Lower(a.file).find("myox") == std::string::npos) {
    err << "qvx-report-run: " << a.file << " " << (why.empty() ? "is not a company file that can be read" : why)
        << "\n";
    return false;
  }
  ConnectODBC();
  if (!Conn.ODBCConnected) {
    err << "qvx-report-run: no connection to " << a.file << "\n";
    return false;
  }
  GetCompanyFileInfo();
  return true;
}

// What stands at a path: a file put there later (renamed into place, or at least with a
// new modification time) differs from the earlier one.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  static FileIdentity Of(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {true, st.st_dev, st.st_ino, st.st_mtim};
  }
  bool operator==(const FileIdentity& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};

// Watches the scratch files committed while it lives.
class CommitWatchScope {
 public:
  explicit CommitWatchScope(sys::CommitWatch watch) : previous_(sys::SetCommitWatch(std::move(watch))) {}
  ~CommitWatchScope() { sys::SetCommitWatch(std::move(previous_)); }
  CommitWatchScope(const CommitWatchScope&) = delete;
  CommitWatchScope& operator=(const CommitWatchScope&) = delete;

 private:
  sys::CommitWatch previous_;
};

bool ApplyOptions(const ReportRegistration& report, const Arguments& a, std::ostream& err) {
  for (const auto& [name, value] : a.options) {
    auto it = report.options.find(name);
    if (it == report.options.end()) {
      std::string known;
      for (const auto& [n, setter] : report.options) known += " " + n;
      err << "qvx-report-run: the report " << a.report << " has no option " << name
          << (known.empty() ? " (it takes none)" : "; its options are:" + known) << "\n";
      return false;
    }
    try {
      it->second(value);
    } catch (const OptionError& e) {
      err << "qvx-report-run: the option " << name << " " << e.what() << "\n";
      return false;
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- option setters

namespace {
std::optional<bool> TruthOf(const std::string& v) {
  const std::string l = Lower(v);
  if (l == "true" || l == "-1") return true;
  if (l == "false" || l == "0") return false;
  return std::nullopt;
}
}  // namespace

OptionSetter Flag(int16_t& field) {
  return [&field](const std::string& v) {
    const auto b = TruthOf(v);
    if (!b) throw OptionError("takes True or False, not \"" + v + "\"");
    field = qvx::Flag(*b);
  };
}

OptionSetter Flag(bool& field) {
  return [&field](const std::string& v) {
    const auto b = TruthOf(v);
    if (!b) throw OptionError("takes True or False, not \"" + v + "\"");
    field = *b;
  };
}

OptionSetter Integer(int16_t& field, int min, int max) {
  return [&field, min, max](const std::string& v) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    size_t used = 0;
    int n = 0;
    try {
      n = std::stoi(v, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (v.empty() || used != v.size()) throw OptionError("takes a whole number " + range + ", not \"" + v + "\"");
    if (n < min || n > max) throw OptionError("takes a whole number " + range + ", not " + v);
    field = static_cast<int16_t>(n);
  };
}

OptionSetter Choice(std::string& field, std::vector<std::string> allowed) {
  return [&field, allowed = std::move(allowed)](const std::string& v) {
    if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), v) == allowed.end()) {
      std::string list;
      for (const auto& a : allowed) list += (list.empty() ? "" : ", ") + a;
      throw OptionError("takes one of " + list + ", not \"" + v + "\"");
    }
    field = v;
  };
}

void Register(ReportRegistration registration) {
  auto code = registration.code;
  Registry()[code] = std::move(registration);
}

const ReportRegistration* Find(const std::string& code) {
  auto it = Registry().find(code);
  return it == Registry().end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------- the run

std::optional<int> AnswerArguments(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (Parse(args).help) return cli::Help(out, kUsage);
  } catch (const BadArguments& e) {
    return cli::Refuse(err, kProgram, e.what(), kUsage);
  }
  return std::nullopt;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (const auto answered = AnswerArguments(args, out, err)) return *answered;
  Arguments a = Parse(args);
  const ReportRegistration* report = Find(a.report);
  if (!report || !report->entry) {
    err << "qvx-report-run: the report " << a.report << " is not built into this runner\n";
    return kNotBuilt;
  }
  // Every option is checked before anything runs (and set again once the start-up has
  // reset the program's state), so that a mistake costs nothing.
  if (!ApplyOptions(*report, a, err)) return kBadArguments;

  std::unique_ptr<sys::TemporaryFolder> folder;
  try {
    folder = std::make_unique<sys::TemporaryFolder>(kTemporaryFolderPrefix);
  } catch (const std::exception& e) {
    err << "qvx-report-run: no temporary folder for the run: " << CurrentErrorInfo(e).description << "\n";
    return kFailed;
  }
  RunContext run;
  run.out = fs::absolute(a.out).lexically_normal().string();
  run.excel = Lower(fs::path(run.out).extension().string()) == ".xlsx";
  if (!a.folder.empty()) run.folder = fs::absolute(a.folder).lexically_normal().string();
  a.file = fs::absolute(a.file).lexically_normal().string();

  // The program folder is reached through the folder's descriptor only, so that nothing
  // the run writes, reads or removes there can reach anything else, whatever the temporary
  // folder's names name by then.
  RunState state(folder->DescriptorPath());
  auto service = std::make_unique<RunnerUi>(a, *report, run, err);
  RunnerUi& runnerUi = *service;
  UiScope uiScope(std::move(service));

  try {
    StartUp();
    if (!Connect(a, err)) return kFailed;
    G.OutputPath = fs::path(run.out).parent_path().string() + "/";
    if (!run.folder.empty()) G.ConsPath = run.folder + "/";
    // The program's own check, before anything runs: the company file, a folder or a
    // file of another kind is never replaced.
    if (const auto refusal = RefuseOutputFile(run.out, run.excel ? OutputKind::Workbook : OutputKind::Pdf)) {
      err << "qvx-report-run: " << *refusal << "\n";
      return kFailed;
    }
    G.ReportCode = a.report;
    GetReportHelpID(G.ReportHelpID);
    // As a report started from the main window's list.
    G.AsAtFlag = false;
    G.PrintToPrinter = qvx::Flag(!run.excel);
    G.PrintToExcel = qvx::Flag(run.excel);
    G.BodyFont = 9;
    if (!ApplyOptions(*report, a, err)) return kBadArguments;
    printer::SetCurrent(printer::kPdfDevice);
    // An earlier file at --out stays until the run's own file takes its place. Only a
    // file the program saved there counts, not one another program put there meanwhile.
    FileIdentity saved;
    const CommitWatchScope watch([&](const std::string& target) {
      const FileIdentity committed = FileIdentity::Of(target);
      if (committed.exists && committed == FileIdentity::Of(run.out)) saved = committed;
    });

    ReportRowsWritten = 0;
    const auto start = std::chrono::steady_clock::now();
    G.ReportRunning = true;
    std::string code = a.report;
    bool stopped = false;
    try {
      stopped = !RunReport([&] { report->entry(code); });
    } catch (const ProgramExit&) {
      throw;
    } catch (const std::exception& e) {
      err << "qvx-report-run: the report stopped: " << CurrentErrorInfo(e).description << "\n";
    }
    G.ReportRunning = false;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    const bool written = saved.exists && FileIdentity::Of(run.out) == saved;
    if (!written) err << "qvx-report-run: nothing was written to " << run.out << "\n";
    out << "REPORT: " << ReportRowsWritten << " rows written, " << ms.count() << " ms" << std::endl;
    if (runnerUi.refused) return kBadArguments;
    // A stopped run wrote nothing; a file at the output path is an earlier one.
    if (stopped) return kFailed;
    return written ? kWritten : kFailed;
  } catch (const ProgramExit& e) {
    err << "qvx-report-run: the program was ended (" << e.code << ")\n";
    return kFailed;
  } catch (const std::exception& e) {
    err << "qvx-report-run: " << CurrentErrorInfo(e).description << "\n";
    return kFailed;
  }
}

}  // namespace qvx::runner
