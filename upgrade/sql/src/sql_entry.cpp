// The ODBC flavour, the server codes and the
// masking of passwords in connection strings before they are traced.
#include "velmora/upgrade/sql_entry.h"

#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_exec.h"

namespace upg {
namespace {

constexpr std::string_view kMask = "****************";

// The clipped text before the n-th comma (the whole clipped text when
// there are fewer).
std::string BeforeComma(std::string_view s, int n) {
  size_t at = std::string_view::npos, from = 0;
  for (int i = 0; i < n; ++i) {
    at = s.find(',', from);
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  return rt::Clip(at == std::string_view::npos ? s : s.substr(0, at));
}

// Where the value of a "key=" setting that starts at `at` ends (past its
// closing quote or brace; at the next ";" otherwise); npos when no "="
// follows the key (blanks allowed around it).
size_t ValueEnd(std::string_view s, size_t at, size_t keyLen) {
  size_t p = at + keyLen;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
  if (p >= s.size() || s[p] != '=') return std::string_view::npos;
  ++p;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
  if (p < s.size() && (s[p] == '\'' || s[p] == '"' || s[p] == '{')) {
    char close = s[p] == '{' ? '}' : s[p];
    for (size_t q = p + 1; q < s.size(); ++q) {
      if (s[q] != close) continue;
      if (close != '}' && q + 1 < s.size() && s[q + 1] == close) {
        ++q;  // a doubled quote stands for one
        continue;
      }
      return q + 1;
    }
    return s.size();  // never closed: all of the rest is the value
  }
  size_t semi = s.find(';', p);
  return semi == std::string_view::npos ? s.size() : semi;
}

}  // namespace

bool IsSqlServerCode(std::string_view code) {
  std::string up = rt::Upper(rt::Clip(code));
  return up == "MSS" || up == "ORA" || up == "ASA" || up == "ODB";
}

std::string ODBCFlavour() { return {}; }

std::string MaskPasswords(std::string_view text) {
  std::string out;
  std::string lower = rt::Lower(text);
  size_t from = 0, p = 0;
  while (p < text.size()) {
    size_t keyLen = lower.compare(p, 8, "password") == 0 ? 8
                    : lower.compare(p, 3, "pwd") == 0    ? 3
                                                         : 0;
    size_t end = keyLen ? ValueEnd(text, p, keyLen) : std::string_view::npos;
    if (end == std::string_view::npos) {
      ++p;
      continue;
    }
    out += text.substr(from, p - from);
    out += keyLen == 8 ? "PASSWORD=" : "PWD=";
    out += kMask;
    from = p = end;
  }
  out += text.substr(from);
  return out;
}

std::string ds_EncryptOwner(std::string_view serverCode, std::string_view owner) {
  std::string code = rt::Upper(rt::Clip(serverCode));
  Trace(Flag::A, "ds_EncryptOwner IN: dr: " + code);
  std::string out;
  std::string_view o = owner;
  std::string keyed = MaskPasswords(owner);
  if (!IsSqlServerCode(code)) {
    // Not a server's connection string: nothing of it is shown.
  } else if (keyed != owner) {
    out = keyed;  // "...;PWD=x;..." in any server's string
  } else if (code == "MSS") {
    out = BeforeComma(o, 3) + "," + std::string(kMask);
  } else if (code == "ORA" && o.find(',') != std::string_view::npos) {
    out = std::string(o.substr(0, o.find(','))) + "," + std::string(kMask);
  } else if (code == "ORA") {
    // The service follows the last at sign: a password may hold one.
    size_t slash = o.find('/'), at = o.rfind('@');
    if (at != std::string_view::npos && at < slash) at = std::string_view::npos;
    out = slash == std::string_view::npos
              ? std::string(kMask)
              : std::string(o.substr(0, slash + 1)) + std::string(kMask) +
                    (at == std::string_view::npos ? std::string() : std::string(o.substr(at)));
  } else if (code == "ODB" || code == "ASA") {
    out = BeforeComma(o, 2) + "," + std::string(kMask);
  }
  out = out.substr(0, std::min<size_t>(out.size(), 255));
  Trace(Flag::A, "ds_EncryptOwner OUT: o: " + out);
  return out;
}

}  // namespace upg
