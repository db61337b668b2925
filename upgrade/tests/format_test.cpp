// The serialised file declaration: its bytes, its limits and its inverse.
#include "engine_fixture.h"
#include "velmora/upgrade/format.h"

namespace {

using enginetest::Engine;

class SerialisedDeclaration : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *isam_, 1, &byte);
  }
  std::vector<uint8_t> Written(rt::Long result) const {
    return {upg::UpgFmt().begin(), upg::UpgFmt().begin() + (result - 1)};
  }
  std::unique_ptr<db::FileDecl> isam_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
};

TEST_F(SerialisedDeclaration, PlainFileLayout) {
  auto file = db::DeclBuilder("P", "P").Driver("ISAM").Attributes(db::kAttrCreate)
                  .Field(db::Type::Long, "ID").Build();
  rt::Long result = upg::ReadFormat(*file);
  const std::vector<uint8_t>& block = file->FieldBlock();
  ASSERT_EQ(result, static_cast<rt::Long>(14 + block.size()));
  std::vector<uint8_t> expect = {'1', 'T', 'p', 's', 0, 0, db::kAttrCreate, 0, 0};
  uint32_t len = file->RecordLength();
  for (int i = 0; i < 4; ++i) expect.push_back(static_cast<uint8_t>(len >> (8 * i)));
  expect.insert(expect.end(), block.begin(), block.end());
  EXPECT_EQ(Written(result), expect);
}

TEST_F(SerialisedDeclaration, KeysMemosAndServerFiles) {
  auto file = db::DeclBuilder("P", "P").Driver("ISAM").Owner("me")
                  .Field(db::Type::Long, "ID").Field(db::Type::Short, "N")
                  .Key("Both_Key", {1, -2}, db::kKeyDup, "EXT")
                  .Memo("NOTE", db::kMemoText, 300)
                  .Build();
  rt::Long result = upg::ReadFormat(*file);
  std::vector<uint8_t> bytes = Written(result);
  // "1" "Tps" 0 "me" 0, attributes, two counts, record length: 15 bytes.
  size_t key = 15;
  std::vector<uint8_t> keyEntry = {2, db::kKeyDup, 0, 0, 0, 'E', 'X', 'T', 0};
  for (char c : std::string("P:Both_Key")) keyEntry.push_back(static_cast<uint8_t>(c));
  keyEntry.insert(keyEntry.end(), {0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF});
  ASSERT_EQ(keyEntry.size(), 1 + 4 + (3 + 1) + (10 + 1) + 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + key, bytes.begin() + key + keyEntry.size()),
            keyEntry);
  std::vector<uint8_t> memo = {db::kMemoText, 0x2C, 0x01, 0, 0, 0, 'P', ':', 'N', 'O', 'T', 'E', 0};
  size_t m = key + keyEntry.size();
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + m, bytes.begin() + m + memo.size()), memo);

  // A server's file: two zero bytes instead of its options and owner.
  uint8_t byte = 0;
  upg::ResetRegistration();
  upg::ds_AddDriver("MSS", *isam_, 1, &byte);
  rt::Long sql = upg::ReadFormat(*file);
  std::vector<uint8_t> sqlBytes = Written(sql);
  EXPECT_EQ(std::vector<uint8_t>(sqlBytes.begin(), sqlBytes.begin() + 7),
            (std::vector<uint8_t>{'1', 'M', 'S', 'S', 0, 0, 0}));
  file->SetOwner("server,db,user,other-password");
  EXPECT_EQ(upg::ReadFormat(*file), sql);
  EXPECT_EQ(Written(sql), sqlBytes);
}

TEST_F(SerialisedDeclaration, Limits) {
  auto unknown = db::DeclBuilder("T", "T").Driver("DOS").Field(db::Type::Byte, "A").Build();
  EXPECT_EQ(upg::ReadFormat(*unknown), upg::kFormatNoDriver);
  db::DeclBuilder keys("K", "K");
  keys.Driver("ISAM").Field(db::Type::Long, "ID");
  for (int k = 0; k < 75; ++k) keys.Key("K" + std::to_string(k), {1}, db::kKeyDup);
  EXPECT_EQ(upg::ReadFormat(*keys.Build()), upg::kFormatTooLarge);
  // Key and memo parts count against the buffer too.
  db::DeclBuilder names("N", "N");
  names.Driver("ISAM").Field(db::Type::Long, "ID");
  for (int k = 0; k < 200; ++k) names.Memo("M" + std::string(200, 'x') + std::to_string(k), 1, 1);
  EXPECT_EQ(upg::ReadFormat(*names.Build()), upg::kFormatTooLarge);
  auto longOwner = db::DeclBuilder("O", "O").Driver("ISAM").Owner(std::string(256, 'o'))
                       .Field(db::Type::Byte, "A").Build();
  EXPECT_EQ(upg::ReadFormat(*longOwner), upg::kFormatTooLarge);
}

TEST_F(SerialisedDeclaration, RebuiltDeclarationRoundTripsAndOpensTheFile) {
  auto file = db::DeclBuilder("Rich", "RIC").Driver("ISAM").Name(".\\data\\rich.tps")
                  .Send("Recover=3").Attributes(db::kAttrCreate)
                  .Field(db::Type::Long, "ID")
                  .Field(db::Type::String, "STAMP", 8)
                  .BeginGroup("PARTS").Over("STAMP")
                  .Field(db::Type::Date, "D").Field(db::Type::Time, "T")
                  .EndGroup()
                  .Field(db::Type::PDecimal, "AMOUNT", 11, 2)
                  .Field(db::Type::CString, "TEXT", 300).Picture("@s300").ExtName("TXT")
                  .Field(db::Type::Short, "GRID").Dim({2, 3})
                  .Key("ID_Key", {1}, db::kKeyPrimary)
                  .Key("Text_Key", {-5, 1}, db::kKeyDup | db::kKeyNoCase, "TK")
                  .Memo("NOTES", db::kMemoText, 4000)
                  .Memo("BLOB", db::kMemoBinary, 0, "B")
                  .Build();
  rt::Long result = upg::ReadFormat(*file);
  ASSERT_GT(result, 2);
  std::vector<uint8_t> first = Written(result);
  auto rebuilt = upg::ParseFormat(first);
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(rebuilt->DriverName(), "ISAM");
  EXPECT_EQ(upg::ReadFormat(*rebuilt), result);
  EXPECT_EQ(Written(result), first);

  db::Create(*file);
  ASSERT_EQ(rt::ErrorCode(), 0);
  rebuilt->SetName(".\\data\\rich.tps");
  db::Open(*rebuilt);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Close(*rebuilt);

  EXPECT_EQ(upg::ParseFormat(std::vector<uint8_t>(first.begin(), first.end() - 1)), nullptr);
  first[0] = 'T';  // the older generation is not read here
  EXPECT_EQ(upg::ParseFormat(first), nullptr);
}

}  // namespace
