// Column types of declared fields per server dialect, and the date-time pairs.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sqlnames.h"

namespace upg {
namespace {

constexpr MessageDef kM27{"M27", "Messages", "Unrecognised Datatype: "};

// Firebird 3 holds at most 18 decimal digits exactly.
constexpr long kFirebirdMaxPrecision = 18;

std::string Sized(std::string_view type, std::string_view size) {
  return std::string(type) + "(" + std::string(size) + ")";
}

std::string Sized(std::string_view type, long n) { return Sized(type, std::to_string(n)); }

long SizeNumber(std::string_view size) { return std::atol(std::string(size).c_str()); }

// One row of the type table: the type on each server.
struct TypeRow {
  const char* name;
  const char* mss;
  const char* ora;
  const char* asa;
  const char* mysql;
  const char* firebird;
};

// Fixed types. Every type holds the whole range of its declared type:
// BYTE 0..255, SHORT -32768..32767, USHORT 0..65535, LONG and ULONG 32 bits.
constexpr TypeRow kFixed[] = {
    {"byte", "tinyint", "number(3,0)", "tinyint", "tinyint unsigned", "smallint"},
    {"short", "smallint", "number(5,0)", "smallint", "smallint", "smallint"},
    {"ushort", "int", "number(5,0)", "unsigned smallint", "smallint unsigned", "integer"},
    {"long", "int", "number(10,0)", "integer", "int", "integer"},
    {"ulong", "bigint", "number(10,0)", "unsigned int", "int unsigned", "bigint"},
    {"sreal", "real", "binary_float", "real", "float", "float"},
    {"real", "float", "binary_double", "double", "double", "double precision"},
    {"date", "datetime", "date", "date", "date", "date"},
    // Oracle has no time-of-day type: a timestamp holds every time to the
    // hundredth of a second.
    {"time", "datetime", "timestamp", "time", "time", "time"},
    {"blob", "image", "blob", "long binary", "longblob", "BLOB SUB_TYPE BINARY"},
};

const char* Pick(const TypeRow& row, Dialect dialect) {
  switch (dialect) {
    case Dialect::MsSql: return row.mss;
    case Dialect::Oracle: return row.ora;
    case Dialect::Anywhere: return row.asa;
    case Dialect::MySql: return row.mysql;
    case Dialect::Firebird: return row.firebird;
    case Dialect::Odbc: return "";
  }
  return "";
}

std::string DecimalType(std::string_view size, Dialect dialect) {
  std::string p = std::string(size), s = "0";
  size_t comma = p.find(',');
  if (comma != std::string::npos) s = p.substr(comma + 1), p = p.substr(0, comma);
  long precision = SizeNumber(p);
  switch (dialect) {
    case Dialect::MsSql:
    case Dialect::Anywhere: return Sized("decimal", size);
    case Dialect::Oracle: return Sized("number", size);
    case Dialect::MySql: return "decimal(" + std::to_string(precision + 1) + "," + s + ")";
    case Dialect::Firebird:
      // Beyond 18 digits Firebird 3 has no exact type: the value is kept
      // whole as its text (sign, digits and point).
      return precision > kFirebirdMaxPrecision ? Sized("varchar", precision + 2) : Sized("decimal", size);
    case Dialect::Odbc: return {};
  }
  return {};
}

// A STRING of n characters.
std::string StringType(long n, std::string_view size, Dialect dialect) {
  switch (dialect) {
    case Dialect::MsSql: return n > 8000 ? "text" : Sized("char", size);
    case Dialect::Oracle:
      return n > 4000 ? "clob" : n > 2000 ? Sized("varchar2", size) : Sized("char", size);
    case Dialect::Anywhere: return n > 8000 ? "long varchar" : Sized("char", size);
    case Dialect::MySql: return n > 255 ? "text" : Sized("char", size);
    case Dialect::Firebird: return n > 32000 ? "BLOB SUB_TYPE TEXT" : Sized("char", size);
    case Dialect::Odbc: return {};
  }
  return {};
}

// A CSTRING of n bytes, its terminator included: n - 1 characters, at
// least one (no server takes a zero-length varchar).
std::string CStringType(long n, Dialect dialect) {
  long chars = n > 1 ? n - 1 : 1;
  switch (dialect) {
    case Dialect::MsSql: return n > 8001 ? "text" : Sized("varchar", chars);
    case Dialect::Oracle: return n > 4001 ? "clob" : Sized("varchar2", chars);
    case Dialect::Anywhere: return n > 8001 ? "long varchar" : Sized("varchar", chars);
    case Dialect::MySql: return n > 256 ? "text" : Sized("varchar", chars);
    case Dialect::Firebird: return n > 32000 ? "BLOB SUB_TYPE TEXT" : Sized("varchar", chars);
    case Dialect::Odbc: return {};
  }
  return {};
}

// A field declared BINARY: `forced` is the forced type text, which names
// a binary type or is blank (then the dialect's own binary type is used).
std::string BinaryType(std::string_view forced, std::string_view size, Dialect dialect) {
  std::string type = forced.empty() ? std::string("binary") : std::string(forced);
  switch (dialect) {
    case Dialect::MsSql: return size.empty() ? type : Sized(type, size);
    case Dialect::Anywhere:
    case Dialect::MySql: return size.empty() ? std::string("binary") : Sized("binary", size);
    case Dialect::Firebird: return Sized("char", size.empty() ? std::string_view("1") : size);
    case Dialect::Oracle:
      return size.empty() || SizeNumber(size) > 2000 ? std::string("blob") : Sized("raw", size);
    case Dialect::Odbc: return {};
  }
  return {};
}

const char* DateTimeType(Dialect dialect) {
  switch (dialect) {
    case Dialect::MsSql:
    case Dialect::MySql: return "datetime";
    case Dialect::Oracle: return "date";
    case Dialect::Anywhere:
    case Dialect::Firebird: return "timestamp";
    case Dialect::Odbc: return "";
  }
  return "";
}

std::string PairName(const std::string& name) {
  return rt::Upper(rt::Clip(FilePrefix()) + ":" + rt::Clip(name));
}

}  // namespace

rt::Byte& TypeForced() {
  static rt::Byte flag = 0;
  return flag;
}
rt::Byte& GroupDetected() {
  static rt::Byte flag = 0;
  return flag;
}
rt::Byte& DateTimeGroupDetected() {
  static rt::Byte flag = 0;
  return flag;
}

std::string GetSQLDatatype(size_t position, std::string_view type, std::string_view server) {
  return GetSQLDatatype(position, type, DialectOf(server, ODBCFlavour()));
}

std::string GetSQLDatatype(size_t position, std::string_view type, Dialect dialect) {
  const FdqRow& row = Fdq().at(position - 1);
  Trace(Flag::A, "GetSQLDatatype IN. " + row.name + " " + std::string(type));
  std::string text = rt::Clip(type);
  std::string name = rt::Lower(rt::Clip(text.substr(0, text.find('('))));
  std::string size;
  size_t open = text.find('(');
  if (open != std::string::npos && text.size() > open + 1)
    size = text.substr(open + 1, text.size() - open - 2);
  GroupDetected() = 0;
  DateTimeGroupDetected() = 0;

  // A forced type. A field declared BINARY has a row with a blank type;
  // it is a binary column when it holds text, else its own type.
  std::string key = rt::Upper(rt::Clip(FilePrefix())) + ":" + rt::Upper(rt::Clip(row.name));
  TypeForced() = 0;
  for (const ForcedType& f : ForcedTypes()) {
    if (f.field != key) continue;
    std::string forced = rt::Clip(f.type);
    bool textual = name == "string" || name == "cstring" || name == "pstring";
    if (forced.empty() && !(f.isBinary && textual)) break;
    TypeForced() = 1;
    std::string result = forced.empty() || rt::Upper(forced).find("BINARY") != std::string::npos
                             ? BinaryType(forced, size, dialect)
                             : forced;
    Trace(Flag::A, "GetSQLDatatype OUT. Forced: " + result);
    return result;
  }

  std::string result;
  bool known = false;
  for (const TypeRow& fixed : kFixed)
    if (name == fixed.name) result = Pick(fixed, dialect), known = true;
  if (name == "decimal" || name == "pdecimal") {
    result = DecimalType(size, dialect);
    if (dialect == Dialect::Firebird && SizeNumber(size) > kFirebirdMaxPrecision)
      Trace(Flag::A, "WARNING: " + row.name + " " + text + " has more digits than Firebird holds exactly (" +
                         std::to_string(kFirebirdMaxPrecision) + "); its column is text: " + result);
  } else if (name == "string") {
    if (AddToDateTimeQ(position, size)) {
      result = DateTimeType(dialect);
      DateTimeGroupDetected() = 1;
      Trace(Flag::A, "DateTime Group Detected! " + row.name);
    } else {
      result = StringType(SizeNumber(size), size, dialect);
    }
  } else if (name == "cstring") {
    result = CStringType(SizeNumber(size), dialect);
  } else if (name == "group") {
    GroupDetected() = 1;
    Trace(Flag::A, "Group Detected! " + row.name);
  } else if (!known) {
    Trace(Flag::A, "ds_Error " + std::string(kM27.id) + ": " + ReadMessage(kM27) + text);
  }
  Trace(Flag::A, "GetSQLDatatype OUT. " + result);
  return result;
}

rt::Byte AddToDateTimeQ(size_t position, std::string_view size) {
  Trace(Flag::A, "AddToDateTimeQ IN.");
  rt::Byte answer = 0;
  std::vector<FdqRow>& fdq = Fdq();
  if (rt::Clip(size) == "8" && position + 3 <= fdq.size()) {
    const FdqRow& str = fdq[position - 1];
    FdqRow& group = fdq[position];
    FdqRow& date = fdq[position + 1];
    FdqRow& time = fdq[position + 2];
    if (rt::Upper(rt::Clip(group.type)) == "GROUP (NEXT 2 FIELDS)" &&
        rt::Upper(rt::Clip(date.type)) == "DATE" && rt::Upper(rt::Clip(time.type)) == "TIME") {
      DateTimePair pair;
      pair.stringName = PairName(str.name);
      pair.sqlStringName = PairName(str.sqlName);
      pair.dateName = PairName(date.name);
      pair.timeName = PairName(time.name);
      // A table checked again replaces its pair rather than adding it twice.
      std::vector<DateTimePair>& dtq = DateTimeQueue();
      auto same = std::find_if(dtq.begin(), dtq.end(), [&](const DateTimePair& r) {
        return r.stringName == pair.stringName;
      });
      if (same != dtq.end())
        *same = std::move(pair);
      else
        dtq.push_back(std::move(pair));
      time.match = date.match = group.match = 1;
      answer = 1;
    }
  }
  Trace(Flag::A, "AddToDateTimeQ OUT. " + std::to_string(answer));
  return answer;
}

std::string GetSQLBlobType(const MdqRow& memo, Dialect dialect) {
  bool text = memo.type == 1;
  switch (dialect) {
    case Dialect::MsSql: return text ? "text" : "image";
    case Dialect::Oracle: return text ? "clob" : "blob";
    case Dialect::Anywhere: return text ? "long varchar" : "long binary";
    case Dialect::MySql: return text ? "longtext" : "longblob";
    case Dialect::Firebird: return text ? "BLOB SUB_TYPE TEXT" : "BLOB SUB_TYPE BINARY";
    case Dialect::Odbc: return {};
  }
  return {};
}

}  // namespace upg
