#include "core/Settings.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <variant>

#include "core/Globals.h"
#include "core/Preferences.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/EndSignals.h"
#include "platform/sys/SafeSave.h"
#include "platform/sys/Sys.h"
#include "platform/ui/Ui.h"

namespace qvx {

namespace {

using Target = SettingTarget;

struct IniKey {
  const char* key;
  // Dialog fields are reached through their instances, created on first use. Null for a
  // key owned above the core until the owner binds it.
  Target (*target)();
  bool trimLeading = false;  // written without leading blanks
};

std::vector<IniKey>& KeyTable() {
  static std::vector<IniKey> table = {
      {"BodyFont", [] { return Target(&G.BodyFont); }},
      {"ColumnType", nullptr},
      {"CompanyName", [] { return Target(&G.CompanyName); }},
      {"CompanyAbbrev", [] { return Target(&G.CompanyAbbrev); }},
      {"ConsPATH", [] { return Target(&G.ConsPath); }},
      {"ConsGroupName", [] { return Target(&G.ConsGroupName); }, true},
      {"ConsReportName", [] { return Target(&G.ConsReportName); }, true},
      {"DateFromKeys", [] { return Target(&G.DateFromKeys); }},
      {"DebugMode", [] { return Target(&G.DebugMode); }},
      {"DefaultJob", [] { return Target(&Preferences::Instance().DefaultJob); }},
      {"DSName", [] { return Target(&G.DSName); }},
      {"BMSetting", [] { return Target(&Preferences::Instance().BMSetting); }},
      {"BMarkSales", [] { return Target(&Preferences::Instance().BMSales); }},
      {"BMarkGross", [] { return Target(&Preferences::Instance().BMGrossProfit); }},
      {"BMarkNet", [] { return Target(&Preferences::Instance().BMNetProfit); }},
      {"BMarkStaff", [] { return Target(&Preferences::Instance().BMStaff); }},
      {"OutputPath", [] { return Target(&G.OutputPath); }},
      {"CurrentYear", [] { return Target(&G.CurrentYear); }},
      {"ExcelFile", [] { return Target(&G.ExcelFile); }},
      {"FirstMonth", [] { return Target(&G.FirstMonth); }},
      {"GroupColPosn", nullptr},
      {"HeadingFont", [] { return Target(&G.HeadingFont); }},
      {"IncludeAverage", nullptr},
      {"LSLines", [] { return Target(&G.LSLines); }},
      {"ODBCMode", nullptr},
      {"ODBCUserID", nullptr},
      {"ODBCPassword", nullptr},
      {"ODBCDataFile", nullptr},
      {"ODBCProduct", nullptr},
      {"ODBCDriver", nullptr},
      {"PrintLevel", [] { return Target(&G.PrintLevel); }},
      {"PrintToPrinter", [] { return Target(&G.PrintToPrinter); }},
      {"PTLines", [] { return Target(&G.PTLines); }},
      {"QtyDecimals", [] { return Target(&G.QtyDecimals); }},
      {"RoundWhole", nullptr},
      {"ShowFigures", nullptr},
      {"ShowHeaders", nullptr},
      {"SortByJob", [] { return Target(&G.SortByJob); }},
      {"SortByName", [] { return Target(&G.SortByName); }},
      {"SpacesforZeroes", [] { return Target(&G.SpacesForZeroes); }},
      {"Underline", [] { return Target(&G.Underline); }},
      {"LblsPerRow", [] { return Target(&G.LblsPerRow); }},
      {"LblsPerCol", [] { return Target(&G.LblsPerCol); }},
      {"LblFontSize", [] { return Target(&G.LblFontSize); }},
      {"LblFontBold", [] { return Target(&G.LblFontBold); }},
      {"LblNameTab", [] { return Target(&G.LblNameTab); }},
      {"LblCodeGap", [] { return Target(&G.LblCodeGap); }},
      {"LblNameGap", [] { return Target(&G.LblNameGap); }},
      {"LblTopMargin", [] { return Target(&G.LblTopMargin); }},
      {"LblLeftMargin", [] { return Target(&G.LblLeftMargin); }},
      {"LblHeight", [] { return Target(&G.LblHeight); }},
      {"LblWidth", [] { return Target(&G.LblWidth); }},
  };
  return table;
}

float ToSingle(double v) {
  if (std::fabs(v) > static_cast<double>(FLT_MAX)) Raise(err::Overflow);
  return static_cast<float>(v);
}

// Does the text begin with a number that Val reads (after blanks: a sign, then digits or
// a decimal point and a digit, or an &H / &O prefix)?
bool StartsWithNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  if (i + 1 < text.size() && text[i] == '&') {
    char k = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    return k == 'H' || k == 'O';
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i < text.size() && text[i] == '.') ++i;
  return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

// Stores a value text in a target, converted to the target's type. The target is only
// changed once the conversion has succeeded; a number that cannot be read keeps the
// value the setting had (its default), rather than becoming 0.
void Assign(const Target& target, const std::string& value) {
  std::visit(
      [&](auto* p) {
        using T = std::remove_pointer_t<decltype(p)>;
        constexpr bool numeric = std::is_same_v<T, int16_t> || std::is_same_v<T, Money> || std::is_same_v<T, float>;
        if constexpr (numeric) {
          if (!StartsWithNumber(value)) return;
        }
        if constexpr (std::is_same_v<T, int16_t>) *p = CInt(Val(value));
        else if constexpr (std::is_same_v<T, Money>) *p = CCur(Val(value));
        else if constexpr (std::is_same_v<T, float>) *p = ToSingle(Val(value));
        else if constexpr (std::is_same_v<T, bool>) *p = CBool(value);
        else *p = value;
      },
      target);
}

std::string Written(const Target& target) {
  return std::visit(
      [](auto* p) -> std::string {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, int16_t>) return std::to_string(*p);
        else if constexpr (std::is_same_v<T, Money>) return p->ToString();
        else if constexpr (std::is_same_v<T, float>) return SingleToText(*p);
        else if constexpr (std::is_same_v<T, bool>) return *p ? "True" : "False";
        else return *p;
      },
      target);
}

// Splits a line at its first "=" into key and value; a line without one raises error 5.
void SplitLine(const std::string& line, std::string& key, std::string& value) {
  G.iTemp = static_cast<int32_t>(InStr(line, "="));
  key = Left(line, G.iTemp - 1);
  value = Mid(line, G.iTemp + 1);
}

}  // namespace

