// The declared structure as FDQ, KDQ and MDQ rows: the nine data files, a
// declaration with every type, OVER groups, arrays, memos and blobs, keys
// on date-time pairs, and damaged descriptor blocks.
#include <thread>

#include "engine_fixture.h"
#include "velmora/data/dictionary.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/interpret.h"

namespace {

using enginetest::Engine;
using T = db::Type;

struct FieldExpect {
  size_t row;  // 1-based field number
  const char* name;
  const char* type;
  const char* cpict;
  long length;
  long offset;
  const char* attrib;
};
struct KeyExpect {
  const char* name;
  const char* att;
  const char* fields;
};
struct MemoExpect {
  const char* name;
  const char* attrib;
  int type;
};
struct FileExpect {
  data::FileId id;
  const char* prefix;
  size_t fieldCount;
  std::vector<FieldExpect> fields;
  std::vector<KeyExpect> keys;
  std::vector<MemoExpect> memos;
};

class Interpret : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    upg::ServerCaseSensitive() = 0;
  }
  void TearDown() override {
    upg::ServerCaseSensitive() = 0;
    Engine::TearDown();
  }
  static void CheckField(const FieldExpect& e) {
    SCOPED_TRACE(e.name);
    ASSERT_LE(e.row, upg::Fdq().size());
    const upg::FdqRow& r = upg::Fdq()[e.row - 1];
    EXPECT_EQ(r.name, e.name);
    EXPECT_EQ(r.type, e.type);
    EXPECT_EQ(r.cpict, e.cpict);
    EXPECT_EQ(r.length, e.length);
    EXPECT_EQ(r.offset, e.offset);
    EXPECT_EQ(r.attrib, e.attrib);
    EXPECT_EQ(r.cnum, static_cast<long>((e.row - 1) % 75 + 1));
    EXPECT_EQ(r.width, 65);
  }
  static void CheckKeys(const std::vector<KeyExpect>& keys) {
    ASSERT_EQ(upg::Kdq().size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      const upg::KdqRow& k = upg::Kdq()[i];
      EXPECT_EQ(k.keyName, keys[i].name);
      EXPECT_EQ(k.att, keys[i].att) << keys[i].name;
      EXPECT_EQ(k.fields, keys[i].fields) << keys[i].name;
      EXPECT_EQ(k.numFields, static_cast<long>(k.fieldNums.size())) << keys[i].name;
    }
  }
};

constexpr const char* kPrimary = " opt nocase primary";
constexpr const char* kDup = " dup opt nocase";

