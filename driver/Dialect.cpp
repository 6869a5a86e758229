#include "driver/Dialect.h"

#include <cctype>

namespace qvx::driver {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

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

std::string RewriteSql(std::string_view sql) {
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
    char c = sql[i];
    if (c == '\'' ) {
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
    } else if ((c == 'M' || c == 'm') && i + 5 <= n && (i == 0 || !IsWordChar(sql[i - 1])) &&
               UpperAscii(sql.substr(i, 5)) == "MYOB.") {
      i += 5;
    } else if (IsWordChar(c)) {
      while (i < n && IsWordChar(sql[i])) out += sql[i++];
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

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
