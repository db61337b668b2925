// The record copy: fields matched by name, alternate name and array
// element, OVER groups, primed fields, whole memos and blobs; and the
// splitting of file names.
#include <cstring>
#include <map>

#include "engine_fixture.h"
#include "velmora/runtime/datetime.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/structure.h"

namespace {

using enginetest::Engine;
using T = db::Type;

uint8_t* At(db::FileDecl& f, std::string_view label, size_t element = 0) {
  int i = f.FieldIndex(label);
  EXPECT_GE(i, 0) << label;
  const db::FieldInfo& fi = f.Fields()[static_cast<size_t>(i)];
  return f.Record() + fi.offset + element * fi.size;
}
template <typename V>
void Set(db::FileDecl& f, std::string_view label, V v, size_t element = 0) {
  std::memcpy(At(f, label, element), &v, sizeof v);
}
template <typename V>
V Get(db::FileDecl& f, std::string_view label, size_t element = 0) {
  V v;
  std::memcpy(&v, At(f, label, element), sizeof v);
  return v;
}
void SetText(db::FileDecl& f, std::string_view label, std::string_view text, size_t len) {
  std::memset(At(f, label), ' ', len);
  std::memcpy(At(f, label), text.data(), text.size());
}
std::string Text(db::FileDecl& f, std::string_view label, size_t len) {
  return std::string(reinterpret_cast<const char*>(At(f, label)), len);
}
std::vector<uint8_t>& Memo(db::FileDecl& f, std::string_view label) {
  return f.Memos()[static_cast<size_t>(f.MemoIndex(label))].data;
}

class RecordCopy : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    upg::AfnQueue().clear();
    upg::OldFormatSource() = 0;
    upg::FilePrefix() = "T";
  }
  void TearDown() override {
    upg::AfnQueue().clear();
    upg::OldFormatSource() = 0;
    Engine::TearDown();
  }
  // Copies with a destination buffer full of 0xEE, so priming shows.
  void Copy(db::FileDecl& from, db::FileDecl& to) {
    upg::LoadDstQueue(to);
    upg::LoadSrcQueue(from);
    std::memset(to.Record(), 0xEE, to.RecordLength());
    upg::CopyRec(from, to);
  }
};

// Fields that keep their type and size are copied unchanged, in runs
// where they lie side by side in both records, for every record of the
// loaded queues; a new load (another layout) is worked out again.
TEST_F(RecordCopy, UnchangedFieldsFollowTheirNamesAcrossRecordsAndLoads) {
  auto from = db::DeclBuilder("Old", "T")
                  .Field(T::Long, "A")
                  .Field(T::Long, "B")
                  .Field(T::Short, "C")
                  .Field(T::Real, "D")
                  .Field(T::Long, "E")
                  .Build();
  auto to = db::DeclBuilder("New", "T")
                .Field(T::Long, "B")
                .Field(T::Long, "A")
                .Field(T::Long, "NEW")
                .Field(T::Short, "C")
                .Field(T::Real, "D")
                .Field(T::Long, "E")
                .Build();
  auto fill = [&](int n) {
    Set<int32_t>(*from, "T:A", n);
    Set<int32_t>(*from, "T:B", n + 1);
    Set<int16_t>(*from, "T:C", static_cast<int16_t>(n + 2));
    Set<double>(*from, "T:D", n + 0.5);
    Set<int32_t>(*from, "T:E", n + 4);
  };
  fill(10);
  Copy(*from, *to);
  fill(20);  // the next record, with the same queues
  std::memset(to->Record(), 0xEE, to->RecordLength());
  upg::CopyRec(*from, *to);
  EXPECT_EQ(Get<int32_t>(*to, "T:A"), 20);
  EXPECT_EQ(Get<int32_t>(*to, "T:B"), 21);
  EXPECT_EQ(Get<int32_t>(*to, "T:NEW"), 0);
  EXPECT_EQ(Get<int16_t>(*to, "T:C"), 22);
  EXPECT_EQ(Get<double>(*to, "T:D"), 20.5);
  EXPECT_EQ(Get<int32_t>(*to, "T:E"), 24);

  // Another layout of the same length: C retyped, the rest moved.
  auto other = db::DeclBuilder("Other", "T")
                   .Field(T::Long, "E")
                   .Field(T::Long, "C")
                   .Field(T::Real, "D")
                   .Field(T::Long, "A")
                   .Field(T::Long, "X")
                   .Field(T::Short, "Y")
                   .Build();
  ASSERT_EQ(other->RecordLength(), to->RecordLength());
  fill(30);
  Copy(*from, *other);
  EXPECT_EQ(Get<int32_t>(*other, "T:E"), 34);
  EXPECT_EQ(Get<int32_t>(*other, "T:C"), 32);
  EXPECT_EQ(Get<double>(*other, "T:D"), 30.5);
  EXPECT_EQ(Get<int32_t>(*other, "T:A"), 30);
}

