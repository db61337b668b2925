// The SQL back-end entry points as this build has them, and the masking
// of passwords in connection strings before they are traced.
#include "velmora/upgrade/sql_entry.h"

#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/settings.h"

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

// "...key=secret;..." with the value masked; npos when the key is absent.
std::string MaskValue(std::string_view s, std::string_view key, std::string_view shown,
                      bool fromKey) {
  std::string lower = rt::Lower(s);
  size_t at = lower.find(key);
  if (at == std::string::npos) return {};
  size_t semi = s.find(';', fromKey ? at : at + key.size());
  return std::string(s.substr(0, at)) + std::string(shown) + std::string(kMask) +
         (semi == std::string_view::npos ? std::string() : std::string(s.substr(semi)));
}

}  // namespace

bool IsSqlServerCode(std::string_view code) {
  std::string up = rt::Upper(rt::Clip(code));
  return up == "MSS" || up == "ORA" || up == "ASA" || up == "ODB";
}

void CheckSQLFile(db::FileDecl&, std::string_view) {}

rt::Long ExecuteSQLStatement(std::string_view, rt::Long) { return 1; }

void ds_Error(rt::Long level, std::string_view id, std::string_view detail,
              std::string_view defaultText) {
  std::string text = std::string(defaultText) + std::string(detail);
  Trace(Flag::B, "ds_Error " + std::string(id) + ": " + text);
  if (level != 6) rt::Stop("RV3: " + text);
}

void LoadVersionInfoQueues(db::FileDecl&, rt::Short, std::string_view, std::string_view) {}

std::string ODBCFlavour() { return {}; }

std::string ds_EncryptOwner(std::string_view serverCode, std::string_view owner) {
  std::string code = rt::Upper(rt::Clip(serverCode));
  Trace(Flag::A, "ds_EncryptOwner IN: dr: " + code);
  std::string out;
  std::string_view o = owner;
  if (code == "MSS") {
    out = BeforeComma(o, 3) + "," + std::string(kMask);
  } else if (code == "ORA" && o.find(',') != std::string_view::npos) {
    out = std::string(o.substr(0, o.find(','))) + "," + std::string(kMask);
  } else if (code == "ORA") {
    size_t slash = o.find('/'), at = o.find('@');
    out = slash == std::string_view::npos
              ? std::string(kMask)
              : std::string(o.substr(0, slash + 1)) + std::string(kMask) +
                    (at == std::string_view::npos ? std::string() : std::string(o.substr(at)));
  } else if (code == "ODB") {
    out = MaskValue(o, "pwd=", "PWD=", true);
    if (out.empty()) out = MaskValue(o, "password=", "PASSWORD=", false);
    if (out.empty()) out = BeforeComma(o, 2) + "," + std::string(kMask);
  } else if (code == "ASA") {
    out = BeforeComma(o, 2) + "," + std::string(kMask);
  }
  out = out.substr(0, std::min<size_t>(out.size(), 255));
  Trace(Flag::A, "ds_EncryptOwner OUT: o: " + out);
  return out;
}

}  // namespace upg
