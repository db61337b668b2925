// Reading connection strings: settings, password settings and the
// positional password fields of each server's owner forms.
#include "velmora/sql_owner.h"

#include <cctype>

namespace velmora::sql {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

size_t skipBlanks(std::string_view s, size_t p) {
  while (p < s.size() && blank(s[p])) ++p;
  return p;
}

// Reads the value that starts at `p`: quoted with ' or " (a doubled quote
// stands for one), braced, or up to the next ";" with its blanks dropped.
// A quote or brace never closed takes the rest of the text. Returns where
// the value ends.
size_t readValue(std::string_view s, size_t p, std::string& value) {
  value.clear();
  if (p < s.size() && (s[p] == '\'' || s[p] == '"' || s[p] == '{')) {
    char close = s[p] == '{' ? '}' : s[p];
    for (size_t q = p + 1; q < s.size(); ++q) {
      if (s[q] != close) {
        value.push_back(s[q]);
      } else if (close != '}' && q + 1 < s.size() && s[q + 1] == close) {
        value.push_back(close);
        ++q;
      } else {
        return q + 1;
      }
    }
    return s.size();
  }
  size_t semi = s.find(';', p);
  size_t end = semi == std::string_view::npos ? s.size() : semi;
  size_t last = end;
  while (last > p && blank(s[last - 1])) --last;
  value.assign(s.substr(p, last - p));
  return end;
}

// The comma-separated field `n` (0-based) of a text, as a setting without
// a key; false when the text has fewer fields.
bool commaField(std::string_view s, size_t n, Setting& out) {
  size_t begin = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t comma = s.find(',', begin);
    if (comma == std::string_view::npos) return false;
    begin = comma + 1;
  }
  size_t comma = s.find(',', begin);
  size_t end = comma == std::string_view::npos ? s.size() : comma;
  out = Setting{{}, begin, begin, end, std::string(s.substr(begin, end - begin))};
  return true;
}

}  // namespace

std::string serverCode(std::string_view driver) {
  std::string d = upper(driver);
  if (d == "MSSQL") return "MSS";
  if (d == "ORACLE") return "ORA";
  if (d == "SQLANYWHERE") return "ASA";
  if (d == "ODBC") return "ODB";
  return d;
}

std::vector<Setting> ownerSettings(std::string_view owner) {
  std::vector<Setting> out;
  size_t i = 0;
  while (i < owner.size()) {
    size_t eq = owner.find('=', i);
    if (eq == std::string_view::npos) break;
    Setting s;
    size_t keyBegin = skipBlanks(owner, i), keyEnd = eq;
    while (keyEnd > keyBegin && blank(owner[keyEnd - 1])) --keyEnd;
    s.key = upper(owner.substr(keyBegin, keyEnd - keyBegin));
    s.begin = keyBegin;
    s.valueBegin = skipBlanks(owner, eq + 1);
    s.end = readValue(owner, s.valueBegin, s.value);
    if (!s.key.empty()) out.push_back(s);
    size_t semi = owner.find(';', s.end);
    if (semi == std::string_view::npos) break;
    i = semi + 1;
  }
  return out;
}

std::vector<Setting> passwordSettings(std::string_view text) {
  std::vector<Setting> out;
  std::string up = upper(text);
  size_t p = 0;
  while (p < text.size()) {
    size_t keyLen = up.compare(p, 8, "PASSWORD") == 0 ? 8 : up.compare(p, 3, "PWD") == 0 ? 3 : 0;
    size_t eq = keyLen ? skipBlanks(text, p + keyLen) : text.size();
    if (eq >= text.size() || text[eq] != '=') {
      ++p;
      continue;
    }
    Setting s;
    s.key = up.substr(p, keyLen);
    s.begin = p;
    s.valueBegin = skipBlanks(text, eq + 1);
    s.end = readValue(text, s.valueBegin, s.value);
    out.push_back(s);
    p = s.end;
  }
  return out;
}

std::vector<Setting> ownerPasswords(std::string_view owner, std::string_view driver) {
  std::vector<Setting> keyed = passwordSettings(owner);
  if (!keyed.empty()) return keyed;
  std::string code = serverCode(driver);
  Setting s;
  if (code == "MSS") {
    if (commaField(owner, 3, s)) return {s};
  } else if (code == "ASA" || code == "ODB") {
    if (commaField(owner, 2, s)) return {s};
  } else if (code == "ORA") {
    if (owner.find(',') != std::string_view::npos) {
      if (commaField(owner, 1, s)) return {s};
    } else if (size_t slash = owner.find('/'); slash != std::string_view::npos) {
      size_t at = owner.rfind('@');
      size_t end = at == std::string_view::npos || at < slash ? owner.size() : at;
      return {Setting{{}, slash + 1, slash + 1, end, std::string(owner.substr(slash + 1, end - slash - 1))}};
    }
  }
  return {};
}

}  // namespace velmora::sql