TEST_F(RecordCopy, FieldsAddedRemovedRetypedResizedAndRenamed) {
  auto from = db::DeclBuilder("Old", "T")
                  .Field(T::Long, "ID")
                  .Field(T::String, "NAME", 10)
                  .Field(T::Short, "QTY")
                  .Field(T::Long, "GONE")
                  .Field(T::String, "OLDCODE", 6)
                  .Field(T::Real, "PRICE")
                  .Field(T::Long, "ARR").Dim({3})
                  .Field(T::String, "OTHER:CODE", 4)
                  .Build();
  auto to = db::DeclBuilder("New", "T")
                .Field(T::String, "ADDS", 5)
                .Field(T::Long, "ID")
                .Field(T::String, "NAME", 20)
                .Field(T::String, "QTY", 8)
                .Field(T::CString, "NEWCODE", 8)
                .Field(T::Decimal, "PRICE", 7, 2)
                .Field(T::Long, "ARR").Dim({5})
                .Field(T::Long, "ADDL")
                .Field(T::CString, "ADDC", 4)
                .Field(T::PString, "ADDP", 4)
                .Field(T::Long, "SECOND")
                .Field(T::Long, "BEYOND")
                .Field(T::String, "COLON", 4)
                .Build();
  Set<int32_t>(*from, "T:ID", 42);
  SetText(*from, "T:NAME", "Ann Smith", 10);
  Set<int16_t>(*from, "T:QTY", -17);
  Set<int32_t>(*from, "T:GONE", 99);
  SetText(*from, "T:OLDCODE", "AB12", 6);
  Set<double>(*from, "T:PRICE", 12.5);
  for (int i = 0; i < 3; ++i) Set<int32_t>(*from, "T:ARR", 10 * (i + 1), size_t(i));
  SetText(*from, "T:OTHER:CODE", "OC", 4);
  upg::AfnQueue() = {{"T:NEWCODE", "OLDCODE"},      // no colon: the file's prefix
                     {"T:SECOND", "T:ARR[2]"},      // one element of an array
                     {"T:BEYOND", "T:ARR[5]"},      // no such element: primed
                     {"T:COLON", "T:OTHER:CODE"}};  // a colon: looked for as it stands
  Copy(*from, *to);

  EXPECT_EQ(Get<int32_t>(*to, "T:ID"), 42);
  EXPECT_EQ(Text(*to, "T:NAME", 20), "Ann Smith           ");
  EXPECT_EQ(Text(*to, "T:QTY", 8), "-17     ");
  EXPECT_EQ(Text(*to, "T:NEWCODE", 8), std::string("AB12\0\0\0\0", 8));
  EXPECT_EQ(std::vector<uint8_t>(At(*to, "T:PRICE"), At(*to, "T:PRICE") + 4),
            (std::vector<uint8_t>{0x00, 0x00, 0x12, 0x50}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Get<int32_t>(*to, "T:ARR", size_t(i)), 10 * (i + 1));
  EXPECT_EQ(Get<int32_t>(*to, "T:ARR", 3), 0);  // beyond the source array: primed
  EXPECT_EQ(Get<int32_t>(*to, "T:ARR", 4), 0);
  EXPECT_EQ(Get<int32_t>(*to, "T:SECOND"), 20);
  EXPECT_EQ(Get<int32_t>(*to, "T:BEYOND"), 0);
  EXPECT_EQ(Text(*to, "T:COLON", 4), "OC  ");
  // Added fields: blanks for STRING and PSTRING, zeros for the others.
  EXPECT_EQ(Text(*to, "T:ADDS", 5), "     ");
  EXPECT_EQ(Get<int32_t>(*to, "T:ADDL"), 0);
  EXPECT_EQ(Text(*to, "T:ADDC", 4), std::string(4, '\0'));
  EXPECT_EQ(Text(*to, "T:ADDP", 4), "    ");
}

TEST_F(RecordCopy, TheAliasPairsOfTheProgram) {
  auto from = db::DeclBuilder("FilledForm", "FIL")
                  .Field(T::Long, "ID")
                  .Field(T::Long, "DATECREATED")
                  .Field(T::Long, "TIMECREATED")
                  .Field(T::Long, "FORMID")
                  .Field(T::String, "FILLEDFORMNAME", 50)
                  .Build();
  auto to = db::DeclBuilder("AliasFilledForm", "ALI")
                .Field(T::Long, "ID")
                .Field(T::Date, "DATECREATED")
                .Field(T::Time, "TIMECREATED")
                .Field(T::Long, "FORMID")
                .Field(T::String, "FILLEDFORMNAME", 60)
                .Build();
  for (const char* name : {"ID", "DateCreated", "TimeCreated", "FormID", "FilledFormName"})
    upg::AfnQueue().push_back({rt::Upper(std::string("ALI:") + name),
                               rt::Upper(std::string("FIL:") + name)});
  Set<int32_t>(*from, "FIL:ID", 7);
  Set<int32_t>(*from, "FIL:DATECREATED", 80000);
  Set<int32_t>(*from, "FIL:TIMECREATED", 360001);
  Set<int32_t>(*from, "FIL:FORMID", 3);
  SetText(*from, "FIL:FILLEDFORMNAME", "Tax return", 50);
  Copy(*from, *to);
  EXPECT_EQ(Get<int32_t>(*to, "ALI:ID"), 7);
  EXPECT_EQ(Get<uint32_t>(*to, "ALI:DATECREATED"), rt::PackDate(80000));
  EXPECT_EQ(Get<uint32_t>(*to, "ALI:TIMECREATED"), rt::PackTime(360001));
  EXPECT_EQ(Get<int32_t>(*to, "ALI:FORMID"), 3);
  EXPECT_EQ(Text(*to, "ALI:FILLEDFORMNAME", 60), "Tax return" + std::string(50, ' '));
}

TEST_F(RecordCopy, OverGroupsKeepTheFieldsAfterThemInPlace) {
  auto build = [](bool extra) {
    db::DeclBuilder b("F", "T");
    if (extra) b.Field(T::Long, "FIRST");
    return b.Field(T::String, "STAMP", 8)
        .BeginGroup("PARTS").Over("STAMP")
        .Field(T::Date, "D")
        .Field(T::Time, "TM")
        .EndGroup()
        .Field(T::String, "CODE", 6)
        .BeginGroup("TRIO").Over("CODE")
        .Field(T::String, "A", 2)
        .Field(T::String, "B", 2)
        .Field(T::String, "C", 2)
        .EndGroup()
        .BeginGroup("PAIR").Dim({2})
        .Field(T::Short, "P")
        .EndGroup()
        .Field(T::Long, "AFTER")
        .Memo("DOC", db::kMemoBinary, 0)
        .Build();
  };
  auto from = build(false), to = build(true);
  Set<uint32_t>(*from, "T:D", rt::PackDate(77777));
  Set<uint32_t>(*from, "T:TM", rt::PackTime(4000));
  SetText(*from, "T:CODE", "AABBCC", 6);
  Set<int32_t>(*from, "T:AFTER", 123456);
  Memo(*from, "T:DOC") = {1, 2, 3};
  Copy(*from, *to);

  std::map<std::string, upg::FieldRow> dst;
  for (const upg::FieldRow& r : upg::DstQueue()) dst[r.name] = r;
  EXPECT_EQ(dst["T:A"].offset, dst["T:CODE"].offset);
  EXPECT_EQ(dst["T:C"].offset, dst["T:CODE"].offset + 4);
  EXPECT_EQ(dst["T:AFTER"].offset, 4u + 8 + 6 + 4 + 1);  // after the whole group array
  EXPECT_EQ(dst["T:DOC"].overed, 0);  // the memo after an OVER member's row
  EXPECT_EQ(Get<uint32_t>(*to, "T:D"), rt::PackDate(77777));
  EXPECT_EQ(Get<uint32_t>(*to, "T:TM"), rt::PackTime(4000));
  EXPECT_EQ(Text(*to, "T:CODE", 6), "AABBCC");
  EXPECT_EQ(Get<int32_t>(*to, "T:AFTER"), 123456);
  EXPECT_EQ(Memo(*to, "T:DOC"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(RecordCopy, ArraysOfGroupsAreCopiedElementByElement) {
  auto build = [](uint32_t lines, bool wider) {
    return db::DeclBuilder("F", "T")
        .BeginGroup("LINES").Dim({lines})
        .Field(wider ? T::Long : T::Short, "QTY")
        .Field(T::String, "NAME", wider ? 6 : 4)
        .EndGroup()
        .Field(T::Long, "AFTER")
        .Build();
  };
  auto from = build(3, false), to = build(4, true);
  for (int g = 0; g < 3; ++g) {
    std::memcpy(from->Record() + 6 * g, &g, 2);
    std::memcpy(from->Record() + 6 * g + 2, "abc", 3);
    from->Record()[6 * g + 5] = static_cast<uint8_t>('0' + g);
  }
  Set<int32_t>(*from, "T:AFTER", -9);
  Copy(*from, *to);
  for (int g = 0; g < 4; ++g) {
    int32_t qty;
    std::memcpy(&qty, to->Record() + 10 * g, 4);
    std::string name(reinterpret_cast<const char*>(to->Record()) + 10 * g + 4, 6);
    EXPECT_EQ(qty, g < 3 ? g : 0) << g;
    EXPECT_EQ(name, g < 3 ? "abc" + std::string(1, char('0' + g)) + "  " : "      ") << g;
  }
  EXPECT_EQ(Get<int32_t>(*to, "T:AFTER"), -9);
}

TEST_F(RecordCopy, MemosAndBlobsOfAnySizeAreCopiedWhole) {
  auto from = db::DeclBuilder("F", "T")
                  .Field(T::Long, "ID")
                  .Memo("PDFDATA", db::kMemoBinary, 0)
                  .Memo("NOTES", db::kMemoText, 100)
                  .Memo("OLDIMAGE", db::kMemoBinary, 0)
                  .Build();
  auto to = db::DeclBuilder("F", "T")
                .Field(T::Long, "ID")
                .Memo("NOTES", db::kMemoText, 50)
                .Memo("PAGEIMAGE", db::kMemoBinary, 0)
                .Memo("PDFDATA", db::kMemoBinary, 0)
                .Memo("EXTRA", db::kMemoText, 10)
                .Build();
  std::vector<uint8_t> pdf(5 * 1024 * 1024), image(700000);
  for (size_t i = 0; i < pdf.size(); ++i) pdf[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13);
  Memo(*from, "T:PDFDATA") = pdf;
  Memo(*from, "T:NOTES") = std::vector<uint8_t>(1000, 'n');  // above both declared sizes
  Memo(*from, "T:OLDIMAGE") = image;
  Memo(*to, "T:EXTRA") = {'o', 'l', 'd'};
  upg::AfnQueue() = {{"T:PAGEIMAGE", "T:OLDIMAGE"}};
  Copy(*from, *to);
  EXPECT_EQ(Memo(*to, "T:PDFDATA"), pdf);
  EXPECT_EQ(Memo(*to, "T:NOTES"), std::vector<uint8_t>(1000, 'n'));
  EXPECT_EQ(Memo(*to, "T:PAGEIMAGE"), image);
  EXPECT_TRUE(Memo(*to, "T:EXTRA").empty());  // no source: an empty memo
}

TEST_F(RecordCopy, GuidFieldsAndOldFormatNames) {
  upg::SetUpgKeyFields("F", "t", 1);
  auto from = db::DeclBuilder("F", "T").Field(T::Long, "AVERYLONGFIELD").Build();
  auto to = db::DeclBuilder("F", "T")
                .Field(T::String, "GUID", 16)
                .Field(T::String, "OTHER", 16)
                .Field(T::Long, "AVERYLONGFIELDNAME")
                .Build();
  Set<int32_t>(*from, "T:AVERYLONGFIELD", 5);
  for (int round = 0; round < 20; ++round) {
    Copy(*from, *to);
    std::string guid = Text(*to, "T:GUID", 16);
    for (char c : guid) {
      EXPECT_NE(c, '\0');
      EXPECT_NE(c, '\'');
    }
  }
  EXPECT_EQ(Text(*to, "T:OTHER", 16), std::string(16, ' '));
  EXPECT_EQ(Get<int32_t>(*to, "T:AVERYLONGFIELDNAME"), 0);  // not an old-format source

  upg::OldFormatSource() = 1;  // matched by the first 16 characters
  Copy(*from, *to);
  EXPECT_EQ(Get<int32_t>(*to, "T:AVERYLONGFIELDNAME"), 5);
}

TEST_F(RecordCopy, UnrealFieldsAreNeitherPrimedNorConverted) {
  upg::ds_SetOption("unrealfield", "t:kept");
  auto from = db::DeclBuilder("F", "T").Field(T::Long, "ID").Build();
  auto to = db::DeclBuilder("F", "T")
                .Field(T::Long, "ID")
                .Field(T::Long, "KEPT")
                .Field(T::Long, "PRIMED")
                .Build();
  Set<int32_t>(*from, "T:ID", 4);
  Copy(*from, *to);
  EXPECT_EQ(Get<int32_t>(*to, "T:ID"), 4);
  EXPECT_EQ(Get<uint32_t>(*to, "T:KEPT"), 0xEEEEEEEEu);  // what the buffer held
  EXPECT_EQ(Get<int32_t>(*to, "T:PRIMED"), 0);
}

TEST(ArraySubscripts, Parse) {
  struct {
    const char* text;
    rt::Long a, b, c, d;
  } cases[] = {
      {"OLD:ARR[2,3]", 2, 3, 1, 1}, {"OLD:ARR[7]", 7, 1, 1, 1},    {"OLD:ARR", 1, 1, 1, 1},
      {"A[1,2,3,4,5]", 1, 2, 3, 4}, {"A[2,3", 2, 1, 1, 1},         {"A[x]", 0, 1, 1, 1},
      {"A[4,5,6]", 4, 5, 6, 1},
  };
  for (const auto& c : cases) {
    rt::Long a = 9, b = 9, cc = 9, d = 9;
    upg::ParseArraySubscripts(c.text, a, b, cc, d);
    EXPECT_EQ((std::vector<rt::Long>{a, b, cc, d}), (std::vector<rt::Long>{c.a, c.b, c.c, c.d}))
        << c.text;
  }
}

TEST(FileNameSplitting, DriversAndNames) {
  struct {
    const char *name, *driver, *drive, *dir, *file, *ext;
  } cases[] = {
      {"C:\\DATA\\CUSTOMER.DAT", "TOPSPEED", "C:", "\\DATA\\", "CUSTOMER", ".DAT"},
      {"DATA\\ARCHIVE.TPS\\!ORDERS", "TOPSPEED", "", "DATA\\", "ARCHIVE", ".TPS\\!ORDERS"},
      {"dbo.CUSTOMER", "MSSQL", "", "", "dbo.CUSTOMER", ""},
      {"C:\\x\\dbo.T", "odbc", "C:", "\\x\\", "C:\\x\\dbo.T", ""},
      {"CUSTOMER", "TOPSPEED", "", "", "CUSTOMER", ""},
      {".\\data\\forms.tps", "ISAM", "", ".\\data\\", "forms", ".tps"},
      {"C:NAME.X", "ISAM", "C:", "", "NAME", ".X"},
      {"DIR.V1\\NAME", "ISAM", "", "DIR.V1\\", "NAME", ""},
  };
  for (const auto& c : cases) {
    std::string drive = "?", dir = "?", file = "?", ext = "?";
    upg::nSplit(c.name, c.driver, drive, dir, file, ext);
    EXPECT_EQ(drive, c.drive) << c.name;
    EXPECT_EQ(dir, c.dir) << c.name;
    EXPECT_EQ(file, c.file) << c.name;
    EXPECT_EQ(ext, c.ext) << c.name;
  }
}

}  // namespace
