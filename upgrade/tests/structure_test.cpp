// The structure description queues DST and SRC.
#include <map>

#include "engine_fixture.h"
#include "velmora/upgrade/structure.h"

namespace {

using enginetest::Engine;

std::map<std::string, upg::FieldRow> ByName(const std::vector<upg::FieldRow>& q) {
  std::map<std::string, upg::FieldRow> m;
  for (const upg::FieldRow& r : q) m[r.name] = r;
  return m;
}

class StructureQueues : public Engine {};

TEST_F(StructureQueues, OffsetsSizesAndNameOrder) {
  auto file = db::DeclBuilder("Test", "T")
                  .Driver("ISAM")
                  .Field(db::Type::String, "STAMP", 8)
                  .BeginGroup("PARTS").Over("STAMP")
                  .Field(db::Type::Date, "D")
                  .Field(db::Type::Time, "TM")
                  .EndGroup()
                  .Field(db::Type::Long, "ARR").Dim({3, 4})
                  .Field(db::Type::Decimal, "PRICE", 7, 2)
                  .Field(db::Type::Byte, "BIG").Dim({8192})
                  .Field(db::Type::Byte, "AFTER").Picture("@n3")
                  .Memo("NOTES", db::kMemoText, 1000)
                  .Build();
  upg::LoadDstQueue(*file);
  std::vector<std::string> names;
  for (const upg::FieldRow& r : upg::DstQueue()) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"T:AFTER", "T:ARR", "T:BIG", "T:D", "T:NOTES",
                                             "T:PRICE", "T:STAMP", "T:TM"}));
  auto dst = ByName(upg::DstQueue());
  EXPECT_EQ(dst["T:STAMP"].offset, 1u);
  EXPECT_EQ(dst["T:STAMP"].len, 8u);
  EXPECT_EQ(dst["T:D"].offset, 1u);   // the DATE on the string's first bytes
  EXPECT_EQ(dst["T:TM"].offset, 5u);  // the TIME four bytes further
  EXPECT_EQ(dst["T:D"].overed, 1);
  EXPECT_EQ(dst["T:TM"].overed, 1);
  EXPECT_EQ(dst["T:STAMP"].overed, 0);
  EXPECT_EQ(dst["T:ARR"].offset, 9u);
  EXPECT_EQ(dst["T:ARR"].len, 4u);
  EXPECT_EQ(dst["T:ARR"].dims, 2);
  EXPECT_EQ(std::vector<int32_t>(dst["T:ARR"].dim.begin(), dst["T:ARR"].dim.begin() + 4),
            (std::vector<int32_t>{3, 4, 1, 1}));
  EXPECT_EQ(dst["T:PRICE"].offset, 9u + 48);
  EXPECT_EQ(dst["T:PRICE"].len, 4u);
  EXPECT_EQ(dst["T:PRICE"].chars, 7);
  EXPECT_EQ(dst["T:PRICE"].places, 2);
  EXPECT_EQ(dst["T:BIG"].dim[0], 8192);  // a three-byte dimension reads back whole
  EXPECT_EQ(dst["T:AFTER"].offset, 9u + 48 + 4 + 8192);
  EXPECT_EQ(dst["T:AFTER"].picture, "@n3");
  EXPECT_EQ(dst["T:NOTES"].type, upg::kMemoRowType);
  EXPECT_EQ(dst["T:NOTES"].offset, 7u);  // its label's length
  EXPECT_EQ(dst["T:NOTES"].len, 1000u);
  EXPECT_EQ(dst["T:NOTES"].ptr, &file->Memos()[0].data);

  upg::LoadSrcQueue(*file);
  auto src = ByName(upg::SrcQueue());
  EXPECT_EQ(src.size(), 6u);  // no group members over another field
  EXPECT_FALSE(src.contains("T:D"));
  EXPECT_FALSE(src.contains("T:TM"));
  EXPECT_EQ(src["T:STAMP"].offset, 1u);
  EXPECT_EQ(src["T:ARR"].offset, 9u);
  EXPECT_EQ(src["T:AFTER"].offset, 9u + 48 + 4 + 8192);
}

TEST_F(StructureQueues, OverBitWithoutItsReferenceIsAnOrdinaryField) {
  std::vector<uint8_t> block = {0x16, 0, 6, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
  // A LONG with the OVER bit and a reference whose high bit is clear, then a SHORT.
  block.insert(block.end(), {6, 0x0A, 'T', ':', 'A', 0, 0x01});
  block.insert(block.end(), {2, 0x02, 'T', ':', 'B', 0});
  block[10] = static_cast<uint8_t>(block.size());
  auto file = db::FileDecl::FromBlock("Test", "T", "ISAM", block, {}, {}, 0, 6);
  upg::LoadDstQueue(*file);
  upg::LoadSrcQueue(*file);
  for (const auto* q : {&upg::DstQueue(), &upg::SrcQueue()}) {
    auto rows = ByName(*q);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows["T:A"].attrib & db::kMemOver, 0);
    EXPECT_EQ(rows["T:A"].offset, 1u);
    EXPECT_EQ(rows["T:B"].offset, 5u);
  }
}

TEST_F(StructureQueues, SourceLoadStopsFirstWithItsSwitch) {
  auto file = db::DeclBuilder("Test", "T").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  CommandLine({"/debugrv2f"});
  upg::LoadSrcQueue(*file);
  EXPECT_EQ(stops_, std::vector<std::string>{"LoadSrcQueue"});
  EXPECT_EQ(upg::SrcQueue().size(), 1u);
}

}  // namespace
