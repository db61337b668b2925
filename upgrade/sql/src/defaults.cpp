// Column defaults (BlankZero and SetIfNew) and Oracle tablespaces.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "statement_text.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/server_structure.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_check.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sql_statements.h"

namespace upg {

std::vector<IdentityField>& IQ() {
  static std::vector<IdentityField> q;
  return q;
}
std::vector<BlankZeroFile>& BFILQ() {
  static std::vector<BlankZeroFile> q;
  return q;
}
std::vector<BlankZeroField>& BFQ() {
  static std::vector<BlankZeroField> q;
  return q;
}
std::vector<SetIfNewValue>& ITQ() {
  static std::vector<SetIfNewValue> q;
  return q;
}
std::vector<SpaceRow>& TSQ() {
  static std::vector<SpaceRow> q;
  return q;
}
std::vector<SpaceRow>& ISQ() {
  static std::vector<SpaceRow> q;
  return q;
}
std::vector<FileFlag>& DMKF() {
  static std::vector<FileFlag> q;
  return q;
}

namespace {

constexpr std::string_view kNumeric[] = {"byte", "decimal", "pdecimal", "long", "ulong",
                                         "real", "short", "ushort", "sreal"};

// A plain decimal number: the only text written bare as a default.
bool IsNumber(std::string_view text) {
  size_t i = 0, digits = 0;
  bool point = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  for (; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])))
      ++digits;
    else if (text[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  return digits > 0;
}

bool BlankZeroCheck(const std::string& fieldKey) {
  Trace(Flag::B, "BlankZero Check... DictBlankZero: " + std::to_string(CurrentOptions().dictBlankZero));
  std::string file = rt::Lower(rt::Clip(SqlCheck().tableLabel));
  rt::Byte answer = CurrentOptions().dictBlankZero;
  auto f = std::find_if(BFILQ().begin(), BFILQ().end(),
                        [&](const BlankZeroFile& r) { return rt::Lower(rt::Clip(r.fileName)) == file; });
  if (f != BFILQ().end())
    answer = f->value;
  else
    Trace(Flag::B, "No BlankZero File value found! " + file);
  auto q = std::find_if(BFQ().begin(), BFQ().end(),
                        [&](const BlankZeroField& r) { return rt::Lower(rt::Clip(r.fieldName)) == fieldKey; });
  if (q != BFQ().end())
    answer = q->value;
  else
    Trace(Flag::B, "No BlankZero Field value found! " + fieldKey);
  Trace(Flag::B, "BlankZero Check... OUT: " + std::to_string(answer));
  return answer != 0;
}

}  // namespace

std::string DefaultExtra(std::string_view name, std::string_view type, Dialect d) {
  Trace(Flag::B, "DefaultExtra IN: " + std::string(name) + " " + std::string(type));
  std::string typeName = rt::Lower(rt::Trim(type.substr(0, type.find('('))));
  bool numeric = std::find(std::begin(kNumeric), std::end(kNumeric), typeName) != std::end(kNumeric);
  // No server takes an empty text as a date or a time.
  bool temporal = typeName == "date" || typeName == "time";
  Trace(Flag::B, std::string("isnum: ") + (numeric ? "1" : "0"));
  const std::string prefix = rt::Clip(FilePrefix());
  std::string result;
  if (BlankZeroCheck(rt::Lower(prefix + ":" + rt::Trim(name)))) {
    Trace(Flag::B, "Make blank / zero!");
    if (numeric)
      result = "0";
    else if (!temporal)
      result = SqlLiteral(d, "");
  }
  Trace(Flag::B, "Checking SetIfNew Q: " + std::to_string(ITQ().size()));
  if (!ITQ().empty()) {
    std::string key = rt::Upper(prefix + ":" + rt::Trim(name));
    Trace(Flag::B, "Checking SetIfNew: " + key);
    auto it = std::find_if(ITQ().begin(), ITQ().end(),
                           [&](const SetIfNewValue& r) { return rt::Upper(rt::Clip(r.name)) == key; });
    if (it == ITQ().end()) {
      if (rt::Upper(name).find("GUID") != std::string::npos)
        Trace(Flag::C, "New GUID field detected... SQL needs code generated to insert each row with a GUID!");
    } else if (rt::Upper(rt::Trim(it->value)) == "AUTONUMBER") {
      Trace(Flag::C, "SetIfNew AUTONUMBER field detected... RV3 does not support this feature.");
      result.clear();
    } else {
      std::string value = rt::Clip(it->value);
      result = numeric && IsNumber(rt::Trim(value)) ? rt::Trim(value) : SqlLiteral(d, value);
      Trace(Flag::B, "Setting new: " + result);
    }
  }
  Trace(Flag::B, "DefaultExtra OUT: " + result);
  return result;
}

std::string GetTableSpace(std::string_view name, std::string_view kind) {
  Trace(Flag::A, "-- Start of GetTableSpace: obj " + std::string(name) + " ti " + std::string(kind) + " --");
  std::vector<SpaceRow>* list = kind == "T" ? &TSQ() : kind == "I" ? &ISQ() : nullptr;
  std::string result;
  if (list) {
    auto find = [&](const std::string& wanted) {
      return std::find_if(list->begin(), list->end(),
                          [&](const SpaceRow& r) { return rt::Upper(rt::Clip(r.name)) == wanted; });
    };
    auto row = find(rt::Upper(rt::Clip(name)));
    if (row == list->end()) row = find(kind == "T" ? "DCTTBLSPC_" : "DCTIDXSPC_");
    if (row != list->end()) {
      result = rt::Clip(row->space);
      if (FindTableSpace(result) == 0 && CreateTableSpace(result, row->dir, row->size) != 0)
        ReportSql(kM29, result);
    }
  }
  Trace(Flag::A, "-- End of GetTableSpace " + result + " --");
  return result;
}

rt::Long FindTableSpace(std::string_view name) {
  Trace(Flag::A, "-- Start of FindTableSpace " + std::string(name) + " --");
  rt::Long result = 0;
  if (ExecuteSQLStatement("select TABLESPACE_NAME from user_tablespaces where TABLESPACE_NAME = " +
                              SqlLiteral(Dialect::Oracle, rt::Clip(name)),
                          0) != 1 &&
      NextResultRow())
    result = 1;
  Trace(Flag::A, "-- End of FindTableSpace " + std::to_string(result) + " --");
  return result;
}

rt::Long CreateTableSpace(std::string_view name, std::string_view dataFile, std::string_view size) {
  Trace(Flag::A, "-- Start of CreateTableSpace  --");
  // The size is a number with an optional K, M or G: nothing else may
  // reach the statement unquoted.
  std::string sz = rt::Trim(size);
  bool sizeOk = !sz.empty() && IsNumber(sz.substr(0, sz.size() - (std::isalpha(static_cast<unsigned char>(sz.back())) ? 1 : 0)));
  if (sizeOk && std::isalpha(static_cast<unsigned char>(sz.back())))
    sizeOk = std::string_view("KMGkmg").find(sz.back()) != std::string_view::npos;
  rt::Long result = 1;
  if (sizeOk) {
    std::string sql = "Create TableSpace " + SqlIdentifier(Dialect::Oracle, rt::Clip(name)) +
                      "  Logging  Datafile " + SqlLiteral(Dialect::Oracle, rt::Clip(dataFile)) + "  Size " +
                      sz + "  Extent Management Local";
    result = ExecuteSQLStatement(sql, 1) == 1 ? 1 : 0;
  }
  Trace(Flag::A, "-- End of CreateTableSpace  --");
  return result;
}

}  // namespace upg
