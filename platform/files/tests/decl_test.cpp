// Declarations: builder, record descriptor block codec and record layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "velmora/files/decl.h"
#include "velmora/files/files.h"

using namespace db;

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int b : v) out.push_back(static_cast<uint8_t>(b));
  return out;
}
void Append(std::vector<uint8_t>& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}
}  // namespace

TEST(FilesBlockCodec, StringLengthForms) {
  struct Case { uint32_t len; std::vector<uint8_t> bytes; };
  const Case cases[] = {
      {0, Bytes({0x00})},         {5, Bytes({0x05})},
      {0x1F, Bytes({0x1F})},      {0x20, Bytes({0x20, 0x20})},
      {4096, Bytes({0x30, 0x00})}, {0x1FFF, Bytes({0x3F, 0xFF})},
      {8192, Bytes({0x40, 0x20, 0x00})}, {60000, Bytes({0x40, 0xEA, 0x60})},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    block::PutStringLength(out, c.len);
    EXPECT_EQ(out, c.bytes) << c.len;
    size_t pos = 0;
    EXPECT_EQ(block::GetStringLength(out.data(), out.size(), pos), c.len);
    EXPECT_EQ(pos, out.size());
  }
}

TEST(FilesBlockCodec, NumberForms) {
  struct Case { uint32_t value; std::vector<uint8_t> bytes; };
  const Case cases[] = {
      {3, Bytes({0x03})},          {0x20, Bytes({0x20, 0x20})},
      {0x1FFF, Bytes({0x3F, 0xFF})}, {8192, Bytes({0x40, 0x20, 0x00})},
      {100000, Bytes({0x41, 0x86, 0xA0})},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out;
    block::PutNumber(out, c.value);
    EXPECT_EQ(out, c.bytes) << c.value;
    size_t pos = 0;
    EXPECT_EQ(block::GetNumber(out.data(), out.size(), pos), c.value);
  }
  // A short stream reads zeros and stops at its end.
  std::vector<uint8_t> cut = Bytes({0x41, 0x86});
  size_t pos = 0;
  EXPECT_EQ(block::GetNumber(cut.data(), cut.size(), pos), 0x18600u);
  EXPECT_EQ(pos, 2u);
}

TEST(FilesDeclBuilder, ExactBlockAndDeterminism) {
  auto make = [] {
    return DeclBuilder("Test", "T")
        .Driver("ISAM")
        .Field(Type::Long, "ID")
        .Field(Type::String, "Name", 5)
        .ExtName("nm")
        .Build();
  };
  auto a = make(), b = make();
  std::vector<uint8_t> want = Bytes({0x16, 0, 9, 0, 0, 0, 2, 0, 0, 0, 34, 0, 0, 0,
                                     0x06, 0x02});
  Append(want, "T:ID");
  want.push_back(0x12);
  want.push_back(0x03);
  want.push_back(0x05);
  Append(want, "T:NAME");
  Append(want, "nm");
  EXPECT_EQ(a->FieldBlock(), want);
  EXPECT_EQ(a->FieldBlock(), b->FieldBlock());
  EXPECT_EQ(a->RecordLength(), 9u);
  EXPECT_EQ(a->FieldIndex("t:name"), 1);
  EXPECT_EQ(a->FieldIndex("NAME"), 1);
  EXPECT_EQ(a->FieldIndex("X:NAME"), -1);
  EXPECT_NE(a->DriverEntry(), 0u);
  EXPECT_EQ(a->DriverEntry(), DriverEntryFor("isam"));
  EXPECT_EQ(DriverNameFor(a->DriverEntry()), "ISAM");
  EXPECT_EQ(DriverEntryFor("NOPE"), 0u);
}

