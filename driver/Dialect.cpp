#include "driver/Dialect.h"

#include <array>
#include <cctype>

namespace qvx::driver {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A table, since the rewrite asks this of every character of every statement.
constexpr auto kWordChars = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c)
    t[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c >= 0x80;
  return t;
}();

bool IsWordChar(char c) { return kWordChars[static_cast<unsigned char>(c)]; }

// What the rewrite must look at: a character of a word, a digit, an 'M' (the schema
// prefix), a character that may open a quote, a comment or "=>", or anything else.
enum CharClass : unsigned char { kOther, kWord, kDigit, kLetterM, kSpecial };
constexpr auto kClasses = [] {
  std::array<CharClass, 256> t{};
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9') t[c] = kDigit;
    else if (c == 'M' || c == 'm') t[c] = kLetterM;
    else if (kWordChars[c]) t[c] = kWord;
    else if (c == '\'' || c == '"' || c == '`' || c == '[' || c == '-' || c == '/' || c == '=') t[c] = kSpecial;
  }
  return t;
}();

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::vector<ConnAttribute>> ParseConnectionString(std::string_view text) {
  std::vector<ConnAttribute> attrs;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // Key: up to '=' or ';'.
    size_t keyStart = i;
    while (i < n && text[i] != '=' && text[i] != ';') ++i;
    std::string_view key = Trim(text.substr(keyStart, i - keyStart));
    std::string value;
    if (i < n && text[i] == '=') {
      ++i;
      size_t j = i;
      while (j < n && IsBlank(text[j])) ++j;
      if (j < n && text[j] == '{') {
        ++j;
        bool closed = false;
        while (j < n) {
          if (text[j] == '}') {
            if (j + 1 < n && text[j + 1] == '}') {
              value += '}';
              j += 2;
              continue;
            }
            closed = true;
            ++j;
            break;
          }
          value += text[j++];
        }
        if (!closed) return std::nullopt;
        // Anything after the closing brace up to the separator must be blank.
        while (j < n && text[j] != ';') {
          if (!IsBlank(text[j])) return std::nullopt;
          ++j;
        }
        i = j;
      } else {
        size_t valStart = i;
        while (i < n && text[i] != ';') ++i;
        value = std::string(Trim(text.substr(valStart, i - valStart)));
      }
    }
    if (i < n && text[i] == ';') ++i;
    if (key.empty()) continue;
    std::string ukey = UpperAscii(key);
    if (FindAttribute(attrs, ukey) == nullptr) attrs.push_back({std::move(ukey), std::move(value)});
  }
  return attrs;
}

