// The user's regional settings as the program sees them. The short-date picture
// (Windows style, such as "dd/MM/yyyy") is kept in a small per-user file under the XDG
// configuration folder; without that file it is derived from the C library's date format
// of LC_TIME. Reading and writing go through calls shaped like the locale calls the
// program was written against, so its date check reads them the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvx::locale {

inline constexpr uint32_t kLocaleUserDefault = 0x400;
inline constexpr uint32_t kLocaleSystemDefault = 0x800;
inline constexpr uint32_t kLocaleSShortDate = 0x1F;

// The one locale this system has: the user's.
uint32_t GetSystemDefaultLCID();

// The value of a locale item; the empty text when the item is not known (the call that
// reports nothing). Only the short-date picture is kept.
std::string GetLocaleInfo(uint32_t lcid, uint32_t type);

// Stores a locale item for the user; false when the item is not known or the file cannot
// be written (ShortDateFileProblem then says why).
bool SetLocaleInfo(uint32_t lcid, uint32_t type, std::string_view value);

// Tells running programs that a setting changed. Nothing listens on this system.
void BroadcastSettingChange();

// The short-date picture in force: the per-user file's, else the one derived from LC_TIME.
// The file is kept only in a folder that is the user's alone (a real folder, not a link,
// that no one else may write); one that fails is neither read nor written. Asked for
// every date written as text, this reads the file again only when it changed;
// GetLocaleInfo looks at the folder afresh.
std::string ShortDatePicture();

// Why the per-user file was passed over at the last read, or not written at the last
// write, naming the folder or file and the reason; empty when nothing went wrong.
std::string ShortDateFileProblem();

// The per-user file that holds the picture ($XDG_CONFIG_HOME/quorvex/short-date, with
// ~/.config when XDG_CONFIG_HOME is not set).
std::string ShortDateFilePath();

// A C library date format ("%d/%m/%y") as a Windows-style picture ("dd/MM/yy").
std::string PictureFromStrftime(std::string_view format);

// A date written with a Windows-style picture: d, dd, ddd, dddd, M, MM, MMM, MMMM, y, yy,
// yyyy and text in single quotes; any other character stands for itself.
std::string FormatDate(std::string_view picture, int year, int month, int day);

}  // namespace qvx::locale