TEST(FilesDeclBuilder, GroupOverStringPlacesDateAndTime) {
  auto f = DeclBuilder("T", "T")
               .Field(Type::Long, "A")
               .Field(Type::String, "S", 8)
               .BeginGroup("DT").Over("S")
               .Field(Type::Date, "D")
               .Field(Type::Time, "TM")
               .EndGroup()
               .Field(Type::Byte, "AFTER")
               .Build();
  const auto& fl = f->Fields();
  ASSERT_EQ(fl.size(), 6u);
  EXPECT_EQ(fl[1].offset, 4u);
  EXPECT_TRUE(fl[2].over);
  EXPECT_EQ(fl[2].overRef, 2u);
  EXPECT_EQ(fl[2].grpLen, 8u);
  EXPECT_EQ(fl[2].grpNum, 2u);
  EXPECT_EQ(fl[3].offset, 4u);
  EXPECT_EQ(fl[4].offset, 8u);
  EXPECT_EQ(fl[3].parent, 2);
  EXPECT_EQ(fl[5].offset, 12u);
  EXPECT_EQ(f->RecordLength(), 13u);
  // Group descriptor: type, attrib (emitted | over), GRPLEN, GRPNUM, GRPDEF
  // covering its own descriptor and both members, label, reference.
  const auto& blk = f->FieldBlock();
  std::vector<uint8_t> group = Bytes({0x16, 0x0A, 8, 0, 0, 0, 2, 0, 0, 0});
  auto at = std::search(blk.begin(), blk.end(), group.begin(), group.end());
  ASSERT_NE(at, blk.end());
  size_t p = static_cast<size_t>(at - blk.begin());
  uint32_t grpDef = blk[p + 10] | (blk[p + 11] << 8);
  size_t overAt = p + 14 + std::string("T:DT").size() + 1;
  EXPECT_EQ(blk[overAt], 0x82);
  EXPECT_EQ(p + grpDef, blk.size() - (2 + std::string("T:AFTER").size() + 1));
  // CLEAR blanks the string and leaves the bytes it shares alone.
  f->ClearRecord();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(f->Record()) + 4, 8), "        ");
}

TEST(FilesDeclBuilder, ArraysDecimalsAndPictures) {
  auto f = DeclBuilder("T", "T")
               .Field(Type::Long, "GRID").Dim({3, 4})
               .Field(Type::Decimal, "AMOUNT", 7, 2)
               .Field(Type::String, "BIG", 9000).Picture("@s9000")
               .Field(Type::Short, "WIDE").Dim({9000})
               .Build();
  const auto& fl = f->Fields();
  ASSERT_EQ(fl.size(), 4u);
  EXPECT_EQ(fl[0].Bytes(), 48u);
  EXPECT_EQ(fl[0].dims, (std::vector<uint32_t>{3, 4}));
  EXPECT_EQ(fl[1].offset, 48u);
  EXPECT_EQ(fl[1].size, 4u);
  EXPECT_EQ(fl[1].places, 2);
  EXPECT_EQ(fl[2].offset, 52u);
  EXPECT_EQ(fl[2].size, 9000u);
  EXPECT_EQ(fl[2].picture, "@s9000");
  EXPECT_EQ(fl[3].dims, (std::vector<uint32_t>{9000}));
  EXPECT_EQ(f->RecordLength(), 48u + 4 + 9000 + 18000);
  // Byte level: LONG DIM(3,4) and DECIMAL(7,2).
  const auto& blk = f->FieldBlock();
  std::vector<uint8_t> grid = Bytes({0x06, 0x12});
  Append(grid, "T:GRID");
  grid.insert(grid.end(), {2, 3, 4, 0x0A, 0x02, 4, 2});
  EXPECT_TRUE(std::equal(grid.begin(), grid.end(), blk.begin() + 14));
}