std::string IniFilePath() { return sys::InProgramFolder(kIniFileName); }

const std::vector<std::string>& DefaultIniLines() {
  static const std::vector<std::string> lines = {
      "BodyFont=9",       "ColumnType=",       "CompanyName=",          "CompanyAbbrev=",
      "ConsPATH=",        "CustAssocFieldBox=", "DateFromKeys=",        "DebugMode=",
      "DefaultJob=",      "DSName=",           "BMSetting=",            "BMarkSales=0",
      "BMarkGross=0",     "BMarkNet=0",        "BMarkStaff=0",          "OutputPath=",
      "CurrentYear=",     "ExcelFile=",        "FirstMonth=4",          "GroupColPosn=",
      "HeadingFont=11",   "IncludeAverage=False", "LSLines=58",         "ODBCMode=",
      "ODBCUserID=",      "ODBCPassword=",     "ODBCDataFile=",         "ODBCProduct=",
      "ODBCDriver=",      "PDFPathFile=",      "PrintLevel=",           "PrintToPrinter=-1",
      "PTLines=68",       "QtyDecimals=0",     "RoundWhole=",           "RptFormat=",
      "SelectEvent=0",    "SortByJob=-1",      "SortByName=0",          "SortByEventSequence=0",
      "SortByMemberSequence=0", "SpacesForZeroes=0", "SubscrCodes=",    "Underline=2",
      "YearEndText=",     "LblsPerRow=",       "LblsPerCol=",           "LblFontSize=",
      "LblFontBold=",     "LblNameTab=",       "LblCodeGap=",           "LblNameGap=",
      "LblTopMargin=",    "LblLeftMargin=",    "LblHeight=",            "LblWidth=",
  };
  return lines;
}

const std::vector<std::string>& IniKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (auto& e : KeyTable()) k.emplace_back(e.key);
    return k;
  }();
  return keys;
}

namespace {
// The texts of the keys no owner has bound, as last read.
std::map<std::string, std::string>& UnboundTexts() {
  static std::map<std::string, std::string> texts;
  return texts;
}
}  // namespace

void BindSetting(const std::string& key, SettingTarget (*target)()) {
  for (auto& e : KeyTable()) {
    if (key == e.key) {
      e.target = target;
      return;
    }
  }
  Raise(err::InvalidCall, "The settings file has no key " + key + ".");
}

void ParseIniLine(const std::string& line) {
  std::string key, value;
  SplitLine(line, key, value);
  for (auto& e : KeyTable()) {
    if (key == e.key) {
      if (e.target) Assign(e.target(), value);
      else UnboundTexts()[key] = value;
      return;
    }
  }
}

