// Old-format data files written byte by byte from their layout: the
// structure they describe, and headers that are truncated, scrambled or
// damaged, which are refused without anything changing.
#include <fstream>
#include <functional>
#include <iterator>

#include "engine_fixture.h"
#include "velmora/ui/headless.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/tavrel.h"
#include "velmora/upgrade/upgrade_file.h"

namespace {

using enginetest::Engine;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

struct OldField {
  uint8_t type;
  std::string name;
  uint16_t len;
  uint16_t arr = 0, pic = 0;
  uint8_t decdec = 0;
};
struct OldKey {
  std::string name;
  uint8_t attr;
  std::vector<uint16_t> fields;
};
struct OldLayout {
  std::string sig = "C3";
  uint16_t attr = 0;
  std::string prefix = "CUS", memoName = "NOTES";
  uint16_t memoLen = 1000;
  std::vector<OldField> fields;
  std::vector<OldKey> keys;
  std::vector<std::string> pics;
  std::vector<std::vector<uint16_t>> arrays;
  // Records after the descriptions: a status byte (0 live) and the data.
  std::vector<std::pair<uint8_t, Bytes>> records;
};

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Append16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutText(Bytes& b, size_t at, std::string_view s, size_t width) {
  for (size_t i = 0; i < width; ++i) b[at + i] = i < s.size() ? static_cast<uint8_t>(s[i]) : ' ';
}

// Bytes of a field in the record (an array's elements times its length).
uint16_t Span(const OldLayout& l, const OldField& f) {
  if (f.type == 7) return 0;
  uint32_t n = f.len;
  if (f.arr && f.arr <= l.arrays.size())
    for (uint16_t d : l.arrays[f.arr - 1]) n *= d;
  return static_cast<uint16_t>(n);
}

// The old file's bytes: header, field, key, picture and array records.
Bytes Write(const OldLayout& l) {
  Bytes b(85, 0);
  PutText(b, 0, l.sig, 2);
  Put16(b, 2, l.attr);
  b[4] = static_cast<uint8_t>(l.keys.size());
  Put16(b, 13, static_cast<uint16_t>(l.fields.size()));
  Put16(b, 15, static_cast<uint16_t>(l.pics.size()));
  Put16(b, 17, static_cast<uint16_t>(l.arrays.size()));
  uint16_t start = 0;
  for (const OldField& f : l.fields) start = static_cast<uint16_t>(start + Span(l, f));
  Put16(b, 19, static_cast<uint16_t>(start + 5));
  PutText(b, 37, "CUSTOMER", 12);
  PutText(b, 49, l.memoName, 12);
  for (size_t i = 0; i < 3; ++i) b[61 + i] = i < l.prefix.size() ? l.prefix[i] : 0;
  Put16(b, 67, l.memoLen);
  start = 0;
  for (const OldField& f : l.fields) {
    size_t at = b.size();
    b.resize(at + 27, 0);
    b[at] = f.type;
    PutText(b, at + 1, f.name, 16);
    Put16(b, at + 17, start);
    Put16(b, at + 19, f.len);
    b[at + 22] = f.decdec;
    Put16(b, at + 23, f.arr);
    Put16(b, at + 25, f.pic);
    start = static_cast<uint16_t>(start + Span(l, f));
  }
  for (const OldKey& k : l.keys) {
    size_t at = b.size();
    b.resize(at + 19, 0);
    b[at] = static_cast<uint8_t>(k.fields.size());
    PutText(b, at + 1, k.name, 16);
    b[at + 17] = k.attr;
    for (uint16_t f : k.fields) {
      b.push_back(0);
      Append16(b, f);
      b.insert(b.end(), 3, 0);
    }
  }
  for (const std::string& p : l.pics) {
    Append16(b, static_cast<uint16_t>(p.size()));
    b.insert(b.end(), p.begin(), p.end());
  }
  for (const std::vector<uint16_t>& dims : l.arrays) {
    Append16(b, static_cast<uint16_t>(dims.size()));
    Append16(b, 0);
    Append16(b, 2);
    for (uint16_t d : dims) {
      Append16(b, d);
      Append16(b, 0);
    }
  }
  const uint32_t first = static_cast<uint32_t>(b.size());
  std::memcpy(&b[21], &first, 4);
  for (const auto& [status, data] : l.records) {
    b.push_back(status);
    b.insert(b.end(), 4, 0);
    b.insert(b.end(), data.begin(), data.end());
  }
  return b;
}

// A customer file with every old type, a group, an array, two pictures,
// two keys and a memo.
OldLayout Customers() {
  OldLayout l;
  l.fields = {
      {1, "cus:id", 4},
      {3, "CUS:NAME", 30},
      {8, "CUS:PRICE", 5, 0, 1, 2},
      {7, "CUS:WHEN", 8},
      {1, "CUS:DAY", 4},
      {6, "CUS:HOUR", 2},
      {6, "CUS:MINUTE", 2},
      {3, "CUS:NOTE", 300},
      {6, "CUS:QTY", 2, 1},
      {5, "CUS:FLAG", 1, 0, 2},
      {2, "CUS:RATE", 8},
      {4, "CUS:CODE", 3},
  };
  l.keys = {{"CUS:IdKey", 0x10, {1, 2}}, {"CUS:NameKey", 0x61, {2, 12, 1}}};
  l.pics = {"xxP###PBmore text", std::string("@n5\0junk", 8)};
  l.arrays = {{3, 2}};
  return l;
}

class OldFormat : public Engine {
 protected:
  void SetUp() override {
    Engine::SetUp();
    uint8_t byte = 0;
    upg::ds_AddDriver("Tav", *isam_, 1, &byte);
    upg::OemFlag() = 0;
    std::fill(upg::UpgFmt().begin(), upg::UpgFmt().end(), 'Z');
  }
  // Writes the file, imports it and says whether anything changed beside
  // the import's result.
  rt::Byte Import(const Bytes& bytes) {
    {
      std::ofstream out("data/cust.dat", std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    upg::InFileName() = ".\\data\\cust.dat";
    traces_.clear();
    rt::Byte r = upg::ImportTavrel();
    std::ifstream in("data/cust.dat", std::ios::binary);
    Bytes after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, bytes);  // the old file is only read
    EXPECT_EQ(std::distance(fs::directory_iterator("data"), fs::directory_iterator()), 1);
    return r;
  }
  bool FmtUntouched() const {
    return std::all_of(upg::UpgFmt().begin(), upg::UpgFmt().end(), [](uint8_t c) { return c == 'Z'; });
  }
  std::unique_ptr<db::FileDecl> isam_ =
      db::DeclBuilder("__GTAV", "__GTAV").Driver("ISAM").Field(db::Type::Byte, "A").Build();
};

TEST_F(OldFormat, ValidHeaderBecomesARunTimeDefinition) {
  CommandLine({"/debugrvfull", "/debugrv2dat"});
  upg::ResetSettings();
  upg::ReadSwitches();
  ASSERT_EQ(Import(Write(Customers())), 1);
  EXPECT_EQ(upg::OemFlag(), 1);
  EXPECT_TRUE(Traced("ImportTavrel Out"));
  EXPECT_TRUE(Traced("Testing for DAT - .\\data\\cust.dat"));
  EXPECT_TRUE(Traced("Num Fields = 12 Num Keys = 2 Num Pics = 2 Num Arrays = 1 Memo Name = NOTES"));

  // The serialisation itself: driver, attributes, counts, record length,
  // and a STRING(300) with the two-byte length 0x21 0x2C.
  const Bytes& fmt = upg::UpgFmt();
  EXPECT_EQ(std::string(fmt.begin(), fmt.begin() + 5), std::string("Tav\0\0", 5));
  EXPECT_EQ(fmt[5], 0x20);
  EXPECT_EQ(fmt[6], 2);
  EXPECT_EQ(fmt[7], 1);
  EXPECT_EQ(fmt[8] | fmt[9] << 8, 371);
  std::string text(fmt.begin(), fmt.begin() + 400);
  EXPECT_NE(text.find(std::string("\x12\x02\x21\x2C" "CUS:NOTE\0", 13)), std::string::npos);

  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  db::FileDecl& in = upg::InFile();
  EXPECT_EQ(in.Name(), ".\\data\\cust.dat");
  EXPECT_EQ(in.RecordLength(), 371u);
  EXPECT_TRUE(in.Attributes() & db::kAttrOem);
  struct Want {
    const char* label;
    db::Type type;
    uint32_t bytes;
    const char* picture;
    std::vector<uint32_t> dims;
    int parent;
  };
  using T = db::Type;
  const Want want[] = {
      {"CUS:ID", T::Long, 4, "", {}, -1},
      {"CUS:NAME", T::String, 30, "", {}, -1},
      {"CUS:PRICE", T::Decimal, 5, "P###PB", {}, -1},
      {"CUS:WHEN", T::Group, 8, "", {}, -1},
      {"CUS:DAY", T::Long, 4, "", {}, 3},
      {"CUS:HOUR", T::Short, 2, "", {}, 3},
      {"CUS:MINUTE", T::Short, 2, "", {}, 3},
      {"CUS:NOTE", T::String, 300, "", {}, -1},
      {"CUS:QTY", T::Short, 12, "", {3, 2}, -1},
      {"CUS:FLAG", T::Byte, 1, "@n5", {}, -1},
      {"CUS:RATE", T::Real, 8, "", {}, -1},
      {"CUS:CODE", T::String, 3, "", {}, -1},
  };
  ASSERT_EQ(in.Fields().size(), std::size(want));
  uint32_t offset = 0;
  for (size_t i = 0; i < std::size(want); ++i) {
    const db::FieldInfo& f = in.Fields()[i];
    SCOPED_TRACE(want[i].label);
    EXPECT_EQ(f.label, want[i].label);
    EXPECT_EQ(f.type, want[i].type);
    EXPECT_EQ(f.Bytes(), want[i].bytes);
    EXPECT_EQ(f.picture, want[i].picture);
    EXPECT_EQ(f.dims, want[i].dims);
    EXPECT_EQ(f.parent, want[i].parent);
    EXPECT_EQ(f.offset, offset);
    if (f.type != T::Group) offset += f.Bytes();
  }
  EXPECT_EQ(in.Fields()[2].places, 2);
  EXPECT_EQ(in.Fields()[3].grpNum, 3u);
  ASSERT_EQ(in.Keys().size(), 2u);
  EXPECT_EQ(in.Keys()[0].label, "CUS:IdKey");
  EXPECT_EQ(in.Keys()[0].attrib, 3u);  // unique, not optional
  EXPECT_EQ(in.Keys()[0].components, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(in.Keys()[1].label, "CUS:NameKey");
  EXPECT_EQ(in.Keys()[1].attrib, 0x105u);
  EXPECT_EQ(in.Keys()[1].components, (std::vector<int32_t>{2, 12, 1}));
  ASSERT_EQ(in.Memos().size(), 1u);
  EXPECT_EQ(in.Memos()[0].label, "CUS:NOTES");
  EXPECT_EQ(in.Memos()[0].size, 1000u);
}

TEST_F(OldFormat, PrefixAndMemoVariants) {
  OldLayout l = Customers();
  l.prefix = std::string("C\0S", 3);
  ASSERT_EQ(Import(Write(l)), 1);
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  EXPECT_EQ(upg::InFile().Memos()[0].label, "C S:NOTES");  // a zero byte reads as a blank
  l.prefix = std::string(3, '\0');
  ASSERT_EQ(Import(Write(l)), 1);
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  EXPECT_EQ(upg::InFile().Memos()[0].label, "NOTES");
  l.memoLen = 0;
  ASSERT_EQ(Import(Write(l)), 1);
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  EXPECT_TRUE(upg::InFile().Memos().empty());
}

TEST_F(OldFormat, TruncatedScrambledAndDamagedHeadersAreRefused) {
  const Bytes whole = Write(Customers());
  const size_t keysAt = 86 - 1 + 27 * 12, picsAt = keysAt + 31 + 37;
  struct Case {
    const char* what;
    std::function<void(OldLayout&)> change;
    size_t cut;  // bytes kept (0: all)
  };
  const Case cases[] = {
      {"not signed C3", [](OldLayout& l) { l.sig = "C4"; }, 0},
      {"header cut short", nullptr, 60},
      {"field records cut short", nullptr, 85 + 27 * 5 + 3},
      {"key records cut short", nullptr, keysAt + 40},
      {"picture records cut short", nullptr, picsAt + 5},
      {"array record cut short", nullptr, whole.size() - 3},
      {"scrambled", [](OldLayout& l) { l.attr = 0x02; }, 0},
      {"unknown type", [](OldLayout& l) { l.fields[4].type = 9; }, 0},
      {"key names field 0", [](OldLayout& l) { l.keys[1].fields[1] = 0; }, 0},
      {"key names field 13", [](OldLayout& l) { l.keys[1].fields[1] = 13; }, 0},
      {"key without components", [](OldLayout& l) { l.keys[0].fields.clear(); }, 0},
      {"missing picture record", [](OldLayout& l) { l.fields[1].pic = 3; }, 0},
      {"missing array record", [](OldLayout& l) { l.fields[1].arr = 2; }, 0},
      {"picture of 251 characters", [](OldLayout& l) { l.pics[0] = std::string(251, 'P'); }, 0},
      {"five dimensions", [](OldLayout& l) { l.arrays[0] = {2, 2, 2, 2, 2}; }, 0},
      {"empty dimension", [](OldLayout& l) { l.arrays[0] = {3, 0}; }, 0},
      {"group never filled", [](OldLayout& l) { l.fields[3].len = 330; }, 0},
      {"no fields", [](OldLayout& l) { l.fields.clear(); l.keys.clear(); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OldLayout l = Customers();
    if (c.change) c.change(l);
    Bytes b = Write(l);
    if (c.cut) b.resize(c.cut);
    CommandLine({"/debugrvfull"});
    upg::ResetSettings();
    upg::ReadSwitches();
    EXPECT_EQ(Import(b), 0);
    EXPECT_TRUE(Traced("ImportTavrel OUT [2]"));
    EXPECT_TRUE(FmtUntouched());
    EXPECT_EQ(upg::OemFlag(), 0);
  }
  upg::InFileName() = ".\\data\\missing.dat";
  EXPECT_EQ(upg::ImportTavrel(), 0);
  EXPECT_TRUE(Traced("ImportTavrel OUT [1]"));
  EXPECT_FALSE(fs::exists("data/missing.dat"));
  EXPECT_TRUE(FmtUntouched());
}

TEST_F(OldFormat, ArraySizesReadBackInTheFormTheyAreWritten) {
  // Sizes written in one, two and three bytes.
  OldLayout l;
  l.memoLen = 0;
  l.fields = {{5, "CUS:SMALL", 1, 1}, {5, "CUS:WIDE", 1, 2}, {6, "CUS:GRID", 2, 3}, {5, "CUS:HUGE", 1, 4}};
  l.arrays = {{31}, {40}, {300, 2}, {8192}};
  ASSERT_EQ(Import(Write(l)), 1);
  ASSERT_EQ(upg::MakeFile(upg::kInFile), 1);
  const std::vector<db::FieldInfo>& f = upg::InFile().Fields();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].dims, (std::vector<uint32_t>{31}));
  EXPECT_EQ(f[1].dims, (std::vector<uint32_t>{40}));
  EXPECT_EQ(f[2].dims, (std::vector<uint32_t>{300, 2}));
  EXPECT_EQ(f[3].dims, (std::vector<uint32_t>{8192}));
  EXPECT_EQ(f[3].offset, 31u + 40u + 1200u);
  EXPECT_EQ(upg::InFile().RecordLength(), 31u + 40u + 1200u + 8192u);
}

// The old file's records, and a program that declares what they became.
class OldFormatConversion : public OldFormat {
 protected:
  void SetUp() override {
    OldFormat::SetUp();
    CommandLine({"/debugrv"});
    upg::ResetSettings();
    upg::InstallOpenHook();
    upg::RVQ().clear();
    ui::SetBackend(&headless_);
  }
  void TearDown() override {
    ui::SetBackend(nullptr);
    db::SetOpenHook({});
    OldFormat::TearDown();
  }
  // ID, NAME, PRICE (4-byte DECIMAL), QTY DIM(40), RATE, and a name of 16
  // characters; one record of four deleted.
  static OldLayout Layout() {
    OldLayout l;
    l.memoLen = 0;
    l.fields = {{1, "CUS:ID", 4},  {3, "CUS:NAME", 20}, {8, "CUS:PRICE", 4, 0, 0, 2},
                {6, "CUS:QTY", 2, 1}, {2, "CUS:RATE", 8}, {1, "CUS:CUSTOMERNUMB", 4}};
    l.keys = {{"CUS:IdKey", 0x10, {1}}};
    l.arrays = {{40}};
    for (int i = 1; i <= 4; ++i) {
      Bytes d;
      auto put = [&d](const void* p, size_t n) {
        d.insert(d.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
      };
      int32_t id = 100 + i;
      put(&id, 4);
      std::string name = ("Customer " + std::to_string(i)).append(20, ' ').substr(0, 20);
      put(name.data(), 20);
      uint8_t price[4];
      upg::TextToDecimal(Price(i), price, 4, 7, 2);
      put(price, 4);
      for (int16_t q = 0; q < 40; ++q) {
        int16_t v = static_cast<int16_t>(i * 100 + q);
        put(&v, 2);
      }
      double rate = i * 1.25;
      put(&rate, 8);
      int32_t number = 5000 + i;
      put(&number, 4);
      l.records.emplace_back(i == 2 ? 1 : 0, d);
    }
    return l;
  }
  static std::string Price(int i) { return std::to_string(i * 111) + ".45"; }
  static std::unique_ptr<db::FileDecl> Declared(const std::string& name) {
    return db::DeclBuilder("Customers", "CUS")
        .Driver("ISAM")
        .Name(name)
        .Attributes(db::kAttrCreate)
        .Field(db::Type::Long, "ID")
        .Field(db::Type::CString, "NAME", 30)
        .Field(db::Type::Decimal, "PRICE", 9, 2)
        .Field(db::Type::Short, "QTY").Dim({40})
        .Field(db::Type::Real, "RATE")
        .Field(db::Type::Long, "CUSTOMERNUMBER")
        .Field(db::Type::String, "CITY", 10)
        .Key("IdKey", {1}, db::kKeyNoCase)
        .Build();
  }
  // A start of the host program with `tav` registered as the driver of
  // old-format files.
  void Register(db::FileDecl& file, db::FileDecl& tav) {
    upg::ResetRegistration();
    uint8_t byte = 0;
    upg::ds_AddDriver("Tps", *gtps_, 1, &byte);
    upg::ds_AddDriver("Tav", tav, 1, &byte);
    upg::ds_UsingFile(file, 1, "CUS", "Customers");
  }
  static Bytes Bytes_(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void Save(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  }

  ui::HeadlessBackend headless_;
  std::unique_ptr<db::FileDecl> gtps_ =
      db::DeclBuilder("__GTPS", "__GTPS").Driver("ISAM").Field(db::Type::Byte, "A").Build();
  std::unique_ptr<db::FileDecl> tavrel_ =
      db::DeclBuilder("__GTAV", "__GTAV").Driver("TAVREL").Field(db::Type::Byte, "A").Build();
  std::unique_ptr<db::FileDecl> dos_ =
      db::DeclBuilder("__GDOS", "__GDOS").Driver("DOS").Field(db::Type::Byte, "A").Build();
};

TEST_F(OldFormatConversion, ADriverThatCannotReadTheFormatIsRefusedAndTheFileKept) {
  const Bytes old = Write(Layout());
  Save("cust.Dat", old);
  auto f = Declared("cust.tps");
  Register(*f, *dos_);
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0],
            "RV3: Unable to import the old-format file cust.Dat : the driver registered as Tav (DOS) does "
            "not read old-format files");
  EXPECT_EQ(Bytes_("cust.Dat"), old);
  EXPECT_FALSE(fs::exists("cust.tps"));
  EXPECT_TRUE(upg::RVQ().empty());
}

// The import of an old-format file is left out for every file ("AllFiles")
// or for one file by its label, in any case, when bit 0 of its flags is set.
TEST_F(OldFormatConversion, ExclusionsLeaveTheOldFileAlone) {
  const struct {
    std::vector<std::pair<const char*, int>> ignored;
    bool imported;
  } cases[] = {
      {{{"AllFiles", 1}}, false},
      {{{"customers", 1}}, false},
      {{{"AllFiles", 0}, {"Customers", 3}}, false},
      {{{"AllFiles", 2}, {"Customers", 0}}, true},
      {{{"Suppliers", 1}}, true},
  };
  const Bytes old = Write(Layout());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ignored[0].first);
    fs::remove("cust.tps");
    Save("cust.Dat", old);
    upg::RVQ().clear();
    auto f = Declared("cust.tps");
    Register(*f, *tavrel_);
    for (const auto& [name, flags] : c.ignored) upg::ds_IgnoreDriver(name, flags);
    db::HookedOpen(*f, 0x42);
    if (c.imported) {
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
      EXPECT_EQ(db::Records(*f), 3u);
      db::Close(*f);
      EXPECT_EQ(upg::RVQ().size(), 1u);
      EXPECT_FALSE(fs::exists("cust.Dat"));
    } else {
      EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
      EXPECT_FALSE(fs::exists("cust.tps"));
      EXPECT_TRUE(upg::RVQ().empty());
      EXPECT_EQ(Bytes_("cust.Dat"), old);
    }
    EXPECT_TRUE(stops_.empty()) << stops_[0];
  }
}

TEST_F(OldFormatConversion, EveryRecordConvertsFromTheFileBesideTheDataFile) {
  // The old file sits beside the data file, named after its base name.
  fs::create_directories("old.data");
  const Bytes old = Write(Layout());
  Save("old.data/cust.Dat", old);
  auto f = Declared(".\\old.data\\cust.tps");
  Register(*f, *tavrel_);
  // A conversion that stops (the new file cannot be created: its work
  // name is a folder) puts the old file back under its own name.
  fs::create_directories("old.data/cust.tps.cnv/x");
  db::HookedOpen(*f, 0x42);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  ASSERT_EQ(stops_.size(), 1u);
  EXPECT_EQ(stops_[0].rfind("RV3: Unable to upgrade file - Error creating destination file : ", 0), 0u) << stops_[0];
  EXPECT_EQ(Bytes_("old.data/cust.Dat"), old);
  EXPECT_FALSE(fs::exists("old.data/cust.tps"));
  fs::remove_all("old.data/cust.tps.cnv");
  stops_.clear();

  db::HookedOpen(*f, 0x42);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_TRUE(stops_.empty()) << stops_[0];
  ASSERT_EQ(db::Records(*f), 3u);
  auto field = [&](const char* label) {
    return f->Record() + f->Fields()[static_cast<size_t>(f->FieldIndex(label))].offset;
  };
  db::Set(*f, 1);
  for (int i : {1, 3, 4}) {
    SCOPED_TRACE(i);
    db::Next(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
    int32_t id, number;
    std::memcpy(&id, field("CUS:ID"), 4);
    EXPECT_EQ(id, 100 + i);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field("CUS:NAME"))), "Customer " + std::to_string(i));
    uint8_t price[5];
    upg::TextToDecimal(Price(i), price, 5, 9, 2);
    EXPECT_EQ(Bytes(field("CUS:PRICE"), field("CUS:PRICE") + 5), Bytes(price, price + 5));
    for (int q = 0; q < 40; ++q) {
      int16_t v;
      std::memcpy(&v, field("CUS:QTY") + 2 * q, 2);
      EXPECT_EQ(v, i * 100 + q) << q;
    }
    double rate;
    std::memcpy(&rate, field("CUS:RATE"), 8);
    EXPECT_EQ(rate, i * 1.25);
    std::memcpy(&number, field("CUS:CUSTOMERNUMBER"), 4);
    EXPECT_EQ(number, 5000 + i);  // matched by its first 16 characters
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field("CUS:CITY")), 10), std::string(10, ' '));
  }
  db::Close(*f);
  ASSERT_EQ(upg::RVQ().size(), 1u);
  EXPECT_FALSE(fs::exists("old.data/cust.Dat"));  // converted whole: the old file goes
  EXPECT_FALSE(fs::exists("dstmp001"));
}

}  // namespace
