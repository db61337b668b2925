// The INSERT lists of a conversion into an SQL table, and the record
// copy's entry points into them.
#include <algorithm>
#include <cstring>

#include "copy_internal.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/picture.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg {
namespace {

using T = db::Type;

// A plain decimal number: what a numeric column takes unquoted.
bool PlainNumber(std::string_view s) {
  size_t i = 0, digits = 0;
  if (i < s.size() && s[i] == '-') ++i;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      ++digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits > 0;
}

const uint8_t* DestBytes(const CopyContext& cx, const FieldRow& dst) {
  return cx.destRecord + dst.offset - 1 + cx.destOffset;
}

template <typename V>
V Read(const uint8_t* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The text the destination field holds after the conversion.
std::string DestText(const CopyContext& cx, const FieldRow& dst) {
  const char* p = reinterpret_cast<const char*>(DestBytes(cx, dst));
  switch (static_cast<T>(dst.type)) {
    case T::CString: return std::string(p, strnlen(p, dst.len));
    case T::PString: {
      size_t n = dst.len ? std::min<size_t>(static_cast<uint8_t>(p[0]), dst.len - 1) : 0;
      return std::string(p + 1, n);
    }
    default: return std::string(p, dst.len);
  }
}

DateTimePair* FindPair(std::string_view key, bool date) {
  for (DateTimePair& r : DateTimeQueue())
    if ((date ? r.dateName : r.timeName) == key) return &r;
  return nullptr;
}

// A date or time member of a date-time pair keeps its text in the pair.
void UpdatePair(std::string_view text, const FieldRow& dst, bool date, const char* tag) {
  std::string key = rt::Upper(rt::Clip(dst.name));
  DateTimePair* r = FindPair(key, date);
  if (!r) {
    Trace(Flag::B, "Entry does not exist in q: " + key);
    return;
  }
  (date ? r->dateValue : r->timeValue) = std::string(text);
  TraceIf(Flag::C, [&] {
    return std::string("Updated DateTimeQ ") + (date ? "DATE" : "TIME") + tag + ": " + key + " " +
           std::string(text);
  });
}

void AddLiteral(CopyContext& cx, std::string_view text) {
  AppendColumnName();
  cx.valueText = Insert().separator + SqlLiteral(InsertDialect(), text);
  AppendValue(cx);
}

// The shared rule of DATE and TIME values: `null` and `text` as computed.
void InsertDateOrTime(CopyContext& cx, const FieldRow& dst, bool null, const std::string& text,
                      bool date) {
  if (ZeroNullState() == 1 && null) {
    if (dst.overed == 1) {
      if (DateTimePair* r = FindPair(rt::Upper(rt::Clip(dst.name)), date))
        (date ? r->dateValue : r->timeValue).clear();
    }
    return;  // the column is left out: NULL
  }
  if (dst.overed == 1) {
    UpdatePair(null ? std::string() : text, dst, date, ZeroNullState() == 1 ? "[1]" : "[2]");
    return;
  }
  AddLiteral(cx, null ? std::string() : text);
}

// A string that carries a date-time pair is stored as the pair's column:
// its own column is left out, and the pair takes the DATE and TIME its
// bytes hold (the group lies over them). True when `dst` is such a string.
bool PairString(CopyContext& cx, const FieldRow& dst) {
  std::string key = rt::Upper(rt::Clip(dst.name));
  for (const DateTimePair& r : DateTimeQueue()) {
    if (r.stringName != key) continue;
    if (dst.len >= 8) {
      const uint8_t* p = DestBytes(cx, dst);
      FieldRow part;
      part.overed = 1;
      part.name = r.dateName;
      InsertDateValue(cx, part, rt::UnpackDate(Read<uint32_t>(p)));
      part.name = r.timeName;
      InsertTimeValue(cx, part, rt::UnpackTime(Read<uint32_t>(p + 4)));
    }
    return true;
  }
  return false;
}

}  // namespace

InsertLists& Insert() {
  static InsertLists lists;
  return lists;
}

void ClearInsertLists() {
  Insert().names.clear();
  Insert().values.clear();
  Insert().separator = "  ";
}

Dialect& InsertDialect() {
  static Dialect d = Dialect::Odbc;
  return d;
}
rt::Long& DatePicture() {
  static rt::Long p = 12;
  return p;
}
rt::Byte& ZeroNullState() {
  static rt::Byte z = 0;
  return z;
}
std::vector<DateTimePair>& DateTimeQueue() {
  static std::vector<DateTimePair> q;
  return q;
}
std::vector<ForcedType>& ForcedTypes() {
  static std::vector<ForcedType> q;
  return q;
}

void SetValueSeparator() { Insert().separator = Insert().names.empty() ? "  " : ", "; }

void AppendColumnName() {
  InsertLists& l = Insert();
  // A name declared between double quotes is that exact name.
  std::string name = rt::Clip(l.column);
  std::string column = QuotedName(name) ? SqlExactIdentifier(InsertDialect(), name.substr(1, name.size() - 2))
                                        : SqlIdentifier(InsertDialect(), name);
  if (l.names.empty())
    l.names = column;
  else
    l.names += l.separator + column;
}

void AppendValue(CopyContext& cx) { Insert().values += rt::Clip(cx.valueText); }

void BuildColumnName(const FieldRow& dst) {
  std::string& column = Insert().column;
  std::string ext = rt::Clip(dst.extName);
  if (ext.empty()) {
    column = rt::Clip(dst.name);
  } else {
    std::string up = rt::Upper(ext);
    size_t at = up.find("READONLY");
    const char* word = "READONLY";
    if (at == std::string::npos) at = up.find("BINARY"), word = "BINARY";
    if (at != std::string::npos) {
      TraceIf(Flag::C, [&] {
        return std::string(word) + " Field detected [1]: " + ext + " " + up;
      });
      column = ext.substr(0, at >= 1 ? at - 1 : 0);
    } else {
      column = ext;
    }
  }
  column = rt::Clip(column);
  Trace(Flag::B, "FieldName: " + column);
  if (dst.overed != 1) {
    size_t colon = column.find(':');
    if (colon != std::string::npos) column = column.substr(colon + 1);
  }
  if (QuotedName(column))
    column = "\"" + ServerName(InsertDialect(), column.substr(1, column.size() - 2)) + "\"";
  else
    column = ServerName(InsertDialect(), column);
}

void ZeroNullCheck(const FieldRow& dst) {
  rt::Byte dict = CurrentOptions().dictZeroNull;
  Trace(Flag::B, "ZeroNull Check... DictZeroNull: " + std::to_string(dict));
  ZeroNullState() = dict;
  TraceIf(Flag::B, [&] {
    return "No ZeroNull Field value found! " + rt::Lower(rt::Clip(dst.name));
  });
}

void ApplyZeroNull(CopyContext& cx) {
  cx.nullFlag = cx.emptyFlag == 1 && ZeroNullState() == 1 ? 1 : 0;
}

void InsertQuotedValue(CopyContext& cx) {
  std::string value;
  if (cx.binaryFlag) {
    value = HexLiteral(InsertDialect(), reinterpret_cast<const uint8_t*>(cx.stringValue.data()),
                       cx.stringValue.size());
    cx.binaryFlag = 0;
  } else {
    value = SqlLiteral(InsertDialect(), rt::Clip(cx.stringValue));
  }
  Insert().values += Insert().separator + value;
}

void InsertStringValue(CopyContext& cx) {
  std::string text = rt::Clip(cx.resultText);
  if (text.empty() && ZeroNullState() == 1) return;
  AddLiteral(cx, text);
}

void InsertNumberValue(CopyContext& cx) {
  std::string text = rt::Trim(cx.resultText);
  if (rt::TextToReal(text) == 0 && ZeroNullState() == 1) return;
  AppendColumnName();
  if (text.empty()) text = "0";
  cx.valueText = Insert().separator +
                 (PlainNumber(text) ? text : SqlLiteral(InsertDialect(), text));
  AppendValue(cx);
}

void InsertAutoNumberValue(CopyContext& cx, bool isUnsigned) {
  if (cx.integerValue == 0 && ZeroNullState() == 1) return;
  AppendColumnName();
  long long v = isUnsigned ? static_cast<long long>(static_cast<uint32_t>(cx.integerValue))
                           : cx.integerValue;
  cx.valueText = Insert().separator + rt::IntToText(v);
  AppendValue(cx);
}

void InsertDateValue(CopyContext& cx, const FieldRow& dst, rt::Long day) {
  TraceIf(Flag::C, [&] {
    return "DATETYPE: ZeroNull: " + std::to_string(ZeroNullState()) +
           ", over: " + std::to_string(dst.overed) + ", setnew: 0, ehdate: " + std::to_string(day);
  });
  bool null = day == 0;
  std::string text = null ? std::string()
                          : rt::Clip(rt::Format(day, DatePicture() == 10 ? "@d10" : "@d12"));
  if (!null && text.empty() && ZeroNullState() == 1)
    Trace(Flag::B, "NULL DATE detected: " + rt::Clip(dst.name) + " = " + text);
  InsertDateOrTime(cx, dst, null, text, true);
}

void InsertTimeValue(CopyContext& cx, const FieldRow& dst, rt::Long time) {
  TraceIf(Flag::C, [&] {
    return "TIMETYPE: ZeroNull: " + std::to_string(ZeroNullState()) +
           ", over: " + std::to_string(dst.overed) + ", setnew: 0, ehtime: " + std::to_string(time);
  });
  // Only under ZeroNull is a zero time a null; otherwise it formats blank.
  bool null = time == 0 && ZeroNullState() == 1;
  std::string text = rt::Clip(rt::Format(time, "@t4"));
  InsertDateOrTime(cx, dst, null, text, false);
}

// ---------------------------------------------------------------- entry points

void BeginColumn(CopyContext&, const FieldRow& dst) {
  BuildColumnName(dst);
  ZeroNullCheck(dst);
}

rt::Byte GetBinaryFlag(const FieldRow& dst) {
  if (ForcedTypes().empty()) return 0;
  std::string key = rt::Upper(rt::Clip(dst.name));
  for (const ForcedType& f : ForcedTypes())
    if (f.field == key) return f.isBinary;
  return 0;
}

void InsertText(CopyContext& cx, const FieldRow& dst) {
  if (PairString(cx, dst)) return;
  ApplyZeroNull(cx);
  if (cx.nullFlag) return;
  // The value is what the destination holds: at most its own length.
  size_t room = cx.stringValue.size();
  if (dst.type == uint8_t(T::String)) room = dst.len;
  if (dst.type == uint8_t(T::CString) || dst.type == uint8_t(T::PString))
    room = dst.len ? dst.len - 1 : 0;
  if (cx.stringValue.size() > room) cx.stringValue.resize(room);
  SetValueSeparator();
  AppendColumnName();
  InsertQuotedValue(cx);
}

void InsertValue(CopyContext& cx, const FieldRow& dst) {
  if (PairString(cx, dst)) return;
  SetValueSeparator();
  const uint8_t* p = DestBytes(cx, dst);
  switch (static_cast<T>(dst.type)) {
    case T::Byte: cx.integerValue = p[0]; break;
    case T::UShort: cx.integerValue = Read<uint16_t>(p); break;
    case T::Short: cx.integerValue = Read<int16_t>(p); break;
    case T::Long:
    case T::ULong: cx.integerValue = Read<int32_t>(p); break;
    case T::Date: InsertDateValue(cx, dst, rt::UnpackDate(Read<uint32_t>(p))); return;
    case T::Time: InsertTimeValue(cx, dst, rt::UnpackTime(Read<uint32_t>(p))); return;
    case T::SReal:
    case T::Real:
    case T::Decimal:
    case T::PDecimal: {
      T t = static_cast<T>(dst.type);
      if (t == T::SReal)
        cx.resultText = rt::RealToText(Read<float>(p));
      else if (t == T::Real)
        cx.resultText = rt::RealToText(Read<double>(p));
      else if (t == T::Decimal)
        cx.resultText = TrimNumberText(DecimalToText(p, dst.chars, dst.places));
      else
        cx.resultText = TrimNumberText(PDecimalToText(p, dst.len, dst.chars, dst.places));
      InsertNumberValue(cx);
      return;
    }
    case T::String:
    case T::CString:
    case T::PString:
      cx.resultText = DestText(cx, dst);
      InsertStringValue(cx);
      return;
    default: return;  // BFLOAT4, BFLOAT8 and memos add nothing
  }
  InsertAutoNumberValue(cx, dst.type == uint8_t(T::ULong));
}

void InsertGuid(CopyContext& cx, const FieldRow& dst) {
  BuildColumnName(dst);
  SetValueSeparator();
  AppendColumnName();
  cx.stringValue = cx.resultText;
  cx.binaryFlag = GetBinaryFlag(dst);
  InsertQuotedValue(cx);
}

void InsertDateTimePairs(CopyContext& cx) {
  size_t n = 0;
  for (const DateTimePair& r : DateTimeQueue()) {
    TraceIf(Flag::E, [&] { return "CopyRec DateTimeQ " + std::to_string(++n); });
    SetValueSeparator();
    std::string name = rt::Clip(r.sqlStringName);
    size_t colon = name.find(':');
    Insert().column = colon == std::string::npos ? name : name.substr(colon + 1);
    std::string text = rt::Clip(rt::Clip(r.dateValue) + " " + rt::Clip(r.timeValue));
    text = rt::Trim(text);
    if (text.empty()) {
      TraceIf(Flag::E, [&] { return "Null Date Time data: '" + text + "'"; });
      continue;
    }
    AddLiteral(cx, text);
  }
  TraceIf(Flag::B, [] { return "FieldName: [1] " + rt::Clip(Insert().column); });
  TraceIf(Flag::B, [] { return "FieldNames: [1] " + Insert().names; });
  TraceIf(Flag::B, [] { return "FieldValues: [1] " + Insert().values; });
}

}  // namespace upg
