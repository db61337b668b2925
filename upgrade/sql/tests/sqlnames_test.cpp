// Server names and column types of declared structures per dialect.
#include "velmora/upgrade/sqlnames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/interpret.h"
#include "velmora/upgrade/sqltext.h"

namespace {

using upg::Dialect;

constexpr Dialect kDialects[] = {Dialect::MsSql, Dialect::Oracle, Dialect::Anywhere, Dialect::MySql,
                                 Dialect::Firebird};

upg::FdqRow Field(std::string name, std::string type, std::string alt = {}) {
  upg::FdqRow r;
  r.name = std::move(name);
  r.type = std::move(type);
  r.altName = std::move(alt);
  return r;
}

class SqlNames : public ::testing::Test {
 protected:
  void SetUp() override {
    upg::Fdq().clear();
    upg::Kdq().clear();
    upg::Mdq().clear();
    upg::ForcedTypes().clear();
    upg::DateTimeQueue().clear();
    upg::FilePrefix() = "PRE";
    upg::ServerCaseKnown() = 0;
    upg::ServerCaseSensitive() = 0;
  }
  void TearDown() override { SetUp(); }

  // The type of a lone field of `type`.
  static std::string TypeOf(const std::string& type, Dialect d) {
    upg::Fdq() = {Field("F", type)};
    return upg::GetSQLDatatype(1, type, d);
  }
};

TEST_F(SqlNames, TypeTablePerDialect) {
  struct Case {
    const char* type;
    const char* mss;
    const char* ora;
    const char* asa;
    const char* mysql;
    const char* firebird;
  };
  const Case cases[] = {
      {"byte", "tinyint", "number(3,0)", "tinyint", "tinyint unsigned", "smallint"},
      {"short", "smallint", "number(5,0)", "smallint", "smallint", "smallint"},
      {"ushort", "int", "number(5,0)", "unsigned smallint", "smallint unsigned", "integer"},
      {"long", "int", "number(10,0)", "integer", "int", "integer"},
      {"ulong", "bigint", "number(10,0)", "unsigned int", "int unsigned", "bigint"},
      {"sreal", "real", "binary_float", "real", "float", "float"},
      {"real", "float", "binary_double", "double", "double", "double precision"},
      {"decimal(7,2)", "decimal(7,2)", "number(7,2)", "decimal(7,2)", "decimal(8,2)",
       "decimal(7,2)"},
      {"pdecimal(12,10)", "decimal(12,10)", "number(12,10)", "decimal(12,10)", "decimal(13,10)",
       "decimal(12,10)"},
      {"decimal(9)", "decimal(9)", "number(9)", "decimal(9)", "decimal(10,0)", "decimal(9)"},
      {"decimal(31,2)", "decimal(31,2)", "number(31,2)", "decimal(31,2)", "decimal(32,2)",
       "varchar(33)"},
      {"date", "datetime", "date", "date", "date", "date"},
      {"time", "datetime", "timestamp", "time", "time", "time"},
      {"blob", "image", "blob", "long binary", "longblob", "BLOB SUB_TYPE BINARY"},
      {"string(1)", "char(1)", "char(1)", "char(1)", "char(1)", "char(1)"},
      {"string(255)", "char(255)", "char(255)", "char(255)", "char(255)", "char(255)"},
      {"string(256)", "char(256)", "char(256)", "char(256)", "text", "char(256)"},
      {"string(2000)", "char(2000)", "char(2000)", "char(2000)", "text", "char(2000)"},
      {"string(2001)", "char(2001)", "varchar2(2001)", "char(2001)", "text", "char(2001)"},
      {"string(4001)", "char(4001)", "clob", "char(4001)", "text", "char(4001)"},
      {"string(8000)", "char(8000)", "clob", "char(8000)", "text", "char(8000)"},
      {"string(8001)", "text", "clob", "long varchar", "text", "char(8001)"},
      {"string(32001)", "text", "clob", "long varchar", "text", "BLOB SUB_TYPE TEXT"},
      {"cstring(1)", "varchar(1)", "varchar2(1)", "varchar(1)", "varchar(1)", "varchar(1)"},
      {"cstring(256)", "varchar(255)", "varchar2(255)", "varchar(255)", "varchar(255)",
       "varchar(255)"},
      {"cstring(257)", "varchar(256)", "varchar2(256)", "varchar(256)", "text", "varchar(256)"},
      {"cstring(4001)", "varchar(4000)", "varchar2(4000)", "varchar(4000)", "text",
       "varchar(4000)"},
      {"cstring(4002)", "varchar(4001)", "clob", "varchar(4001)", "text", "varchar(4001)"},
      {"cstring(8001)", "varchar(8000)", "clob", "varchar(8000)", "text", "varchar(8000)"},
      {"cstring(8002)", "text", "clob", "long varchar", "text", "varchar(8001)"},
      {"cstring(32001)", "text", "clob", "long varchar", "text", "BLOB SUB_TYPE TEXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const char* want[] = {c.mss, c.ora, c.asa, c.mysql, c.firebird};
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(TypeOf(c.type, kDialects[i]), want[i]) << "dialect " << i;
      EXPECT_EQ(upg::TypeForced(), 0);
      EXPECT_EQ(upg::GroupDetected(), 0);
    }
    // A generic ODBC source has no dialect to name types in.
    EXPECT_EQ(TypeOf(c.type, Dialect::Odbc), "");
  }
  // Server codes and flavours reach the same table.
  upg::Fdq() = {Field("F", "ulong")};
  EXPECT_EQ(upg::GetSQLDatatype(1, "ulong", "MSS"), "bigint");
  EXPECT_EQ(upg::GetSQLDatatype(1, "ulong", "ORA "), "number(10,0)");
}

// What a server column holds: the numeric range, or a text's characters.
struct Holds {
  bool known = false;
  long double lo = 0, hi = 0;
  long chars = 0;
};

long Arg(const std::string& t, size_t which) {
  size_t open = t.find('(');
  if (open == std::string::npos) return -1;
  std::string inside = t.substr(open + 1, t.size() - open - 2);
  size_t comma = inside.find(',');
  if (which == 1) return comma == std::string::npos ? 0 : std::atol(inside.c_str() + comma + 1);
  return std::atol(inside.c_str());
}

// The servers' documented ranges of the types the table uses.
Holds ServerHolds(Dialect d, const std::string& t) {
  auto ints = [](long double lo, long double hi) { return Holds{true, lo, hi, 0}; };
  auto text = [](long chars) { return Holds{true, 0, 0, chars}; };
  auto exact = [](long p, long s, long maxP) {
    if (p < 1 || p > maxP || s > p) return Holds{};
    long double hi = std::pow(10.0L, p - s);
    return Holds{true, -hi, hi, 0};
  };
  std::string base = t.substr(0, t.find('('));
  long n = Arg(t, 0);
  bool mysql = d == Dialect::MySql;
  if (base == "tinyint") return mysql ? ints(-128, 127) : ints(0, 255);
  if (base == "tinyint unsigned") return ints(0, 255);
  if (base == "smallint") return ints(-32768, 32767);
  if (base == "smallint unsigned" || base == "unsigned smallint") return ints(0, 65535);
  if (base == "int" || base == "integer") return ints(-2147483648.0L, 2147483647.0L);
  if (base == "int unsigned" || base == "unsigned int") return ints(0, 4294967295.0L);
  if (base == "bigint") return ints(-9.2e18L, 9.2e18L);
  if (base == "float" && d == Dialect::MsSql) return ints(-1.79e308L, 1.79e308L);  // float(53)
  if (base == "real" || base == "float" || base == "binary_float") return ints(-3.4e38L, 3.4e38L);
  if (base == "double" || base == "double precision" || base == "binary_double")
    return ints(-1.79e308L, 1.79e308L);
  if (base == "number" && d == Dialect::Oracle) return exact(n, Arg(t, 1), 38);
  if (base == "decimal") {
    long maxP = d == Dialect::Firebird ? 18 : d == Dialect::MySql ? 65 : 38;
    if (d == Dialect::Anywhere) maxP = 127;
    return exact(n, Arg(t, 1), maxP);
  }
  if (base == "char") {
    long maxN = d == Dialect::MsSql    ? 8000
                : d == Dialect::Oracle ? 2000
                : d == Dialect::MySql  ? 255
                                       : 32767;
    return n >= 1 && n <= maxN ? text(n) : Holds{};
  }
  if (base == "varchar" || base == "varchar2") {
    long maxN = d == Dialect::MsSql    ? 8000
                : d == Dialect::Oracle ? 4000
                : d == Dialect::MySql  ? 65535
                                       : 32765;
    return n >= 1 && n <= maxN ? text(n) : Holds{};
  }
  if (base == "text") return mysql ? text(65535) : text(2147483647);
  if (base == "clob" || base == "long varchar" || base == "BLOB SUB_TYPE TEXT")
    return text(2147483647);
  return {};
}

TEST_F(SqlNames, EveryTypeHoldsTheWholeRangeOfItsDeclaredType) {
  struct Declared {
    const char* type;
    long double lo, hi;  // numbers
    long chars;          // texts
  };
  const Declared declared[] = {
      {"byte", 0, 255, 0},
      {"short", -32768, 32767, 0},
      {"ushort", 0, 65535, 0},
      {"long", -2147483648.0L, 2147483647.0L, 0},
      {"ulong", 0, 4294967295.0L, 0},
      {"sreal", -3.4e38L, 3.4e38L, 0},
      {"real", -1.79e308L, 1.79e308L, 0},
      {"decimal(1,0)", -9, 9, 0},
      {"decimal(7,2)", -99999.99L, 99999.99L, 0},
      {"decimal(15,0)", -999999999999999.0L, 999999999999999.0L, 0},
      {"pdecimal(31,2)", -9.99e28L, 9.99e28L, 0},
      {"string(1)", 0, 0, 1},
      {"string(2001)", 0, 0, 2001},
      {"string(8001)", 0, 0, 8001},
      {"string(32000)", 0, 0, 32000},
      {"string(64000)", 0, 0, 64000},
      {"cstring(1)", 0, 0, 0},
      {"cstring(8001)", 0, 0, 8000},
      {"cstring(32000)", 0, 0, 31999},
      {"cstring(64000)", 0, 0, 63999},
  };
  for (const Declared& c : declared)
    for (Dialect d : kDialects) {
      std::string type = TypeOf(c.type, d);
      SCOPED_TRACE(std::string(c.type) + " as " + type + ", dialect " +
                   std::to_string(static_cast<int>(d)));
      Holds h = ServerHolds(d, type);
      ASSERT_TRUE(h.known) << "not a type the server takes";
      if (c.chars > 0 || std::string(c.type).find("string") != std::string::npos) {
        EXPECT_GE(h.chars, c.chars);
      } else if (h.chars > 0) {
        // A number kept as its text: its sign, digits and point.
        EXPECT_GE(h.chars, Arg(c.type, 0) + 2);
      } else {
        EXPECT_LE(h.lo, c.lo);
        EXPECT_GE(h.hi, c.hi);
      }
    }
}

TEST_F(SqlNames, DateTimePairsGroupsAndUnknownTypes) {
  upg::Fdq() = {Field("Stamp", "string(8)"), Field("Grp", "group (next 2 fields)"),
                Field("Day", "date"),        Field("Hour", "time"),
                Field("Code", "string(8)"),  Field("Other", "long"),
                Field("Odd", "bfloat4"),     Field("Pas", "pstring(10)")};
  upg::Fdq()[0].sqlName = "STAMP";
  const std::pair<Dialect, const char*> pairs[] = {{Dialect::MsSql, "datetime"},
                                                   {Dialect::Oracle, "date"},
                                                   {Dialect::Anywhere, "timestamp"},
                                                   {Dialect::MySql, "datetime"},
                                                   {Dialect::Firebird, "timestamp"}};
  for (auto [d, want] : pairs) {
    EXPECT_EQ(upg::GetSQLDatatype(1, "string(8)", d), want);
    EXPECT_EQ(upg::DateTimeGroupDetected(), 1);
  }
  // Checked again, a table keeps one pair.
  ASSERT_EQ(upg::DateTimeQueue().size(), 1u);
  const upg::DateTimePair& p = upg::DateTimeQueue()[0];
  EXPECT_EQ(p.stringName, "PRE:STAMP");
  EXPECT_EQ(p.sqlStringName, "PRE:STAMP");
  EXPECT_EQ(p.dateName, "PRE:DAY");
  EXPECT_EQ(p.timeName, "PRE:HOUR");
  EXPECT_EQ(upg::Fdq()[1].match + upg::Fdq()[2].match + upg::Fdq()[3].match, 3);
  EXPECT_EQ(upg::Fdq()[4].match, 0);

  // A STRING(8) followed by anything else is a string.
  EXPECT_EQ(upg::GetSQLDatatype(5, "string(8)", Dialect::MsSql), "char(8)");
  EXPECT_EQ(upg::DateTimeGroupDetected(), 0);
  EXPECT_EQ(upg::GetSQLDatatype(2, "group (next 2 fields)", Dialect::Firebird), "");
  EXPECT_EQ(upg::GroupDetected(), 1);
  EXPECT_EQ(upg::GetSQLDatatype(3, "date", Dialect::Firebird), "date");
  EXPECT_EQ(upg::GroupDetected(), 0);
  EXPECT_EQ(upg::GetSQLDatatype(7, "bfloat4", Dialect::MsSql), "");
  EXPECT_EQ(upg::GetSQLDatatype(8, "pstring(10)", Dialect::MySql), "");
  EXPECT_EQ(upg::DateTimeQueue().size(), 1u);
}

TEST_F(SqlNames, MemosAndBlobsHaveTheirOwnTypes) {
  upg::MdqRow text, blob;
  text.type = 1;
  blob.type = 2;
  const struct {
    Dialect d;
    const char *text, *blob;
  } cases[] = {{Dialect::MsSql, "text", "image"},
               {Dialect::Oracle, "clob", "blob"},
               {Dialect::Anywhere, "long varchar", "long binary"},
               {Dialect::MySql, "longtext", "longblob"},
               {Dialect::Firebird, "BLOB SUB_TYPE TEXT", "BLOB SUB_TYPE BINARY"}};
  for (const auto& c : cases) {
    EXPECT_EQ(upg::GetSQLBlobType(text, c.d), c.text);
    EXPECT_EQ(upg::GetSQLBlobType(blob, c.d), c.blob);
  }
}

TEST_F(SqlNames, LongNamesAreShortenedOneWayWithoutCollisions) {
  const std::string a = "CustomerShippingAddressLineNumberOne";
  const std::string b = "CustomerShippingAddressLineNumberTwo";  // same first 31 characters
  ASSERT_EQ(a.substr(0, 31), b.substr(0, 31));
  for (Dialect d : kDialects) {
    SCOPED_TRACE(static_cast<int>(d));
    size_t limit = upg::NameLimit(d);
    std::string la = a + std::string(limit, 'x'), lb = b + std::string(limit, 'x');
    std::string sa = upg::ServerName(d, la), sb = upg::ServerName(d, lb);
    EXPECT_EQ(sa.size(), limit);
    EXPECT_EQ(sb.size(), limit);
    EXPECT_NE(sa, sb);
    EXPECT_EQ(sa, upg::ServerName(d, la));  // deterministic
    EXPECT_EQ(sa, upg::ServerName(d, upg::ServerName(d, la)));
    EXPECT_EQ(upg::ServerName(d, a.substr(0, limit)), a.substr(0, limit));
    // A plain name stays plain, so it is written unquoted like any other.
    EXPECT_EQ(upg::SqlIdentifier(d, sa), sa);
    EXPECT_EQ(upg::SqlIdentifier(d, upg::ServerName(d, "Full " + la)).size(), limit + 2);
  }
  EXPECT_EQ(upg::NameLimit(Dialect::Firebird), 31u);
  // The first characters, "_" and a hash of the name as the server compares it.
  const std::string fa = upg::ServerName(Dialect::Firebird, a);
  EXPECT_EQ(fa.substr(0, 21), "CustomerShippingAddr_");
  EXPECT_EQ(fa.substr(21), upg::ServerName(Dialect::Firebird, rt::Upper(a)).substr(21));
  EXPECT_EQ(upg::ServerName(Dialect::Odbc, a + a), a + a);
}

TEST_F(SqlNames, NamesOfFieldsBlobsAndKeys) {
  const std::string longName = "CustomerShippingAddressLineNumberOne";
  upg::Fdq() = {Field("Plain", "long"),
                Field("Quoted", "string(10)", "\"Full Name\""),
                Field("Ro", "long", "RoCol READONLY"),
                Field("Bin", "string(20)", "BinCol BINARY"),
                Field("Num", "long", "NumCol binary"),
                Field("Written", "long", "MixedCase"),
                Field(longName, "long"),
                Field("Other", "long", "CustomerShippingAddressLineNumberTwo")};
  upg::MdqRow memo, blob;
  memo.memoName = "Notes";
  blob.memoName = "Pdf";
  blob.memoFileName = "PdfData";
  blob.match = 1;
  upg::Mdq() = {memo, blob};
  upg::KdqRow k1, k2;
  k1.keyName = "Id_key";
  k1.fields = " PLAIN CUSTOMERSHIPPINGADDRESSLINENUMBERONE";
  k2.keyName = "Name_key";
  k2.keyFileName = "NameIndex";
  k2.fields = " MixedCase CustomerShippingAddressLineNumberTwo";
  upg::Kdq() = {k1, k2};

  upg::ds_SetSQLNames("ODB", Dialect::Firebird);
  EXPECT_EQ(upg::ServerCaseSensitive(), 1);
  const auto& f = upg::Fdq();
  EXPECT_EQ(f[0].sqlName, "PLAIN");
  EXPECT_EQ(f[1].sqlName, "Full Name");
  EXPECT_EQ(f[2].sqlName, "RoCol");
  EXPECT_EQ(f[3].sqlName, "BinCol");
  EXPECT_EQ(f[4].sqlName, "NumCol");
  EXPECT_EQ(f[5].sqlName, "MixedCase");
  const std::string one = upg::ServerName(Dialect::Firebird, rt::Upper(longName));
  const std::string two =
      upg::ServerName(Dialect::Firebird, "CustomerShippingAddressLineNumberTwo");
  EXPECT_EQ(f[6].sqlName, one);
  EXPECT_EQ(f[7].sqlName, two);
  EXPECT_NE(one, two);
  EXPECT_EQ(one.size(), 31u);

  // BINARY fields are recorded; a text becomes a binary column, a number keeps its type.
  ASSERT_EQ(upg::ForcedTypes().size(), 2u);
  EXPECT_EQ(upg::ForcedTypes()[0].field, "PRE:BIN");
  EXPECT_EQ(upg::ForcedTypes()[0].isBinary, 1);
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::Firebird), "char(20)");
  EXPECT_EQ(upg::TypeForced(), 1);
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::MsSql), "binary(20)");
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::MySql), "binary(20)");
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::Oracle), "raw(20)");
  EXPECT_EQ(upg::GetSQLDatatype(5, "long", Dialect::MsSql), "int");
  EXPECT_EQ(upg::TypeForced(), 0);
  upg::ForcedTypes()[0].type = "varbinary";
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::MsSql), "varbinary(20)");
  upg::ForcedTypes()[0].type = "nchar(20)";
  EXPECT_EQ(upg::GetSQLDatatype(4, "string(20)", Dialect::MsSql), "nchar(20)");
  upg::ds_SetSQLNames("ODB", Dialect::Firebird);  // marking again adds no row
  EXPECT_EQ(upg::ForcedTypes().size(), 2u);

  EXPECT_EQ(upg::Mdq()[0].sqlName, "NOTES");
  EXPECT_EQ(upg::Mdq()[1].sqlName, "PdfData");
  EXPECT_EQ(upg::Mdq()[1].match, 0);
  // Key columns carry the very names their fields have on the server.
  EXPECT_EQ(upg::Kdq()[0].sqlKeyName, "ID_KEY");
  EXPECT_EQ(upg::Kdq()[0].fields, " PLAIN " + one);
  EXPECT_EQ(upg::Kdq()[1].sqlKeyName, "NameIndex");
  EXPECT_EQ(upg::Kdq()[1].fields, " MixedCase " + two);

  // The INSERT lists name the column the same way.
  upg::InsertDialect() = Dialect::Firebird;
  upg::FieldRow dst;
  dst.name = "PRE:" + longName;
  upg::BuildColumnName(dst);
  EXPECT_EQ(rt::Upper(upg::Insert().column), one);  // unquoted: the server upper-cases it
  dst.extName = "CustomerShippingAddressLineNumberTwo";
  upg::BuildColumnName(dst);
  EXPECT_EQ(upg::Insert().column, two);
  upg::InsertDialect() = Dialect::Odbc;
}

TEST_F(SqlNames, TheServerCaseRuleIsFoundOncePerProcess) {
  upg::ds_SetSQLNames("ODB", Dialect::MySql);
  EXPECT_EQ(upg::ServerCaseSensitive(), 0);
  upg::ds_SetSQLNames("ODB", Dialect::Firebird);  // the first answer stands
  EXPECT_EQ(upg::ServerCaseSensitive(), 0);

  // SQL Server asks its procedure; without an answer it is case-insensitive.
  upg::ServerCaseKnown() = 0;
  upg::ServerCaseSensitive() = 1;
  upg::ds_SetSQLNames("MSS", Dialect::MsSql);
  EXPECT_EQ(upg::ServerCaseSensitive(), 0);
  upg::ServerCaseKnown() = 0;
  upg::ds_SetSQLNames("ORA", Dialect::Oracle);
  EXPECT_EQ(upg::ServerCaseSensitive(), 0);
}

}  // namespace