TEST_F(Interpret, TheNineDataFiles) {
  const std::vector<FileExpect> table = {
      {data::FileId::Forms, "FOR", 15,
       {{1, "Id", "long", "@n-13", 4, 0, ""},
        {2, "Formname", "cstring(80)", "@s80", 80, 4, ""},
        {3, "Datecreated", "long", "@n-13", 4, 84, ""},
        {5, "Ispdf", "byte", "@n3", 1, 92, ""},
        {15, "Totalpages", "short", "@n-7", 2, 1561, ""}},
       {{"Id_key", kPrimary, " ID"},
        {"Formname_key", kDup, " FORMNAME"},
        {"Datecreated_key", kDup, " DATECREATED"},
        {"Filename_key", kDup, " ORIGINALPDFFILE"}},
       {{"Pdfdata", "Binary", 2}}},
      {data::FileId::PDFDetails, "PDF", 9,
       {{2, "Pdfversion", "cstring(20)", "@s20", 20, 4, ""}},
       {{"Formid_key", kDup, " ID"}},
       {}},
      {data::FileId::FilledForm, "FIL", 5,
       {{5, "Filledformname", "string(128)", "@s128", 128, 16, ""}},
       {{"Formid_key", " opt nocase", " FORMID FILLEDFORMNAME"}, {"Id_key", kPrimary, " ID"}},
       {}},
      {data::FileId::FormPages, "FOR1", 7,
       {{2, "Pageno", "short", "@n-7", 2, 4, ""}, {4, "Pagewidth", "real", "@n-13.2", 8, 7, ""}},
       {{"Formid_key", kDup, " FORMID PAGENO"}},
       {{"Pageimage", "Binary", 2}, {"Pagecontent", "Ascii", 1}, {"Pagetext", "Ascii", 1}}},
      {data::FileId::PageControls, "PAG", 47,
       {{6, "Controlname", "cstring(80)", "@s80", 80, 16, ""},
        {47, "Hidden", "byte", "@n3", 1, 660, ""}},
       {{"Formid_key", kDup, " FORMID PAGENO CONTROLUNIQUEID"},
        {"Formiduniqueid_key", kDup, " FORMID CONTROLUNIQUEID"},
        {"Formidcontroid_key", kDup, " FORMID CONTROLID"},
        {"Taborder_key", kDup, " FORMID PAGENO CONTROLTABORDER"}},
       {}},
      {data::FileId::FieldValues, "FIE", 5,
       {{4, "Controlvalue", "cstring(60)", "@s60", 60, 10, ""}},
       {{"Number_key", kDup, " FORMID CONTROLID VALUENUMBER"},
        {"Radiobuttonnumber_key", kDup, " FORMID CONTROLID RADIOBUTTONNUMBER"},
        {"Value_key", kDup, " FORMID CONTROLID CONTROLVALUE"}},
       {}},
      {data::FileId::FilledData, "FIL1", 6,
       {{6, "Value", "cstring(4096)", "@s4096", 4096, 139, ""}},
       {{"Filedform_key", kDup, " ID PAGENO CONTROLID"}},
       {}},
      {data::FileId::ImportFields, "IMP", 6,
       {{1, "Pageno", "short", "@n-7", 2, 0, ""}, {6, "Fieldheight", "real", "@n-13.2", 8, 106, ""}},
       {},
       {}},
      {data::FileId::AliasFilledForm, "ALI", 5,
       {{1, "Id", "long", "@n-13", 4, 0, ""}},
       {{"Formid_key", " opt nocase", " FORMID FILLEDFORMNAME"}, {"Id_key", kPrimary, " ID"}},
       {}},
  };
  for (const FileExpect& f : table) {
    auto file = data::Declaration(f.id).Clone();
    SCOPED_TRACE(file->Label());
    upg::ds_InterpretStructure(*file);
    EXPECT_EQ(upg::FilePrefix(), f.prefix);
    EXPECT_EQ(upg::Fdq().size(), f.fieldCount);
    for (const FieldExpect& e : f.fields) CheckField(e);
    CheckKeys(f.keys);
    ASSERT_EQ(upg::Mdq().size(), f.memos.size());
    for (size_t i = 0; i < f.memos.size(); ++i) {
      EXPECT_EQ(upg::Mdq()[i].memoName, f.memos[i].name);
      EXPECT_EQ(upg::Mdq()[i].attrib, f.memos[i].attrib);
      EXPECT_EQ(upg::Mdq()[i].type, f.memos[i].type);
      EXPECT_EQ(upg::Mdq()[i].ptr, &file->Memos()[i].data);
    }
    // Every field's row: its record position and storage size agree with
    // the runtime's own layout.
    for (size_t i = 0; i < file->Fields().size(); ++i) {
      EXPECT_EQ(upg::Fdq()[i].offset, static_cast<long>(file->Fields()[i].offset));
      EXPECT_EQ(upg::Fdq()[i].typeNum, static_cast<long>(file->Fields()[i].type));
    }
  }
}

// Every type, a DATE/TIME group OVER a string, a field OVER another, a
// two-dimensional array, an array of groups, a three-byte string length,
// pictures, external names, a text memo and a blob.
std::unique_ptr<db::FileDecl> Synthetic() {
  return db::DeclBuilder("Syn", "SYN")
      .Field(T::Byte, "B")                                       // 1
      .Field(T::Short, "S")                                      // 2
      .Field(T::UShort, "US")                                    // 3
      .Field(T::Date, "D")                                       // 4
      .Field(T::Time, "T")                                       // 5
      .Field(T::Long, "L").Dim({3, 4})                           // 6
      .Field(T::ULong, "UL")                                     // 7
      .Field(T::SReal, "SR")                                     // 8
      .Field(T::Real, "R")                                       // 9
      .Field(T::Decimal, "DEC", 7, 2)                            // 10
      .Field(T::PDecimal, "PD", 5, 1)                            // 11
      .Field(T::BFloat4, "BF4")                                  // 12
      .Field(T::BFloat8, "BF8")                                  // 13
      .Field(T::String, "STAMP", 8)                              // 14
      .BeginGroup("STAMPPARTS").Over("SYN:STAMP")                // 15
      .Field(T::Date, "STAMPDATE")                               // 16
      .Field(T::Time, "STAMPTIME")                               // 17
      .EndGroup()
      .Field(T::CString, "NAME", 30).Picture("@s30").ExtName("\"FullName\"")  // 18
      .Field(T::PString, "CODE", 10)                             // 19
      .Field(T::String, "BIG", 9000)                             // 20
      .Field(T::Long, "ALIAS").Over("SYN:UL")                    // 21
      .Field(T::String, "NOTE", 10).ExtName("Note|READONLY")     // 22
      .BeginGroup("ARR").Dim({2})                                // 23
      .Field(T::Long, "A1")                                      // 24
      .Field(T::String, "A2", 5)                                 // 25
      .EndGroup()
      .Field(T::String, "PIC2", 20).Picture("s20")               // 26
      .Key("Stamp_Key", {16, 17, 18}, db::kKeyDup)
      .Key("Desc_Key", {-2, 1}, db::kKeyDup | 0x20)
      .Key("Note_Key", {22}, db::kKeyPrimary | db::kKeyDup)
      .Key("Bad_Key", {99, 3}, 0)
      .Memo("NOTES", db::kMemoText, 500, "notes.mem")
      .Memo("IMAGE", db::kMemoBinary, 0)
      .Build();
}