TEST(FilesBlockCodec, OverBitWithClearReferenceIsOrdinary) {
  std::vector<uint8_t> blk = Bytes({0x16, 0, 8, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  blk.insert(blk.end(), {0x06, 0x02});
  Append(blk, "X:A");
  blk.insert(blk.end(), {0x06, 0x0A});
  Append(blk, "X:B");
  blk.push_back(0x01);  // reference with the high bit clear
  blk[10] = static_cast<uint8_t>(blk.size());
  auto f = FileDecl::FromBlock("X", "X", "ISAM", blk, {}, {}, 0, 8);
  ASSERT_EQ(f->Fields().size(), 2u);
  const FieldInfo& b = f->Fields()[1];
  EXPECT_FALSE(b.over);
  EXPECT_EQ(b.attrib & kMemOver, 0);
  EXPECT_EQ(b.offset, 4u);
  EXPECT_EQ(f->FieldBlock(), blk);  // kept byte for byte
}

TEST(FilesBlockCodec, FromBlockMatchesBuilderAndSurvivesTruncation) {
  auto built = DeclBuilder("T", "T")
                   .Field(Type::CString, "NAME", 80)
                   .BeginGroup("G").Field(Type::Real, "R").Field(Type::PDecimal, "P", 5, 1).EndGroup()
                   .Key("NAME_Key", {1}, kKeyNoCase)
                   .Memo("DATA", kMemoBinary, 1000)
                   .Build();
  auto again = FileDecl::FromBlock("T", "T", "ISAM", built->FieldBlock(),
                                   built->Keys(), built->Memos(),
                                   built->Attributes(), built->RecordLength());
  ASSERT_EQ(again->Fields().size(), built->Fields().size());
  for (size_t i = 0; i < again->Fields().size(); ++i) {
    EXPECT_EQ(again->Fields()[i].offset, built->Fields()[i].offset);
    EXPECT_EQ(again->Fields()[i].label, built->Fields()[i].label);
  }
  EXPECT_EQ(built->Fields()[3].offset, 88u);
  EXPECT_EQ(built->RecordLength(), 80u + 8 + 3);
  EXPECT_EQ(built->KeyIndex("T:NAME_KEY"), 0);
  EXPECT_EQ(built->MemoIndex("T:DATA"), 0);
  // Every prefix of the block decodes without reading past its end.
  for (size_t n = 0; n < built->FieldBlock().size(); ++n) {
    std::vector<uint8_t> cut(built->FieldBlock().begin(),
                             built->FieldBlock().begin() + static_cast<ptrdiff_t>(n));
    (void)block::Decode(cut);
  }
}

TEST(FilesDeclBuilder, RefusesBadDeclarations) {
  EXPECT_THROW(DeclBuilder("T", "T").Field(Type::Long, "A").Over("NOPE").Build(),
               std::invalid_argument);
  EXPECT_THROW(DeclBuilder("T", "T").Field(Type::Long, "A")
                   .Field(Type::Real, "B").Over("A").Build(),
               std::invalid_argument);
  EXPECT_THROW(DeclBuilder("T", "T").EndGroup(), std::logic_error);
  EXPECT_THROW(DeclBuilder("T", "T").BeginGroup("G").Build(), std::logic_error);
}

TEST(FilesDecl, CloneHasOwnBufferAndHostPaths) {
  auto f = DeclBuilder("T", "T").Name(".\\data\\forms.tps")
               .Field(Type::String, "S", 4).Build();
  std::memcpy(f->Record(), "abcd", 4);
  auto c = f->Clone();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c->Record()), 4), "    ");
  EXPECT_EQ(c->Name(), ".\\data\\forms.tps");
  EXPECT_EQ(HostPath(".\\data\\forms.tps"), "data/forms.tps");
  EXPECT_EQ(HostPath(".\\data\\FILLEDFO.TPS  "), "data/FILLEDFO.TPS");
  EXPECT_EQ(HostPath("store.tps\\!versions"), "store.tps");
}

TEST(FilesBlockCodec, DamagedBlocksDecodeSafely) {
  // 100000 groups nested in one another, then an array whose size wraps
  // 32 bits: decoding neither recurses nor lets the field fit a record.
  std::vector<uint8_t> blk = Bytes({0x16, 0, 8, 0, 0, 0, 0xA1, 0x86, 0x01, 0, 0, 0, 0, 0});
  for (int i = 0; i < 100000; ++i)
    blk.insert(blk.end(), {0x16, 0x02, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0});
  blk.insert(blk.end(), {0x06, 0x12, 0, 2, 0x5F, 0xFF, 0xFF, 0x5F, 0xFF, 0xFF});
  auto f = FileDecl::FromBlock("X", "X", "ISAM", blk, {}, {}, 0, 8);
  ASSERT_EQ(f->Fields().size(), 100001u);
  const FieldInfo& arr = f->Fields().back();
  EXPECT_EQ(arr.parent, 99999);
  EXPECT_EQ(arr.Elements(), UINT32_MAX);
  EXPECT_EQ(arr.Bytes(), UINT32_MAX);
  f->ClearRecord();
}