namespace {

// Every key in table order, as the settings are now.
std::vector<std::string> IniLines() {
  std::vector<std::string> lines;
  lines.reserve(KeyTable().size());
  for (auto& e : KeyTable()) {
    std::string v = e.target ? Written(e.target()) : UnboundTexts()[e.key];
    lines.push_back(std::string(e.key) + "=" + (e.trimLeading ? LTrim(v) : v));
  }
  return lines;
}

struct DataSet {
  std::string file, company;
};

// What UsersSettingsKept keeps.
struct Kept {
  std::vector<std::string> iniLines;
  DataSet dataSet;
};
std::optional<Kept>& KeptSettings() {
  static std::optional<Kept> kept;
  return kept;
}

DataSet DataSetToWrite() {
  return KeptSettings() ? KeptSettings()->dataSet : DataSet{G.DataSetFile, G.DataSetCompany};
}

}  // namespace

void WriteIniFile() { WriteIniLines(IniFilePath(), KeptSettings() ? KeptSettings()->iniLines : IniLines()); }

void WriteIniLines(const std::string& path, const std::vector<std::string>& lines) {
  sys::WriteTextLines(path, lines, false, sys::Readers::OwnerOnly);
}

void ParseDataSetLine(std::string& line) {
  if (!G.DataSetFromIni) {
    if (Left(line, 3) != "DS-") return;
    line = Mid(line, 4);
  }
  std::string key, value;
  SplitLine(line, key, value);
  // An empty name (the settings file's default) would blank the name read from the
  // company file in the window and every report heading.
  if (key == "CompanyName" && UsableCompanyName(value)) G.DataSetCompany = value;
}

bool UsableCompanyName(const std::string& name) {
  const auto chars = std::count_if(name.begin(), name.end(), [](char c) { return (c & 0xC0) != 0x80; });
  return chars > 0 && static_cast<size_t>(chars) <= kMaxCompanyNameChars;
}

void ApplyDefaultSetting(const std::string& key) {
  for (const auto& line : DefaultIniLines()) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) {
      ParseIniLine(line);
      return;
    }
  }
}

void WriteDataSetFile() {
  const DataSet dataSet = DataSetToWrite();
  if (dataSet.file.empty()) return;
  sys::WriteTextLines(sys::InProgramFolder(dataSet.file), {"DS-CompanyName=" + dataSet.company});
}

bool SaveSettingsOnExit() {
  // Exit and an end at a signal write twice (at once, and as the window unloads): a file
  // that fails again for the same cause is told once.
  static std::set<std::string> told;
  std::string failures;
  bool failed = false;
  auto attempt = [&](void (*writer)(), const std::string& path) {
    try {
      writer();
    } catch (const std::exception& e) {
      failed = true;
      if (const std::string failure = path + ": " + CurrentErrorInfo(e).description; told.insert(failure).second)
        failures += "\r\n" + failure;
    }
  };
  {
    // A second Ctrl+C while these are written ends the program once both are in place.
    const sys::EndAfterWrite whole;
    // A settings file that could not be read at start-up is left for the user to repair.
    if (!SettingsFile().unreadable) attempt(WriteIniFile, IniFilePath());
    if (const std::string file = DataSetToWrite().file; !file.empty())
      attempt(WriteDataSetFile, sys::InProgramFolder(file));
    // Before an insisting signal waiting for this write ends the program.
    if (!failed) sys::SayWhenEndedAtOnce(nullptr);
  }
  if (!failures.empty())
    ui::MsgBox("The settings could not be saved. These files were not written:\r\n" + failures, ui::Buttons::OK,
               ui::Icon::Exclamation);
  return !failed;
}

UsersSettingsKept::UsersSettingsKept() {
  if (KeptSettings()) return;
  KeptSettings() = Kept{IniLines(), {G.DataSetFile, G.DataSetCompany}};
  keeping_ = true;
}

UsersSettingsKept::~UsersSettingsKept() {
  if (keeping_) KeptSettings().reset();
}

SettingsFileState& SettingsFile() {
  static SettingsFileState state;
  return state;
}

void RemoveStaleTemporaryFiles() {
  namespace fs = std::filesystem;
  // The files the program rewrites through a temporary file; what it left of them is
  // told by the temporary names' mark, never by a name alone that a user's copy may have.
  static const std::regex own("(" + std::regex_replace(std::string(kIniFileName), std::regex("\\."), "\\.") +
                              "|QVXDataSet-.*\\.Txt|TBSettings.*\\.Txt)");
  std::error_code ec;
  const fs::path folder = fs::path(sys::InProgramFolder(kIniFileName)).parent_path();
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string rewritten = sys::RewrittenFileName(it->path().filename().string());
    // One another copy of the program is writing now stays.
    if (!rewritten.empty() && std::regex_match(rewritten, own)) sys::RemoveUnlessHeld(it->path().string());
  }
  // And the scratch files of workbooks and PDFs that a kill left beside their targets.
  sys::RemoveLeftoverScratchFiles();
}

}  // namespace qvx
