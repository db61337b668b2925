// The BASIC (comma-delimited), DOS (raw bytes) and TAVREL (old-format files,
// read only) drivers.
#include <fstream>

#include "fixture.h"

using namespace db;

namespace {

class FilesTextDrivers : public fixture::ScratchFolder {};

std::unique_ptr<FileDecl> ImportFields(const std::string& name) {
  return DeclBuilder("ImportFields", "IMP")
      .Driver("BASIC")
      .Name(name)
      .Field(Type::Short, "PAGENO")
      .Field(Type::CString, "CONTROLNAME", 80)
      .Field(Type::Real, "FIELDX")
      .Field(Type::Real, "FIELDY")
      .Field(Type::Real, "FIELDWIDTH")
      .Field(Type::Real, "FIELDHEIGHT")
      .Build();
}

struct Row {
  int16_t page;
  std::string name;
  double x, y, w, h;
};

void Put(FileDecl& f, const Row& r) {
  f.ClearRecord();
  const auto& fl = f.Fields();
  std::memcpy(f.Record() + fl[0].offset, &r.page, 2);
  std::memcpy(f.Record() + fl[1].offset, r.name.data(), r.name.size());
  double v[4] = {r.x, r.y, r.w, r.h};
  for (int i = 0; i < 4; ++i) std::memcpy(f.Record() + fl[2 + i].offset, &v[i], 8);
}

Row Read(const FileDecl& f) {
  Row r{};
  const auto& fl = f.Fields();
  std::memcpy(&r.page, f.Record() + fl[0].offset, 2);
  r.name = reinterpret_cast<const char*>(f.Record() + fl[1].offset);
  double v[4];
  for (int i = 0; i < 4; ++i) std::memcpy(&v[i], f.Record() + fl[2 + i].offset, 8);
  r.x = v[0]; r.y = v[1]; r.w = v[2]; r.h = v[3];
  return r;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST_F(FilesTextDrivers, BasicRoundTripWithQuotesAndCommas) {
  auto f = ImportFields("fields.csv");
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  Create(*f);
  Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  const Row rows[] = {{1, "He said \"hi\", then left", 10.5, 20, 30.25, 40},
                      {-2, "", -1.5, 0, 0, 0}};
  for (const Row& r : rows) {
    Put(*f, r);
    Add(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
  }
  Close(*f);
  EXPECT_EQ(FileText("fields.csv"),
            "1,\"He said \"\"hi\"\", then left\",10.5,20,30.25,40\r\n"
            "-2,\"\",-1.5,0,0,0\r\n");
  Open(*f, kReadOnly | kDenyNone);
  EXPECT_EQ(Records(*f), 2u);
  Set(*f);
  for (const Row& want : rows) {
    Next(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
    Row got = Read(*f);
    EXPECT_EQ(got.page, want.page);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.w, want.w);
  }
  Next(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  Put(*f, rows[0]);
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);  // opened read-only
}

TEST_F(FilesTextDrivers, BasicReadsHandWrittenLines) {
  { std::ofstream("hand.txt") << " 3 , \"a, b\" ,1.25,2,3,4\n\n7,plain,5,6,7,8"; }
  auto f = ImportFields("hand.txt");
  Open(*f);
  Set(*f);
  Next(*f);
  Row r = Read(*f);
  EXPECT_EQ(r.page, 3);
  EXPECT_EQ(r.name, "a, b");
  EXPECT_EQ(r.x, 1.25);
  std::string second;
  Next(*f);
  second = Position(*f);
  r = Read(*f);
  EXPECT_EQ(r.page, 7);
  EXPECT_EQ(r.name, "plain");
  EXPECT_EQ(r.h, 8);
  Next(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  GetAtPosition(*f, second);
  EXPECT_EQ(Read(*f).page, 7);
}

TEST_F(FilesTextDrivers, DosReadsAndWritesBytesAtPositions) {
  { std::ofstream("raw.bin", std::ios::binary) << "0123456789ABCDEFGHIJKLMNOP"; }
  auto f = DeclBuilder("Raw", "RAW").Driver("DOS").Name("raw.bin")
               .Field(Type::String, "CHUNK", 4).Build();
  Open(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(FileSize(*f), 26u);
  EXPECT_EQ(Records(*f), 6u);
  GetAtPosition(*f, "10");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(f->Record()), 4), "ABCD");
  auto tail = ReadBytes(*f, 20, 10);
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "KLMNOP");
  EXPECT_TRUE(ReadBytes(*f, 40, 4).empty());

  std::string seen;
  Set(*f);
  while (true) {
    Next(*f);
    if (rt::ErrorCode()) break;
    seen.append(reinterpret_cast<char*>(f->Record()), 4);
  }
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(seen, std::string("0123456789ABCDEFGHIJKLMNOP\0\0", 28));  // last one short

  GetAtPosition(*f, "4");
  std::memcpy(f->Record(), "wxyz", 4);
  db::Put(*f);
  std::memcpy(f->Record(), "!end", 4);
  Add(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  Add(*f, 2);  // a short last chunk
  ASSERT_EQ(rt::ErrorCode(), 0);
  Add(*f, 5);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  Close(*f);
  EXPECT_EQ(FileText("raw.bin"), "0123wxyz89ABCDEFGHIJKLMNOP!end!e");
}

TEST_F(FilesTextDrivers, BasicConvertsPackedDecimals) {
  { std::ofstream("dec.txt") << "-12.5,3.25,\"ab\",-7\n0,-0.04,\"\",0\n"; }
  auto make = [](const char* name) {
    return DeclBuilder("Dec", "DEC").Driver("BASIC").Name(name)
        .Field(Type::Decimal, "D", 7, 2)
        .Field(Type::PDecimal, "P", 5, 1)
        .Field(Type::String, "S", 5)
        .Field(Type::Long, "L")
        .Build();
  };
  auto in = make("dec.txt"), out = make("out.txt");
  Open(*in);
  Create(*out);
  Open(*out);
  Set(*in);
  for (int i = 0; i < 2; ++i) {
    Next(*in);
    ASSERT_EQ(rt::ErrorCode(), 0);
    std::memcpy(out->Record(), in->Record(), in->RecordLength());
    Add(*out);
  }
  Close(*out);
  EXPECT_EQ(FileText("out.txt"), "-12.50,3.3,\"ab\",-7\r\n0.00,0.0,\"\",0\r\n");
}

namespace {

// An old-format file: the header, one field record, then record slots of
// 5 header bytes and a LONG; `status` 0 marks a live record.
std::string OldFormat(const std::vector<std::pair<uint8_t, int32_t>>& records, uint16_t memo = 0,
                      uint16_t attr = 0) {
  std::string b(85 + 27, '\0');
  b[0] = 'C';
  b[1] = '3';
  std::memcpy(&b[2], &attr, 2);
  b[13] = 1;
  b[19] = 9;
  uint32_t first = 85 + 27;
  std::memcpy(&b[21], &first, 4);
  std::memcpy(&b[67], &memo, 2);
  for (const auto& [status, value] : records) {
    b += std::string(1, static_cast<char>(status)) + std::string(4, '\0');
    b.append(reinterpret_cast<const char*>(&value), 4);
  }
  return b;
}

std::unique_ptr<FileDecl> OldDecl(Type type = Type::Long) {
  return DeclBuilder("Old", "OLD").Driver("TAVREL").Name("old.dat").Field(type, "ID").Build();
}

}  // namespace

TEST_F(FilesTextDrivers, TavrelReadsTheLiveRecordsOfAnOldFormatFile) {
  { std::ofstream("old.dat", std::ios::binary) << OldFormat({{0, 100}, {1, 555}, {0, 101}}) + "cut"; }
  auto f = OldDecl();
  Open(*f, kReadWrite | kDenyWrite);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileErrorText();
  EXPECT_EQ(Records(*f), 2u);
  std::vector<int32_t> ids;
  Set(*f);
  for (Next(*f); rt::ErrorCode() == 0; Next(*f)) {
    int32_t v;
    std::memcpy(&v, f->Record(), 4);
    ids.push_back(v);
  }
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(ids, (std::vector<int32_t>{100, 101}));
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  Close(*f);
  Create(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
  Rename(*f, "moved.dat");
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_TRUE(std::filesystem::exists("moved.dat"));

  // What cannot be read as records is refused, never read as empty.
  struct Case {
    const char* what;
    std::string bytes;
    Type type;
    int code;
  };
  const Case cases[] = {
      {"not signed", "C4" + OldFormat({{0, 1}}).substr(2), Type::Long, rt::kInvalidDataFile},
      {"a memo", OldFormat({{0, 1}}, 100), Type::Long, rt::kDriverError},
      {"scrambled", OldFormat({{0, 1}}, 0, 2), Type::Long, rt::kDriverError},
      {"another record length", OldFormat({{0, 1}}), Type::Short, rt::kInvalidRecordDeclaration},
      {"first record past the end", OldFormat({}).substr(0, 100), Type::Long, rt::kInvalidDataFile},
  };
  for (const Case& c : cases) {
    { std::ofstream("old.dat", std::ios::binary | std::ios::trunc) << c.bytes; }
    auto d = OldDecl(c.type);
    Open(*d);
    EXPECT_EQ(rt::ErrorCode(), c.code) << c.what;
    EXPECT_FALSE(IsOpen(*d)) << c.what;
  }
}
