// Run-time file definitions built from stored serialisations of both
// generations: the runtime opens them like the declarations they came from.
#include <cstring>

#include "engine_fixture.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/format.h"

namespace {

using enginetest::Engine;
using T = db::Type;
using Bytes = std::vector<uint8_t>;

class RunTimeDefinitions : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *isam_, 1, &byte);
    upg::OemFlag() = 0;
  }
  void Store(const Bytes& fmt) {
    std::vector<uint8_t>& buf = upg::UpgFmt();
    std::fill(buf.begin(), buf.end(), ' ');
    std::copy(fmt.begin(), fmt.end(), buf.begin());
  }
  std::unique_ptr<db::FileDecl> isam_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(T::Byte, "A").Build();
};

void Add(Bytes& b, std::string_view s, bool terminate = true) {
  b.insert(b.end(), s.begin(), s.end());
  if (terminate) b.push_back(0);
}
void Add16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

TEST_F(RunTimeDefinitions, CurrentGenerationOpensTheFileItCameFrom) {
  // Names with trailing blanks and long names: the reader advances by the
  // characters it read, not by a name's clipped length.
  std::string longName(200, 'N');
  auto declared = db::DeclBuilder("Rich", "R")
                      .Driver("ISAM")
                      .Name(".\\data\\rich.tps")
                      .Send("QUICKSCAN=ON   ")
                      .Field(T::Long, "ID")
                      .Field(T::String, "NAME", 40)
                      .Field(T::Decimal, "PRICE", 9, 2)
                      .Key("ID_Key", {1}, db::kKeyPrimary, "PKEY   ")
                      .Key("Name_" + longName, {-2, 1}, db::kKeyDup | db::kKeyNoCase, longName)
                      .Memo("NOTES", db::kMemoText, 4000, "NOTES  ")
                      .Memo("BLOB", db::kMemoBinary, 0)
                      .Build();
  ASSERT_GT(upg::ReadFormat(*declared), 2);
  db::Create(*declared);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();

  upg::InFileName() = ".\\data\\rich.tps";
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  db::FileDecl& in = upg::InFile();
  EXPECT_EQ(in.Name(), ".\\data\\rich.tps");
  EXPECT_EQ(in.RecordLength(), declared->RecordLength());
  EXPECT_EQ(in.FieldBlock(), declared->FieldBlock());
  EXPECT_EQ(in.SendText(), "QUICKSCAN=ON");
  EXPECT_EQ(in.Attributes(), db::kAttrCreate);  // no OEM bit unless declared
  ASSERT_EQ(in.Keys().size(), 2u);
  EXPECT_EQ(in.Keys()[0].extName, "$KEY   ");  // first character replaced
  EXPECT_EQ(in.Keys()[1].label, "R:Name_" + longName);
  EXPECT_EQ(in.Keys()[1].extName, "$" + longName.substr(1));
  EXPECT_EQ(in.Keys()[1].components, (std::vector<int32_t>{-2, 1}));
  ASSERT_EQ(in.Memos().size(), 2u);
  EXPECT_EQ(in.Memos()[0].label, "R:NOTES");
  EXPECT_EQ(in.Memos()[0].size, 4000u);
  EXPECT_GE(in.Memos()[0].data.capacity(), 4000u);  // a buffer of its declared size
  EXPECT_EQ(in.Memos()[1].label, "R:BLOB");
  db::Open(in);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Close(in);

  // DESTFILE: no name; the OEM bit only when the declaration sets it.
  upg::OemFlag() = upg::DeclaredOemFlag(*declared);
  ASSERT_EQ(upg::MakeFile(upg::kDestFile), 1);
  EXPECT_EQ(upg::DestFile().Name(), "");
  EXPECT_EQ(upg::DestFile().Attributes(), db::kAttrCreate);
  declared->SetAttributes(db::kAttrOem);
  upg::OemFlag() = upg::DeclaredOemFlag(*declared);
  ASSERT_EQ(upg::MakeFile(upg::kDestFile), 1);
  EXPECT_EQ(upg::DestFile().Attributes(), db::kAttrCreate | db::kAttrOem);
}

