// The company-file driver's dialect: connection strings and SQL text as the program writes them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvx::driver {

// One "KEY=value" pair of a connection string: key upper-cased, key and value trimmed,
// a value in braces taken literally ("}}" standing for one "}").
struct ConnAttribute {
  std::string key;
  std::string value;
};

// Splits a connection string at the semicolons outside braces. A later repeat of a key
// is ignored (the first one counts, as with the driver manager). Returns nothing when a
// brace-quoted value is never closed.
std::optional<std::vector<ConnAttribute>> ParseConnectionString(std::string_view text);

// The first value of `key` (upper case) or nothing.
const std::string* FindAttribute(const std::vector<ConnAttribute>& attrs, std::string_view key);

// Rewrites the product's dialect into SQLite's, outside string literals, quoted names and
// comments: the schema prefix "MYOB." disappears and "=>" becomes ">=". Linear in the text.
std::string RewriteSql(std::string_view sql);

// The same, and also takes every whole-number literal that directly follows a comparison
// operator ("SetID = 123", "x >= -5") out of the text, leaving "?" in its place and the
// values in `literals`, so that statements differing only in such values share one
// prepared statement. (A bound integer compares exactly as the literal would.)
std::string RewriteSql(std::string_view sql, std::vector<long long>& literals);

// True when `rest` (the text after the first statement) holds anything but blanks,
// semicolons and comments.
bool HasFurtherStatement(std::string_view rest);

// Upper-cases ASCII letters.
std::string UpperAscii(std::string_view text);

}  // namespace qvx::driver