TEST_F(Interpret, EveryTypeOverGroupsArraysMemosAndBlobs) {
  upg::ds_SetOption("unrealfield", "SYN:STAMP");
  upg::ds_SetOption("realfield", "SYN:STAMPDATE");
  upg::ds_SetOption("realfield", "SYN:STAMPTIME");
  auto file = Synthetic();
  upg::ds_InterpretStructure(*file);
  EXPECT_EQ(upg::FilePrefix(), "SYN");
  ASSERT_EQ(upg::Fdq().size(), 26u);
  const std::vector<FieldExpect> rows = {
      {1, "B", "byte", "@n3", 1, 0, ""},
      {2, "S", "short", "@n-7", 2, 1, ""},
      {3, "Us", "ushort", "@n6", 2, 3, ""},
      {4, "D", "date", "@d1", 4, 5, ""},
      {5, "T", "time", "@t1", 4, 9, ""},
      {6, "L", "long", "@n-13", 4, 13, " dim(3,4)"},
      {7, "Ul", "ulong", "@n13", 4, 61, ""},
      {8, "Sr", "sreal", "@n-13.2", 4, 65, ""},
      {9, "R", "real", "@n-13.2", 8, 69, ""},
      {10, "Dec", "decimal(7,2)", "@n-13.2", 4, 77, ""},
      {11, "Pd", "pdecimal(5,1)", "@n-13.2", 3, 81, ""},
      {12, "Bf4", "bfloat4", "@n-13.2", 4, 84, ""},
      {13, "Bf8", "bfloat8", "@n-13.2", 8, 88, ""},
      {14, "Stamp", "string(8)", "@s8", 8, 96, ""},
      {15, "Stampparts", "group (next 2 fields)", "@s5", 8, 96, " over"},
      {16, "Stampdate", "date", "@d1", 4, 96, ""},
      {17, "Stamptime", "time", "@t1", 4, 100, ""},
      {18, "Name", "cstring(@s30)", "@s30", 30, 104, " picture name(FullName)"},
      {19, "Code", "pstring(10)", "@s10", 10, 134, ""},
      {20, "Big", "string(9000)", "@s9000", 9000, 144, ""},
      {21, "Alias", "long", "@s5", 4, 61, " over"},
      {22, "Note", "string(10)", "@s10", 10, 9144, " name(Note|READONLY)"},
      {23, "Arr", "group (next 2 fields)", "@s9", 9, 9154, " dim(2)"},
      {24, "A1", "long", "@n-13", 4, 9154, ""},
      {25, "A2", "string(5)", "@s5", 5, 9158, ""},
      {26, "Pic2", "string(s20)", "@s20", 20, 9172, " picture"},
  };
  for (const FieldExpect& e : rows) CheckField(e);

  const std::vector<upg::FdqRow>& f = upg::Fdq();
  EXPECT_EQ(f[9].chars, 7);
  EXPECT_EQ(f[9].places, 2);
  EXPECT_EQ(f[10].chars, 5);
  EXPECT_EQ(f[10].places, 1);
  EXPECT_EQ(f[5].dims, (std::array<rt::Long, 4>{3, 4, 0, 0}));
  EXPECT_EQ(f[5].factor, (std::array<rt::Long, 4>{16, 4, 0, 0}));
  EXPECT_EQ(f[22].factor, (std::array<rt::Long, 4>{9, 0, 0, 0}));
  EXPECT_EQ(f[0].dims, (std::array<rt::Long, 4>{0, 0, 0, 0}));
  EXPECT_EQ(f[14].over, 1);
  EXPECT_EQ(f[20].over, 1);
  EXPECT_EQ(f[15].over, 0);
  EXPECT_EQ(f[17].altName, "FullName");  // enclosing quotes removed
  EXPECT_EQ(f[17].picture, "@s30");
  EXPECT_EQ(f[17].other, "(@s30)");
  EXPECT_EQ(f[25].picture, "s20");
  EXPECT_EQ(f[13].other, "(8)");
  EXPECT_EQ(f[13].picture, "");

  // Keys: the two parts of the date-time pair become one column, and the
  // component after them is still there; a descending component keeps its
  // sign; a READONLY marker is cut; an unknown field number is reported
  // and left out.
  CheckKeys({{"Stamp_key", " dup", " STAMP FULLNAME"},
             {"Desc_key", " other dup", " S B"},
             {"Note_key", " dup primary", " NOTE"},
             {"Bad_key", "", " US"}});
  const std::vector<upg::KdqRow>& k = upg::Kdq();
  EXPECT_EQ(k[0].fieldNums, (std::vector<rt::Short>{16, 18}));
  EXPECT_EQ(k[1].fieldNums, (std::vector<rt::Short>{-2, 1}));
  EXPECT_EQ(k[2].dctMaster, 1);
  EXPECT_EQ(k[0].dctMaster, 0);
  EXPECT_EQ(k[0].ptr, &file->Keys()[0]);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: kfn ", 0), 0u) << stops_[0];
  EXPECT_NE(stops_[0].find(" 99"), std::string::npos);

  ASSERT_EQ(upg::Mdq().size(), 2u);
  EXPECT_EQ(upg::Mdq()[0].memoName, "Notes");
  EXPECT_EQ(upg::Mdq()[0].memoFileName, "notes.mem");
  EXPECT_EQ(upg::Mdq()[0].length, 500);
  EXPECT_EQ(upg::Mdq()[0].attrib, "Ascii");
  EXPECT_EQ(upg::Mdq()[1].memoName, "Image");
  EXPECT_EQ(upg::Mdq()[1].attrib, "Binary");
  EXPECT_EQ(upg::Mdq()[1].type, 2);

  // Names compared exactly: the external name as written.
  upg::ServerCaseSensitive() = 1;
  upg::ds_InterpretStructure(*file);
  EXPECT_EQ(upg::Kdq()[0].fields, " STAMP FullName");
}

