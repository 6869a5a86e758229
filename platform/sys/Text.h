// Text encodings: the Windows-1252 code page that company files and settings files
// written on Windows hold, and UTF-8, the program's own. Free of Qt, so that the
// company-file driver can use it as well.
#pragma once

#include <string>
#include <string_view>

namespace qvx::sys {

// Windows-1252 bytes to UTF-8 and back. The five bytes the code page leaves undefined
// map to the control characters of the same value, so any byte survives a round trip;
// a character the code page cannot hold is written as "?".
std::string FromCp1252(std::string_view bytes);
std::string ToCp1252(std::string_view utf8);

// True when the bytes are well-formed UTF-8: shortest forms only, no surrogates, nothing
// above U+10FFFF.
bool IsUtf8(std::string_view bytes);

// The next code point of UTF-8 text from byte i, which moves past it; a byte that does
// not start a well-formed sequence gives U+FFFD and moves one byte on.
char32_t NextCodePoint(std::string_view s, size_t& i);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace qvx::sys