TEST_F(RunTimeDefinitions, RefusedSerialisationsLeaveTheDefinitionAlone) {
  auto declared = db::DeclBuilder("P", "P").Driver("ISAM").Field(T::Long, "ID").Build();
  ASSERT_GT(upg::ReadFormat(*declared), 2);
  upg::InFileName() = "first";
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  db::FileDecl* before = &upg::InFile();

  // A driver that is not registered: M10, nothing built.
  Bytes saved(upg::UpgFmt().begin(), upg::UpgFmt().begin() + 64);
  upg::UpgFmt()[1] = 'X';
  EXPECT_EQ(upg::MakeFile(upg::kInFile), 0);
  EXPECT_EQ(stops_.size(), 1u);
  EXPECT_EQ(&upg::InFile(), before);

  // A driver-options text above 255 characters.
  Bytes fmt{'1', 'T', 'p', 's'};
  Add(fmt, std::string(300, 'S'));
  Store(fmt);
  EXPECT_EQ(upg::MakeFile(upg::kInFile), 0);
  // A serialisation cut short (no terminator before the buffer's end).
  std::vector<uint8_t>& buf = upg::UpgFmt();
  std::fill(buf.begin(), buf.end(), 'x');
  buf[0] = '1';
  EXPECT_EQ(upg::MakeFile(upg::kInFile), 0);
  EXPECT_EQ(&upg::InFile(), before);
  EXPECT_EQ(upg::InFile().Name(), "first");
}

TEST_F(RunTimeDefinitions, OlderGenerationIsWidenedToTheCurrentLayout) {
  auto declared = db::DeclBuilder("Old", "T")
                      .Driver("ISAM")
                      .Name(".\\data\\old.tps")
                      .Field(T::Long, "ID")
                      .BeginGroup("G")
                      .Field(T::Short, "A")
                      .Field(T::String, "S", 20)
                      .EndGroup()
                      .Field(T::Byte, "ARR").Dim({3})
                      .Field(T::Date, "D").Picture("@d6")
                      .Key("K", {6, -1}, db::kKeyDup)
                      .Memo("BLOB", db::kMemoBinary, 0x9000)
                      .Build();
  ASSERT_EQ(declared->RecordLength(), 33u);

  // The same declaration as the older generation stored it.
  Bytes block{22, 0};
  Add16(block, 33);   // record size
  Add16(block, 6);    // field count
  Add16(block, 0);    // block length, below
  block.insert(block.end(), {6, 0x02});
  Add(block, "T:ID");
  block.insert(block.end(), {22, 0x02});
  Add16(block, 22);
  Add16(block, 2);
  Add16(block, 0);  // the group's length is worked out when widened
  Add(block, "T:G");
  block.insert(block.end(), {2, 0x02});
  Add(block, "T:A");
  block.insert(block.end(), {18, 0x02, 20});
  Add(block, "T:S");
  block.insert(block.end(), {1, 0x12});
  Add(block, "T:ARR");
  block.insert(block.end(), {1, 3});
  block.insert(block.end(), {4, 0x06});
  Add(block, "@d6");
  Add(block, "T:D");
  block[6] = static_cast<uint8_t>(block.size());

  Bytes fmt{'T', 'p', 's', 0, 0, 0, 1, 1};  // driver, options, owner, attributes, keys, memos
  Add16(fmt, 33);
  fmt.push_back(2);  // key: components, attributes, names, components
  Add16(fmt, db::kKeyDup);
  Add(fmt, "");
  Add(fmt, "T:K");
  Add16(fmt, 6);
  Add16(fmt, 0xFFFF);
  fmt.push_back(db::kMemoBinary);  // memo: kind, size, names
  Add16(fmt, 0x9000);
  Add(fmt, "");
  Add(fmt, "T:BLOB");
  size_t blockAt = fmt.size();
  fmt.insert(fmt.end(), block.begin(), block.end());
  fmt.insert(fmt.end(), {'a', 'f', 't', 'e', 'r'});
  Store(fmt);

  upg::InFileName() = ".\\data\\old.tps";
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  db::FileDecl& in = upg::InFile();
  EXPECT_EQ(in.RecordLength(), 33u);
  EXPECT_EQ(in.FieldBlock(), declared->FieldBlock());  // byte for byte
  ASSERT_EQ(in.Keys().size(), 1u);
  EXPECT_EQ(in.Keys()[0].components, (std::vector<int32_t>{6, -1}));
  EXPECT_EQ(in.Keys()[0].attrib, db::kKeyDup);
  EXPECT_EQ(in.Keys()[0].extName, "");
  ASSERT_EQ(in.Memos().size(), 1u);
  EXPECT_EQ(in.Memos()[0].size, 0x9000u);  // zero-extended
  // The bytes after the block moved on by what the widening added.
  size_t widened = declared->FieldBlock().size();
  EXPECT_EQ(std::string(upg::UpgFmt().begin() + blockAt + widened,
                        upg::UpgFmt().begin() + blockAt + widened + 5),
            "after");

  db::Create(*declared);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Open(in);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Close(in);
}