TEST_F(Interpret, CreateFlagsDisplayColumnsAndPerThreadQueues) {
  upg::ds_SetOption("dctmasterkeys", "1");
  db::DeclBuilder b("Many", "MNY");
  for (int i = 1; i <= 80; ++i) b.Field(T::Byte, "F" + std::to_string(i));
  b.Key("A_Key", {1}, 0).Key("P_Key", {2}, db::kKeyPrimary);
  auto file = b.Build();
  upg::ds_InterpretStructure(*file);
  ASSERT_EQ(upg::Fdq().size(), 80u);
  EXPECT_EQ(upg::Fdq()[74].cnum, 75);
  EXPECT_EQ(upg::Fdq()[75].cnum, 1);  // the 76th field
  EXPECT_EQ(upg::Kdq()[0].dctMaster, 1);  // from the create check
  EXPECT_EQ(upg::Kdq()[1].dctMaster, 1);
  size_t other = 1;
  std::thread([&] { other = upg::Fdq().size() + upg::Kdq().size(); }).join();
  EXPECT_EQ(other, 0u);  // another thread has queues of its own
  // A second interpretation starts from empty queues.
  auto small = db::DeclBuilder("One", "ONE").Field(T::Long, "X").Build();
  upg::ds_InterpretStructure(*small);
  EXPECT_EQ(upg::Fdq().size(), 1u);
  EXPECT_TRUE(upg::Kdq().empty());
  EXPECT_EQ(upg::FilePrefix(), "ONE");
}

// A raw descriptor block: the 14-byte head and the given members.
std::vector<uint8_t> Block(uint32_t count, std::vector<uint8_t> members) {
  std::vector<uint8_t> b = {0x16, 0, 0, 0, 0, 0};
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(count);
  put32(static_cast<uint32_t>(14 + members.size()));
  b.insert(b.end(), members.begin(), members.end());
  return b;
}

TEST_F(Interpret, DamagedBlocksAreReadWithinTheirBytes) {
  // A LONG, a type code the runtime does not know, then a string whose
  // picture runs to the end of the block without its terminator; the
  // member count claims more members than there are.
  std::vector<uint8_t> members = {6, 0x02, 'X', ':', 'I', 'D', 0,   // LONG X:ID
                                  12, 0x02,                          // unknown code
                                  18, 0x06, 5, '@', 's', '5'};       // STRING, picture cut
  std::vector<uint8_t> block = Block(9, members);
  block.shrink_to_fit();
  auto file = db::FileDecl::FromBlock("Bad", "X", "", block, {}, {}, 0, 9);
  upg::ds_InterpretStructure(*file);
  ASSERT_EQ(upg::Fdq().size(), 3u);
  EXPECT_EQ(upg::Fdq()[1].typeNum, 12);
  EXPECT_EQ(upg::Fdq()[1].name, "Id");     // as the previous row had it
  EXPECT_EQ(upg::Fdq()[1].type, "long");
  EXPECT_EQ(upg::Fdq()[2].picture, "@s5");  // no byte past the block
  EXPECT_EQ(upg::Fdq()[2].length, 5);
}

}  // namespace
