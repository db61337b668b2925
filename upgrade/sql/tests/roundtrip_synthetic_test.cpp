// The synthetic declaration changed by a higher version on the private
// servers, through the open hook: the table is altered, its rows kept and
// converted, and it compares to a fixed point again; and two tables
// declaring the same key labels live side by side in one database.
#include <gtest/gtest.h>

#include <memory>

#include "roundtrip_fixture.h"
#include "velmora/data/dictionary.h"

namespace {

using rttest::Backend;

class RoundTripSynthetic : public rttest::RoundTrip {
 protected:
  upg::Dialect Dialect() const { return upg::DialectOf("ODB", GetParam().flavour); }
  // The exact column of the field declared as "FullName".
  std::string FullName() const { return upg::SqlExactIdentifier(Dialect(), "FullName"); }
};

TEST_P(RoundTripSynthetic, AHigherVersionAltersTheTableKeepsItsRowsAndComparesToAFixedPoint) {
  Use("rt_syn", "SYN", "RtSyn", [](const std::string& name, int version) {
    return sqltest::EveryType("RtSyn", "ODBC", name, version);
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  for (const char* values :
       {"1, 255, -32768, 'Ann', 'A1', 'big one'", "2, 0, 32767, 'O''Brien', 'B2', 'big two'"})
    ASSERT_TRUE(Direct("INSERT INTO " + name_ + " (ID, B, S, " + FullName() + ", CODE, BIG) VALUES (" + values + ")"));
  EXPECT_EQ(Compare(), std::vector<std::string>{});

  // Version 2: B dropped, S retyped to a LONG, QTY added, Big_Key
  // dropped, Code_Key over other columns, Qty_Key new.
  ASSERT_EQ(Run(2), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_EQ(StoredVersion(), "2");
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  auto rows = Select("SELECT ID, S, " + FullName() + ", CODE, BIG, QTY FROM " + name_ + " ORDER BY ID");
  ASSERT_EQ(rows.size(), 2u);
  for (auto& row : rows) row[3] = rt::Clip(row[3]), row[4] = rt::Clip(row[4]);  // CHAR columns come back padded
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "-32768", "Ann", "A1", "big one", "NULL"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "32767", "O'Brien", "B2", "big two", "NULL"}));
  // S now holds what a LONG holds; B is gone.
  ASSERT_TRUE(Direct("UPDATE " + name_ + " SET S = 2147483647, QTY = 5 WHERE ID = 1"));
  EXPECT_EQ(Select("SELECT S, QTY FROM " + name_ + " WHERE ID = 1"),
            (std::vector<std::vector<std::string>>{{"2147483647", "5"}}));
  EXPECT_FALSE(Direct("SELECT B FROM " + name_));
  // The changed unique key takes ID too: CODE alone may repeat now.
  EXPECT_TRUE(Direct("UPDATE " + name_ + " SET CODE = 'A1' WHERE ID = 2"));
  EXPECT_EQ(Compare(), std::vector<std::string>{});
}

// The column declared "FullName" is looked for by its exact name: when
// the table lost it, the next open adds it back with its key, and the
// table compares to a fixed point.
TEST_P(RoundTripSynthetic, AColumnDeclaredBetweenQuotesIsFoundByItsExactName) {
  Use("rt_syn", "SYN", "RtSyn", [](const std::string& name, int version) {
    return sqltest::EveryType("RtSyn", "ODBC", name, version);
  });
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  ASSERT_TRUE(Direct(GetParam().qualified ? "ALTER TABLE " + name_ + " CHANGE " + FullName() + " OTHER varchar(30)"
                                          : "ALTER TABLE " + name_ + " ALTER COLUMN " + FullName() + " TO OTHER"));
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_TRUE(Direct("SELECT " + FullName() + " FROM " + name_));
  EXPECT_FALSE(Direct("SELECT OTHER FROM " + name_));
  EXPECT_EQ(Compare(), std::vector<std::string>{});
}

// ID, NAME, CODE with the key labels every such table declares.
std::unique_ptr<db::FileDecl> Keyed(const std::string& label, const std::string& prefix,
                                    const std::string& name) {
  return db::DeclBuilder(label, prefix)
      .Driver("ODBC")
      .Name(name)
      .Field(db::Type::Long, "ID")
      .Field(db::Type::CString, "NAME", 21)
      .Field(db::Type::String, "CODE", 10)
      .Key("Id_Key", {1}, db::kKeyPrimary)
      .Key("Name_Key", {2, -3}, db::kKeyDup)
      .Key("Code_Key", {3}, 0)
      .Build();
}

TEST_P(RoundTripSynthetic, TablesDeclaringTheSameKeyLabelsLiveSideBySide) {
  auto a = [](const std::string& name, int) { return Keyed("RtKeysA", "KYA", name); };
  auto b = [](const std::string& name, int) { return Keyed("RtKeysB", "KYB", name); };
  Use("rt_keys_a", "KYA", "RtKeysA", a);
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  Use("rt_keys_b", "KYB", "RtKeysB", b);
  ASSERT_EQ(Run(1), 0) << rt::ErrorText() << " " << rt::FileErrorText();
  db::Close(*data_);
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  Aim("rt_keys_a", "KYA", "RtKeysA", a);
  data_ = declare_(name_, 1);
  EXPECT_EQ(Compare(), std::vector<std::string>{});
  // Each table's keys hold: the same code twice is refused in both.
  for (const char* t : {"rt_keys_a", "rt_keys_b"}) {
    std::string table = GetParam().qualified ? database_ + "." + t : t;
    EXPECT_TRUE(Direct("INSERT INTO " + table + " (ID, NAME, CODE) VALUES (1, 'one', 'C')"));
    EXPECT_FALSE(Direct("INSERT INTO " + table + " (ID, NAME, CODE) VALUES (2, 'two', 'C')")) << t;
  }
}

// The data files Forms, FilledForm and AliasFilledForm all declare Id_Key
// (and the last two FormId_Key): on one database they are created side by
// side and each compares to a fixed point.
TEST_P(RoundTripSynthetic, TheDataFilesSharingKeyLabelsLiveSideBySide) {
  struct Table {
    data::FileId id;
    const char* table;
  } tables[] = {{data::FileId::Forms, "rt_forms"},
                {data::FileId::FilledForm, "rt_filledform"},
                {data::FileId::AliasFilledForm, "rt_aliasfilledform"}};
  auto onServer = [](data::FileId id) {
    return [id](const std::string& name, int) {
      const db::FileDecl& d = data::Declaration(id);
      auto file = db::FileDecl::FromBlock(d.Label(), d.Prefix(), "ODBC", d.FieldBlock(), d.Keys(), d.Memos(),
                                          d.Attributes(), d.RecordLength());
      file->SetName(name);
      return file;
    };
  };
  for (const Table& t : tables) {
    const db::FileDecl& d = data::Declaration(t.id);
    Use(t.table, d.Prefix(), d.Label(), onServer(t.id));
    ASSERT_EQ(Run(1), 0) << t.table << ": " << rt::ErrorText() << " " << rt::FileErrorText();
    db::Close(*data_);
  }
  EXPECT_TRUE(boxes_.empty()) << boxes_.front();
  for (const Table& t : tables) {
    const db::FileDecl& d = data::Declaration(t.id);
    Aim(t.table, d.Prefix(), d.Label(), onServer(t.id));
    data_ = declare_(name_, 1);
    EXPECT_EQ(Compare(), std::vector<std::string>{}) << t.table;
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, RoundTripSynthetic,
                         ::testing::Values(Backend{"MariaDB", "MYODBC 3", true},
                                           Backend{"Firebird", "FIREBIRD", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
