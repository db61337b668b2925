// Literals, identifiers and binary values of SQL statements per dialect.
#include <gtest/gtest.h>

#include <string>

#include "velmora/upgrade/sqltext.h"

namespace {

using upg::Dialect;

TEST(SqlText, DialectsOfServerCodesAndFlavours) {
  EXPECT_EQ(upg::DialectOf("MSS"), Dialect::MsSql);
  EXPECT_EQ(upg::DialectOf("ora"), Dialect::Oracle);
  EXPECT_EQ(upg::DialectOf("ASA "), Dialect::Anywhere);
  EXPECT_EQ(upg::DialectOf("ODB", "MYODBC 3"), Dialect::MySql);
  EXPECT_EQ(upg::DialectOf("ODB", "myodbc 2"), Dialect::MySql);
  EXPECT_EQ(upg::DialectOf("ODB", "FIREBIRD"), Dialect::Firebird);
  EXPECT_EQ(upg::DialectOf("ODB", "MSSQL"), Dialect::MsSql);
  EXPECT_EQ(upg::DialectOf("ODB", "ORACLE"), Dialect::Oracle);
  EXPECT_EQ(upg::DialectOf("ODB", ""), Dialect::Odbc);
}

TEST(SqlText, EveryLiteralIsEscapedForItsDialect) {
  using namespace std::string_literals;
  struct Case {
    Dialect d;
    std::string in, out;
  };
  const Case cases[] = {
      {Dialect::MsSql, "O'Brien", "'O''Brien'"},
      {Dialect::MsSql, "a\\b", "'a\\b'"},
      {Dialect::MsSql, "x'; DROP TABLE t; --", "'x''; DROP TABLE t; --'"},
      {Dialect::MsSql, "''", "''''''"},
      {Dialect::MsSql, "nul\0byte"s, "'nul byte'"},
      {Dialect::MsSql, "tab\tline\r\nend", "'tab\tline\r\nend'"},
      {Dialect::MsSql, "", "''"},
      {Dialect::Oracle, "it's -- ;", "'it''s -- ;'"},
      {Dialect::Oracle, "a\\'b", "'a\\''b'"},
      {Dialect::Firebird, "a\\'b\0"s, "'a\\''b '"},
      {Dialect::Odbc, "a\\'b", "'a\\''b'"},
      {Dialect::MySql, "O'Brien", "'O''Brien'"},
      {Dialect::MySql, "a\\b", "'a\\\\b'"},
      {Dialect::MySql, "\\'; DROP TABLE t; --", "'\\\\''; DROP TABLE t; --'"},
      {Dialect::MySql, "nul\0byte"s, "'nul\\0byte'"},
      {Dialect::MySql, "z\x1Az", "'z\\Zz'"},
      {Dialect::Anywhere, "a\\'b", "'a\\\\''b'"},
      {Dialect::Anywhere, "a\0b"s, "'a b'"},
  };
  for (const Case& c : cases) EXPECT_EQ(upg::SqlLiteral(c.d, c.in), c.out) << c.in;
}

TEST(SqlText, IdentifiersAreQuotedOnlyWhenTheyNeedIt) {
  struct Case {
    Dialect d;
    std::string in, out;
  };
  const Case cases[] = {
      {Dialect::MsSql, "FORMNAME", "FORMNAME"},
      {Dialect::Oracle, "Form_Name$1", "Form_Name$1"},
      // "#" ends a name on MySQL and Firebird; "$", "#" and "_" start none.
      {Dialect::MySql, "X#", "`X#`"},
      {Dialect::MsSql, "#tmp", "[#tmp]"},
      {Dialect::Firebird, "$Y", "\"$Y\""},
      {Dialect::Firebird, "_u", "\"_U\""},
      {Dialect::Oracle, "Form_Name$1#", "\"FORM_NAME$1#\""},
      {Dialect::MsSql, "Full Name", "[Full Name]"},
      {Dialect::MsSql, "a]b", "[a]]b]"},
      {Dialect::Oracle, "say \"hi\"", "\"say \"\"hi\"\"\""},
      {Dialect::Firebird, "x;--", "\"x;--\""},
      {Dialect::Odbc, "it's", "\"it's\""},
      {Dialect::MySql, "Full Name", "`Full Name`"},
      {Dialect::MySql, "a`b", "`a``b`"},
      {Dialect::Anywhere, "1ST", "\"1ST\""},
      {Dialect::MsSql, std::string("a\0b", 3), "[ab]"},
  };
  for (const Case& c : cases) EXPECT_EQ(upg::SqlIdentifier(c.d, c.in), c.out) << c.in;
}

TEST(SqlText, BinaryValuesAreOneHexLiteralWithEveryByte) {
  const uint8_t bytes[] = {'A', 'B', '\'', 0, 0x20, 0x20};
  EXPECT_EQ(upg::HexLiteral(Dialect::MsSql, bytes, 6), "0x414227002020");
  EXPECT_EQ(upg::HexLiteral(Dialect::Anywhere, bytes, 2), "0x4142");
  EXPECT_EQ(upg::HexLiteral(Dialect::MySql, bytes, 6), "X'414227002020'");
  EXPECT_EQ(upg::HexLiteral(Dialect::Firebird, bytes, 2), "X'4142'");
  EXPECT_EQ(upg::HexLiteral(Dialect::Odbc, bytes, 1), "X'41'");
  EXPECT_EQ(upg::HexLiteral(Dialect::Oracle, bytes, 3), "HEXTORAW('414227')");
  EXPECT_EQ(upg::HexLiteral(Dialect::MySql, bytes, 0), "X''");
  EXPECT_EQ(upg::HexEncodeString(bytes, 2), "0x4142");
  std::vector<uint8_t> big(9000, 0xAB);  // longer than 8000 bytes: all kept
  EXPECT_EQ(upg::HexLiteral(Dialect::MsSql, big.data(), big.size()).size(), 2 + 18000u);
}

}  // namespace
