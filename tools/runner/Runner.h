// qvx-report-run: one report run headless on a company file, its dialogs answered from
// the command line, its output written to a file.
//
//   qvx-report-run --file PATH [--user NAME] [--password TEXT]
//                  --report BGTCMP|BGTFCT|CONPL --from MM/YYYY --to MM/YYYY
//                  [--option NAME=VALUE]... [--folder DIR] --out PATH.xlsx|PATH.pdf
//
// A report takes part by one file of its own, tools/runner/<Report>.cpp, compiled into
// the runner, that registers it:
//
//   #include "tools/runner/Runner.h"
//   #include "budgetreports/BudgetReports.h"
//   #include "budgetreports/FilterPLBGT.h"
//   namespace qvx::runner {
//   namespace {
//   const Registrar registered({
//       .code = "BGTCMP",
//       .entry = PrintBudgetComparison,
//       .options = {{"CashBasis", Flag(G.CashBasis)},
//                   {"VarianceCol", Choice(FilterPLBGT::Instance().VarianceCol, {"V", "B", "PC"})},
//                   {"BudgetColDiff", Integer(FilterPLBGT::Instance().BudgetColDiff, 0, 4)},
//                   {"PrintLevel", Integer(G.PrintLevel, 1, 4)}},
//       .forms = {AnswerForm<FilterPLBGTForm>([](FilterPLBGTForm& f, const RunContext& run) {
//         (run.excel ? f.OptExcel : f.OptPrinter).setChecked(true);
//         f.CmdOkay_Click();
//       })},
//   });
//   }  // namespace
//   }  // namespace qvx::runner
//
// How the dialogs are answered. The runner applies every --option to its field (the
// options dialog's public field or the program-wide setting of that name) before the
// report's entry runs. When the report shows its options dialog, Form_Load has already
// run and seeded the controls from those public fields, so Form_Load must seed from them
// (as the dialog does for a user's second run); the runner's user-interface service
// then hands the window to the report's form answer, which chooses the output (printer
// or Excel, from RunContext) and presses OK, so that the dialog's own interlocks and
// the output-file choice apply. A window still open after its answer counts as refused:
// the runner closes it through its close box and ends with status 2.
//
// The runner answers on its own: the period dialogs (DateRangeMth: the From and To
// months and their financial year chosen in the lists; DateRange: the first day of the
// From month and the last day of the To month typed and validated), the printer choice
// (the "PDF" device), the output-choice dialog (FilterOutput), every save dialog (the
// --out path), folder dialogs (--folder) and message boxes (printed on stderr with their
// title, answered with their default button). Only the "PDF" device exists in a run.
//
// Rows. A report adds one to ReportRowsWritten (core/ReportRows.h) for every line of
// its body it writes, printed or to the worksheet; the runner's last line on stdout is
// "REPORT: N rows written, T ms".
//
// Exit status: 0 written (the program itself saved the file at --out, and it still stands
// there); 1 the run failed (no connection, nothing written, a save refused or failed, or
// stopped because the company file could no longer be read); 2 bad
// arguments, an unknown option or a value of the wrong type, a period or options the
// dialogs refused; 3 the report is not built into this runner.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ReportRows.h"
#include "platform/ui/Ui.h"

namespace qvx::runner {

// A value an option setter cannot take; its text is told to the user (exit status 2).
struct OptionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Sets one field from the text after "NAME="; throws OptionError for a wrong value.
using OptionSetter = std::function<void(const std::string& value)>;

// True or False (any case; also -1 and 0) into a 16-bit flag (True = -1) or a bool.
OptionSetter Flag(int16_t& field);
OptionSetter Flag(bool& field);
// A whole number within min..max.
OptionSetter Integer(int16_t& field, int min, int max);
// One of the allowed texts exactly (any text when the list is empty).
OptionSetter Choice(std::string& field, std::vector<std::string> allowed = {});

// What the run was asked for, for the form answers.
struct RunContext {
  bool excel = false;  // --out ends in .xlsx (else .pdf: printer output on the PDF device)
  std::string out;     // absolute path of the output file
  std::string folder;  // --folder, absolute ("" when not given)
};

// Answers one modal window; returns false when the window is not its kind.
using FormAnswer = std::function<bool(ui::Form& form, const RunContext& run)>;

// The usual form answer: play the user on a window of class F.
template <class F>
FormAnswer AnswerForm(std::function<void(F&, const RunContext&)> play) {
  return [play = std::move(play)](ui::Form& form, const RunContext& run) {
    auto* f = dynamic_cast<F*>(&form);
    if (!f) return false;
    play(*f, run);
    return true;
  };
}

struct ReportRegistration {
  std::string code{};                               // "BGTCMP", "BGTFCT", "CONPL"
  std::function<void(std::string&)> entry{};        // the report's entry routine
  std::map<std::string, OptionSetter> options{};    // NAME -> setter, names as the dialog's fields
  std::vector<FormAnswer> forms{};                  // the report's own windows
};

// Adds a report (a later registration of the same code replaces the earlier one).
void Register(ReportRegistration registration);
// The registered report of a code, or nullptr.
const ReportRegistration* Find(const std::string& code);

// Registers at program start from a report's file: `const Registrar registered({...});`
struct Registrar {
  explicit Registrar(ReportRegistration registration) { Register(std::move(registration)); }
};

// The name of the run's temporary folders (its configuration and program folders), by
// which the next run finds those that a killed run left behind.
inline constexpr const char* kTemporaryFolderPrefix = "qvx-runner-";

// The answer to arguments that ask for the usage (status 0) or that are wrong (status 2),
// given before anything is made; nothing when the run may go on.
std::optional<int> AnswerArguments(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The whole run (a QApplication must exist). Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qvx::runner