const std::string* FindAttribute(const std::vector<ConnAttribute>& attrs, std::string_view key) {
  for (const auto& a : attrs) {
    if (a.key == key) return &a.value;
  }
  return nullptr;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithMyob(std::string_view s, size_t i) {
  if (i + 5 > s.size()) return false;
  return (s[i] == 'M' || s[i] == 'm') && (s[i + 1] == 'Y' || s[i + 1] == 'y') && (s[i + 2] == 'O' || s[i + 2] == 'o') &&
         (s[i + 3] == 'B' || s[i + 3] == 'b') && s[i + 4] == '.';
}

// Index of the last character of `out` that is not blank (npos when none).
size_t LastSignificant(const std::string& out) {
  size_t j = out.size();
  while (j > 0 && IsBlank(out[j - 1])) --j;
  return j == 0 ? std::string::npos : j - 1;
}

std::string Rewrite(std::string_view sql, std::vector<long long>* literals) {
  std::string out;
  out.reserve(sql.size());
  const size_t n = sql.size();
  size_t i = 0;
  auto copyQuoted = [&](char close) {
    // Copies a quoted run starting at sql[i] (the opening quote); a doubled closing quote
    // stays inside. An unterminated run is copied to the end for SQLite to report.
    out += sql[i++];
    while (i < n) {
      char c = sql[i++];
      out += c;
      if (c == close) {
        if (close != ']' && i < n && sql[i] == close) {
          out += sql[i++];
          continue;
        }
        return;
      }
    }
  };
  while (i < n) {
    // Everything up to the next place that needs a look is copied at once: the statements
    // are hundreds of characters, sent once per look-up.
    size_t run = i;
    bool inWord = i > 0 && IsWordChar(sql[i - 1]);
    while (run < n) {
      const CharClass k = kClasses[static_cast<unsigned char>(sql[run])];
      if (k == kOther || k == kWord) {
        inWord = k == kWord;
      } else if (k == kDigit) {
        if (!inWord && literals != nullptr) break;
        inWord = true;
      } else if (k == kLetterM) {
        if (!inWord && StartsWithMyob(sql, run)) break;
        inWord = true;
      } else {
        const char c = sql[run];
        const char next = run + 1 < n ? sql[run + 1] : '\0';
        if (c != '-' && c != '/' && c != '=') break;
        if ((c == '-' && next == '-') || (c == '/' && next == '*') || (c == '=' && next == '>')) break;
        inWord = false;
      }
      ++run;
    }
    if (run > i) {
      out.append(sql.substr(i, run - i));
      i = run;
      continue;
    }
    char c = sql[i];
    if (c == '\'') {
      copyQuoted('\'');
    } else if (c == '"') {
      copyQuoted('"');
    } else if (c == '`') {
      copyQuoted('`');
    } else if (c == '[') {
      copyQuoted(']');
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') out += sql[i++];
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t end = sql.find("*/", i + 2);
      size_t stop = end == std::string_view::npos ? n : end + 2;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '=' && i + 1 < n && sql[i + 1] == '>') {
      out += ">=";
      i += 2;
    } else if (StartsWithMyob(sql, i) && (i == 0 || !IsWordChar(sql[i - 1]))) {
      i += 5;
    } else if (IsDigit(c) && literals != nullptr) {
      size_t end = i;
      while (end < n && IsDigit(sql[end])) ++end;
      bool whole = end - i <= 18 && (end >= n || (!IsWordChar(sql[end]) && sql[end] != '.'));
      size_t last = LastSignificant(out);
      bool negative = false;
      if (whole && last != std::string::npos && out[last] == '-') {
        size_t before = last == 0 ? std::string::npos : LastSignificant(out.substr(0, last));
        if (before != std::string::npos && (out[before] == '=' || out[before] == '<' || out[before] == '>')) {
          negative = true;
          out.resize(last);
          last = before;
        }
      }
      if (whole && last != std::string::npos && (out[last] == '=' || out[last] == '<' || out[last] == '>')) {
        long long v = 0;
        for (size_t k = i; k < end; ++k) v = v * 10 + (sql[k] - '0');
        literals->push_back(negative ? -v : v);
        out += '?';
      } else {
        if (negative) out += '-';
        out.append(sql.substr(i, end - i));
      }
      i = end;
    } else if (IsWordChar(c)) {
      while (i < n && IsWordChar(sql[i])) out += sql[i++];
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string RewriteSql(std::string_view sql) { return Rewrite(sql, nullptr); }

std::string RewriteSql(std::string_view sql, std::vector<long long>& literals) { return Rewrite(sql, &literals); }

bool HasFurtherStatement(std::string_view rest) {
  size_t i = 0;
  const size_t n = rest.size();
  while (i < n) {
    char c = rest[i];
    if (IsBlank(c) || c == ';') {
      ++i;
    } else if (c == '-' && i + 1 < n && rest[i + 1] == '-') {
      while (i < n && rest[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && rest[i + 1] == '*') {
      size_t end = rest.find("*/", i + 2);
      if (end == std::string_view::npos) return true;
      i = end + 2;
    } else {
      return true;
    }
  }
  return false;
}

}  // namespace qvx::driver