// String lengths in all three forms of the older block: one byte, two
// bytes, and three (a first byte of 0x40, then the length high byte
// first), inside a group and before the fields after them.
TEST_F(RunTimeDefinitions, OlderStringLengthsOfEveryFormAreWidenedWhole) {
  auto declared = db::DeclBuilder("Old", "T")
                      .Driver("ISAM")
                      .Name(".\\data\\old.tps")
                      .Field(T::Long, "ID")
                      .BeginGroup("G")
                      .Field(T::String, "S1", 5)
                      .Field(T::CString, "S2", 300)
                      .Field(T::PString, "S3", 10000)
                      .EndGroup()
                      .Field(T::String, "S4", 8192)
                      .Field(T::Byte, "AFTER")
                      .Build();
  ASSERT_EQ(declared->RecordLength(), 18502u);

  Bytes block{22, 0};
  Add16(block, 18502);
  Add16(block, 7);
  Add16(block, 0);  // block length, below
  block.insert(block.end(), {6, 0x02});
  Add(block, "T:ID");
  block.insert(block.end(), {22, 0x02});
  Add16(block, 10305);
  Add16(block, 3);
  Add16(block, 0);
  Add(block, "T:G");
  block.insert(block.end(), {18, 0x02, 5});
  Add(block, "T:S1");
  block.insert(block.end(), {19, 0x02, 0x21, 0x2C});  // 300
  Add(block, "T:S2");
  block.insert(block.end(), {20, 0x02, 0x40, 0x27, 0x10});  // 10000
  Add(block, "T:S3");
  block.insert(block.end(), {18, 0x02, 0x40, 0x20, 0x00});  // 8192
  Add(block, "T:S4");
  block.insert(block.end(), {1, 0x02});
  Add(block, "T:AFTER");
  block[6] = static_cast<uint8_t>(block.size());
  Bytes fmt{'T', 'p', 's', 0, 0, 0, 0, 0};  // driver, options, owner, attributes, no keys, no memos
  Add16(fmt, 18502);
  fmt.insert(fmt.end(), block.begin(), block.end());
  Store(fmt);

  upg::InFileName() = ".\\data\\old.tps";
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  db::FileDecl& in = upg::InFile();
  EXPECT_EQ(in.FieldBlock(), declared->FieldBlock());  // byte for byte
  ASSERT_EQ(in.Fields().size(), 7u);
  const std::pair<uint32_t, uint32_t> sizeAndOffset[] = {{5, 4}, {300, 9}, {10000, 309}, {8192, 10309}, {1, 18501}};
  for (size_t i = 0; i < std::size(sizeAndOffset); ++i) {
    const db::FieldInfo& f = in.Fields()[i + 2];
    EXPECT_EQ(std::make_pair(f.size, f.offset), sizeAndOffset[i]) << f.label;
  }
  EXPECT_EQ(in.Fields()[6].label, "T:AFTER");

  db::Create(*declared);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Open(in);
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  db::Close(in);
}

