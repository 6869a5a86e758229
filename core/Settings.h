// The settings file and the data-set file: their line formats, the default lines, the
// reader of one line and the writers of the whole files.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/runtime/Runtime.h"

namespace qvx {

inline constexpr const char* kIniFileName = "Tallymoor.Ini";
// Only this many lines of the settings file are ever read.
inline constexpr size_t kIniLinesRead = 61;
// Its 61 lines take a few thousand bytes; a file beyond this size is not a settings file
// (a log or a device linked under its name) and is not read, nor is a data-set or
// tick-box file beyond it.
inline constexpr size_t kIniMaxBytes = 1024 * 1024;

// The settings file in the program's folder.
std::string IniFilePath();

// The lines a new settings file is created with.
const std::vector<std::string>& DefaultIniLines();

// The keys of the settings file, in the order the reader tests them and the writer
// writes them.
const std::vector<std::string>& IniKeys();

// A setting's storage; the pointer's type is the setting's type (Integer, Currency,
// Single, Boolean, String).
using SettingTarget = std::variant<int16_t*, Money*, float*, bool*, std::string*>;

// Binds a key of the settings file to a field owned above the core services (the
// connection settings, the reports' options), which the program registers at its start.
// The getter is asked at each use, so it reaches the owner's instance as it is then. A
// key not bound keeps the text last read for it and writes that text back. Binding a key
// the file does not have raises error 5.
void BindSetting(const std::string& key, SettingTarget (*target)());

// Applies one settings line to its setting. A line without "=" raises error 5, a number
// too large for its setting error 6, a bad truth value error 13; the setting then keeps
// its value.
void ParseIniLine(const std::string& line);

// Writes lines as the settings file at path. The file holds the company file's password,
// so it is created and rewritten readable by its owner only.
void WriteIniLines(const std::string& path, const std::vector<std::string>& lines);

// Rewrites the whole settings file with every key in table order. Raises the run-time
// error of a failed write; the old file is then left as it was.
void WriteIniFile();

// Gives a setting the value of its default line.
void ApplyDefaultSetting(const std::string& key);

// Longest company name, in characters, that the settings file may give. The main window
// and the printed headings shorten a name wider than the room they have; a longer one
// is taken for a line written by mistake.
inline constexpr size_t kMaxCompanyNameChars = 255;
// Whether a company name from the settings file is used: one neither empty (the default)
// nor longer than kMaxCompanyNameChars.
bool UsableCompanyName(const std::string& name);

// Applies one data-set line ("DS-CompanyName=..."). A line accepted with its "DS-"
// prefix loses the prefix in the caller's variable too. A company name that is not
// usable leaves the name as it is.
void ParseDataSetLine(std::string& line);

// Rewrites the data-set file, when one has been named. Raises on failure as WriteIniFile.
void WriteDataSetFile();

// Writes the settings file and the data-set file when the program ends. Any failure is
// told to the user in one message naming each file not written and why, once for each
// file and cause; the result says whether both were written.
bool SaveSettingsOnExit();

// While a report has connected company files of its own choosing through the user's
// connection (a group report reads each file of a folder so), the settings file and the
// data-set file are still to hold what Exit writes: the user's own company file, never the
// one the report connected. An object of this class, made while the user's own file is
// connected, keeps what they hold at that moment, and every write of them until it ends
// (the one at a signal, or Exit's while the report stops) writes that.
class UsersSettingsKept {
 public:
  UsersSettingsKept();
  ~UsersSettingsKept();
  UsersSettingsKept(const UsersSettingsKept&) = delete;
  UsersSettingsKept& operator=(const UsersSettingsKept&) = delete;

 private:
  bool keeping_ = false;  // an object made first keeps them
};

// Set at start-up when the settings file exists but cannot be read: the program runs on
// the default values and leaves the file alone at exit, so that the user can repair it.
struct SettingsFileState {
  bool unreadable = false;
};
SettingsFileState& SettingsFile();

// Removes the temporary files that an interrupted rewrite of the program's own files
// (the settings file, a data-set or tick-list file) left in the program folder, told by
// the mark of their names (sys::RewrittenFileName): a user's own copy such as
// "Tallymoor.Ini.backup" stays, and so does an unmarked leftover of an older program.
// And the scratch files of an interrupted workbook or PDF output
// (sys::RemoveLeftoverScratchFiles).
void RemoveStaleTemporaryFiles();

}  // namespace qvx