TEST_F(RunTimeDefinitions, OlderRecordLengthAndTextsAreReadAsStored) {
  Bytes block{22, 0};
  Add16(block, 0x1234);
  Add16(block, 1);
  Add16(block, 0);
  block.insert(block.end(), {18, 0x02, 0x32, 0x34});  // STRING(0x1234)
  Add(block, "T:BIG");
  block[6] = static_cast<uint8_t>(block.size());
  Bytes fmt{'T', 'p', 's'};
  Add(fmt, "SEND");
  Add(fmt, "owner");
  fmt.insert(fmt.end(), {0, 0, 0});
  Add16(fmt, 0x1234);
  fmt.insert(fmt.end(), block.begin(), block.end());
  Store(fmt);
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  EXPECT_EQ(upg::InFile().RecordLength(), 0x1234u);
  EXPECT_EQ(upg::InFile().SendText(), "SEND");
  EXPECT_EQ(upg::InFile().Owner(), "owner");
  ASSERT_EQ(upg::InFile().Fields().size(), 1u);
  EXPECT_EQ(upg::InFile().Fields()[0].size, 0x1234u);
  EXPECT_EQ(upg::InFile().Fields()[0].label, "T:BIG");
}

TEST_F(RunTimeDefinitions, WideningNeverPassesTheFormatBuffer) {
  std::vector<uint8_t>& buf = upg::UpgFmt();
  std::fill(buf.begin(), buf.end(), 'z');
  Bytes block{22, 0};
  Add16(block, 4);
  Add16(block, 1);
  Add16(block, 0);
  block.insert(block.end(), {6, 0x02});
  Add(block, "T:ID");
  block[6] = static_cast<uint8_t>(block.size());
  // Widened it needs 6 bytes more than the 4 left after it.
  size_t at = buf.size() - block.size() - 4;
  std::copy(block.begin(), block.end(), buf.begin() + static_cast<ptrdiff_t>(at));
  Bytes before = buf;
  EXPECT_EQ(upg::ConvertGroup(static_cast<rt::Long>(at + 1), static_cast<rt::Long>(block.size())), 0);
  EXPECT_EQ(buf, before);
  // With room it widens to the current layout in place.
  at -= 10;
  std::fill(buf.begin(), buf.end(), 'z');
  std::copy(block.begin(), block.end(), buf.begin() + static_cast<ptrdiff_t>(at));
  rt::Long n = upg::ConvertGroup(static_cast<rt::Long>(at + 1), static_cast<rt::Long>(block.size()));
  auto expect = db::DeclBuilder("X", "T").Field(T::Long, "ID").Build();
  ASSERT_EQ(n, static_cast<rt::Long>(expect->FieldBlock().size()));
  EXPECT_TRUE(std::equal(expect->FieldBlock().begin(), expect->FieldBlock().end(),
                         buf.begin() + static_cast<ptrdiff_t>(at)));
  EXPECT_EQ(buf.size(), upg::kMaxDefSize);
}

TEST_F(RunTimeDefinitions, StoredStringAndMemoryToString) {
  Bytes fmt;
  Add(fmt, "ABC  ");
  Add(fmt, std::string(300, 'x'));
  Store(fmt);
  size_t n = 0;
  EXPECT_EQ(upg::StoredString(1, &n), "ABC  ");
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(upg::StoredString(7, &n).size(), 255u);
  EXPECT_EQ(n, 300u);
  const uint8_t bytes[] = {'h', 'i'};
  EXPECT_EQ(upg::MemoryToString(bytes, 2), "hi");
  EXPECT_EQ(upg::MemoryToString(nullptr, 2), "");
  std::string big(400, 'q');
  EXPECT_EQ(upg::MemoryToString(reinterpret_cast<const uint8_t*>(big.data()), big.size()).size(),
            255u);
}

}  // namespace
