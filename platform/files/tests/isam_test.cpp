// The ISAM driver: records, keys, structure check, modes, batches.
#include <sqlite3.h>

#include <fstream>
#include <thread>

#include "fixture.h"

using namespace db;
using fixture::Fill;
using fixture::Id;
using fixture::Person;
using fixture::Scan;

namespace {

class FilesIsam : public fixture::ScratchFolder {};

const std::vector<Person> kPeople = {
    {3, "carol", 1.5, "-1.25", -5, "c3"},
    {1, "Alice", -2.0, "0.50", 300, ""},
    {4, "bob", 100.25, "-10.00", 0, "b4"},
    {2, "alice ", 0.0, "3.00", -100, ""},
};

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST_F(FilesIsam, RecordsRoundTripThroughGetSetNextPreviousPutDelete) {
  auto f = fixture::Filled(kPeople);
  EXPECT_EQ(Records(*f), 4u);
  EXPECT_EQ(Scan(*f, 0), (std::vector<int32_t>{3, 1, 4, 2}));
  EXPECT_EQ(Scan(*f, 1), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(Scan(*f, 1, false), (std::vector<int32_t>{4, 3, 2, 1}));

  Fill(*f, {4, ""});
  Get(*f, 1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(fixture::Name(*f), "bob         ");
  fixture::SetName(*f, "robert");
  Put(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  std::string pos = Position(*f);

  Fill(*f, {9, ""});
  Get(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotFound);
  GetAtPosition(*f, pos);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(fixture::Name(*f), "robert      ");

  // SET from a value, then both directions from there.
  Fill(*f, {2, ""});
  SetFromRecord(*f, 1);
  Next(*f);
  EXPECT_EQ(Id(*f), 2);
  Fill(*f, {3, ""});
  SetFromRecord(*f, 1);
  Previous(*f);
  EXPECT_EQ(Id(*f), 3);
  Previous(*f);
  EXPECT_EQ(Id(*f), 2);
  Delete(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  Next(*f);  // the sequence goes on past the deleted record
  EXPECT_EQ(Id(*f), 3);
  Delete(*f);
  Delete(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  EXPECT_EQ(Scan(*f, 1), (std::vector<int32_t>{1, 4}));

  // REGET keeps the key sequence going from the record.
  Set(*f, 1);
  Next(*f);
  std::string first = Position(*f);
  Next(*f);
  Reget(*f, first);
  Next(*f);
  EXPECT_EQ(Id(*f), 4);
  Close(*f);
  EXPECT_FALSE(IsOpen(*f));
  Next(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotOpen);
}

TEST_F(FilesIsam, ScansSeeChangesMadeMeanwhileByAnotherInstance) {
  std::vector<Person> ten;
  for (int i = 1; i <= 10; ++i) ten.push_back({i, "n"});
  auto a = fixture::Filled(ten);
  auto b = fixture::People();
  Open(*b);
  Set(*a, 1);
  for (int want = 1; want <= 4; ++want) {
    Next(*a);
    ASSERT_EQ(Id(*a), want);
  }
  Fill(*b, {5, ""});
  Get(*b, 1);
  Delete(*b);
  Fill(*b, {6, ""});
  Get(*b, 1);
  fixture::SetName(*b, "renamed");
  Put(*b);
  Next(*a);
  EXPECT_EQ(Id(*a), 6);
  EXPECT_EQ(fixture::Name(*a), "renamed     ");
  Previous(*a);  // turning round reads afresh too
  EXPECT_EQ(Id(*a), 4);
}

TEST_F(FilesIsam, KeysOrderByValue) {
  auto f = fixture::Filled(kPeople);
  struct Case { int key; std::vector<int32_t> order; const char* what; };
  const Case cases[] = {
      {2, {1, 2, 4, 3}, "no-case text, trailing blanks ignored"},
      {3, {4, 3, 2, 1}, "descending REAL"},
      {4, {4, 3, 1, 2}, "DECIMAL with negatives"},
      {5, {2, 3, 4, 1}, "signed SHORT"},
      {6, {4, 3}, "optional key leaves empty entries out"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(*f, c.key), c.order) << c.what;

  // No-case exact GET, ignoring the trailing blanks of the buffer.
  Fill(*f, {0, "ALICE"});
  Get(*f, 2);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Id(*f), 1);  // the first of the duplicates
  Next(*f);  // GET leaves the sequence where it was (at its end)
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
}

TEST_F(FilesIsam, UniqueKeysRefuseDuplicates) {
  auto f = fixture::Filled(kPeople);
  Fill(*f, {1, "again"});
  EXPECT_TRUE(Duplicate(*f));
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
  Fill(*f, {7, "x", 0, "0", 0, "c3"});  // optional unique key, taken value
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
  Fill(*f, {9, "z", 0, "0", 0, "c3 "});  // trailing blanks do not count
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
  Fill(*f, {8, "y"});  // empty optional values never clash
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_FALSE(Duplicate(*f));  // the record itself is no duplicate
  Fill(*f, {3, ""});
  Get(*f, 1);
  int32_t taken = 4;
  std::memcpy(f->Record() + f->Fields()[0].offset, &taken, 4);
  Put(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
  EXPECT_EQ(Records(*f), 5u);
  EXPECT_EQ(Scan(*f, 1), (std::vector<int32_t>{1, 2, 3, 4, 8}));
}

TEST_F(FilesIsam, PutRefusesARecordChangedOrDeletedByAnotherInstance) {
  auto a = fixture::Filled(kPeople);
  auto b = fixture::People();
  Open(*b);
  for (FileDecl* f : {a.get(), b.get()}) {
    Fill(*f, {1, ""});
    Get(*f, 1);
  }
  fixture::SetName(*b, "changed");
  Put(*b);
  ASSERT_EQ(rt::ErrorCode(), 0);
  fixture::SetName(*a, "mine");
  Put(*a);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordChangedByOther);
  Get(*a, 1);  // read again, then it goes through
  Put(*a);
  EXPECT_EQ(rt::ErrorCode(), 0);
  Delete(*b);  // b's copy is stale, but DELETE is not change-checked
  Put(*a);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordChangedByOther);
}

TEST_F(FilesIsam, BlobsReadAndWriteAtOffsets) {
  auto f = fixture::Filled({});
  Fill(*f, {1, "blob"});
  BlobWrite(*f, 0, 0, {'h', 'e', 'l', 'l', 'o'});
  BlobWrite(*f, 0, 10, {'x', 'y', 'z'});
  EXPECT_EQ(BlobSize(*f, 0), 13u);
  Add(*f);
  f->Memos()[0].data.clear();
  Fill(*f, {1, ""});
  Get(*f, 1);
  ASSERT_EQ(BlobSize(*f, 0), 13u);
  EXPECT_EQ(BlobRead(*f, 0, 10, 100), (std::vector<uint8_t>{'x', 'y', 'z'}));
  EXPECT_EQ(BlobRead(*f, 0, 5, 2), (std::vector<uint8_t>{0, 0}));
  BlobSetSize(*f, 0, 2);
  Put(*f);
  Get(*f, 1);
  EXPECT_EQ(BlobRead(*f, 0, 0, 100), (std::vector<uint8_t>{'h', 'e'}));
  BlobSize(*f, 3);
  EXPECT_EQ(rt::ErrorCode(), rt::kDriverError);
}

// "NOMEMO" leaves the memos out of the next sequential read; such a
// record cannot be written back (its memos would be lost), a full read can.
TEST_F(FilesIsam, NoMemoReadsLeaveTheMemosOutAndCannotBeWrittenBack) {
  auto f = fixture::Filled({});
  for (int id : {1, 2, 3}) {
    Fill(*f, {id, "blob"});
    BlobWrite(*f, 0, 0, std::vector<uint8_t>(100, static_cast<uint8_t>('a' + id)));
    Add(*f);
  }
  Set(*f, 1);
  Send(*f, "NOMEMO");
  Next(*f);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Id(*f), 1);
  EXPECT_EQ(BlobSize(*f, 0), 0u);
  const std::string position = Position(*f);
  Put(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kRecordNotAvailable);
  // the next read without the command has its memos, also from read-ahead
  Next(*f);
  EXPECT_EQ(Id(*f), 2);
  EXPECT_EQ(BlobSize(*f, 0), 100u);
  Reget(*f, position);
  EXPECT_EQ(BlobRead(*f, 0, 0, 1), (std::vector<uint8_t>{'b'}));
  Put(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  Set(*f, 1);
  Next(*f);
  EXPECT_EQ(BlobSize(*f, 0), 100u);
}

TEST_F(FilesIsam, StructureCheckOnOpen) {
  fixture::Filled(kPeople);
  // The same file under a second prefix, with other pictures and key
  // external names, opens and shares the records.
  auto alias = DeclBuilder("Alias", "ALI").Driver("ISAM").Name(".\\data\\people.tps")
                   .Field(Type::Long, "ID").Picture("@n9")
                   .Field(Type::String, "NAME", 12)
                   .Field(Type::Real, "AMOUNT")
                   .Field(Type::Decimal, "PRICE", 7, 2)
                   .Field(Type::Short, "DELTA")
                   .Field(Type::CString, "CODE", 6)
                   .Key("ID_Key", {1}, kKeyPrimary, "PK")
                   .Key("Name_Key", {2}, kKeyDup | kKeyNoCase)
                   .Key("Amount_Key", {-3}, kKeyDup)
                   .Key("Price_Key", {4}, kKeyDup)
                   .Key("Delta_Key", {5}, kKeyDup)
                   .Key("Code_Key", {6}, kKeyOpt)
                   .Memo("DATA", kMemoBinary, 0)
                   .Build();
  Open(*alias, kReadOnly | kDenyNone);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(Records(*alias), 4u);
  Close(*alias);

  auto changed = DeclBuilder("People", "PEO").Driver("ISAM").Name(".\\data\\people.tps")
                     .Field(Type::Long, "ID").Field(Type::String, "NAME", 13).Build();
  Open(*changed);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
  EXPECT_FALSE(IsOpen(*changed));
  auto otherKey = fixture::People();
  otherKey->Keys()[1].attrib = kKeyDup;  // no longer case-insensitive
  Open(*otherKey);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidRecordDeclaration);
}

// Each change of structure alone, with the same record length, is refused
// with 47; the unchanged declaration opens.
TEST_F(FilesIsam, StructureCheckCoversMemosOffsetsDimensionsAndOver) {
  enum Change { kNone, kMemoKind, kMemoSize, kDims, kOverTarget, kOverMoved };
  auto decl = [](Change c) {
    DeclBuilder b("Shape", "SHP");
    b.Driver("ISAM").Name(".\\data\\shape.tps").Field(Type::String, "A", 4);
    if (c == kOverMoved) {
      b.Field(Type::String, "B", 4).Over("SHP:A").Field(Type::String, "C", 4);
    } else {
      b.Field(Type::String, "B", 4).Field(Type::String, "C", 4)
          .Over(c == kOverTarget ? "SHP:B" : "SHP:A");
    }
    b.Field(Type::Byte, "FLAGS").Dim(c == kDims ? std::vector<uint32_t>{2, 2}
                                                : std::vector<uint32_t>{4});
    b.Memo("NOTE", c == kMemoKind ? kMemoText : kMemoBinary, c == kMemoSize ? 100 : 0);
    return b.Build();
  };
  auto stored = decl(kNone);
  Create(*stored);
  ASSERT_EQ(rt::ErrorCode(), 0);
  struct Case {
    Change change;
    int expected;
  } cases[] = {{kNone, 0},
               {kMemoKind, rt::kInvalidRecordDeclaration},
               {kMemoSize, rt::kInvalidRecordDeclaration},
               {kDims, rt::kInvalidRecordDeclaration},
               {kOverTarget, rt::kInvalidRecordDeclaration},
               {kOverMoved, rt::kInvalidRecordDeclaration}};
  for (const Case& c : cases) {
    auto f = decl(c.change);
    ASSERT_EQ(f->RecordLength(), stored->RecordLength()) << c.change;
    Open(*f);
    EXPECT_EQ(rt::ErrorCode(), c.expected) << c.change;
    if (IsOpen(*f)) Close(*f);
  }
}

TEST_F(FilesIsam, ForeignOrDamagedFilesGive36AndStayUntouched) {
  {
    std::ofstream("data/people.tps") << "ID,NAME\n1,\"x\"\n";
  }
  auto f = fixture::People();
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
  EXPECT_EQ(FileBytes("data/people.tps"), "ID,NAME\n1,\"x\"\n");
  EXPECT_FALSE(std::filesystem::exists("data/people.tps-wal"));
  EXPECT_FALSE(std::filesystem::exists("data/people.tps.lck"));

  // SQLite databases that are not ours, in either journal mode.
  for (const char* mode : {"WAL", "DELETE"}) {
    std::filesystem::remove("data/people.tps");
    sqlite3* db = nullptr;
    sqlite3_open("data/people.tps", &db);
    std::string sql = std::string("PRAGMA journal_mode=") + mode +
                      "; CREATE TABLE other (x); INSERT INTO other VALUES (1);";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string before = FileBytes("data/people.tps");
    Open(*f);
    EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile) << mode;
    EXPECT_EQ(FileBytes("data/people.tps"), before) << mode;
  }

  // A truncated database.
  std::filesystem::remove("data/people.tps");
  {
    std::vector<Person> many;
    for (int i = 1; i <= 300; ++i) many.push_back({i, std::string(12, 'a' + i % 26)});
    auto g = fixture::Filled(many);
    Close(*g);
  }
  std::string whole = FileBytes("data/people.tps");
  ASSERT_GT(whole.size(), 8192u);
  std::filesystem::resize_file("data/people.tps", whole.size() / 2);
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidDataFile);
  EXPECT_EQ(FileBytes("data/people.tps"), whole.substr(0, whole.size() / 2));

  // Missing file (the CREATE attribute does not make OPEN create it).
  std::filesystem::remove("data/people.tps");
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  EXPECT_FALSE(std::filesystem::exists("data/people.tps"));
}

TEST_F(FilesIsam, TablesOfOneFile) {
  auto a = fixture::People("A", ".\\data\\multi.tps\\!first");
  Create(*a);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  auto b = fixture::People("B", ".\\data\\multi.tps\\!second");
  Open(*b);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  Create(*b);
  ASSERT_EQ(rt::ErrorCode(), 0);
  Open(*a);
  Open(*b);
  ASSERT_EQ(rt::ErrorCode(), 0);
  Fill(*a, {1, "in a"});
  Add(*a);
  EXPECT_EQ(Records(*a), 1u);
  EXPECT_EQ(Records(*b), 0u);
  Close(*a);
  Close(*b);
  Create(*b);  // replaces the table alone
  Open(*a);
  EXPECT_EQ(Records(*a), 1u);
}

TEST_F(FilesIsam, AccessModesAcrossThreads) {
  Close(*fixture::Filled({{1, "x"}}));
  struct Case { uint32_t first, second; int expected; };
  const Case cases[] = {
      {kReadWrite | kDenyAll, kReadOnly | kDenyNone, rt::kAccessDenied},
      {kReadOnly | kDenyNone, kReadWrite | kDenyAll, rt::kAccessDenied},
      {kReadWrite | kDenyWrite, kReadWrite | kDenyNone, rt::kAccessDenied},
      {kReadWrite | kDenyWrite, kReadOnly | kDenyNone, 0},
      {kReadWrite | kDenyNone, kReadWrite | kDenyWrite, rt::kAccessDenied},
      {kReadOnly | kDenyWrite, kReadOnly | kDenyWrite, 0},
      {kReadWrite | kDenyNone, kReadWrite | kDenyNone, 0},
  };
  for (const Case& c : cases) {
    auto one = fixture::People(), two = fixture::People();
    Open(*one, c.first);
    ASSERT_EQ(rt::ErrorCode(), 0);
    int got = -1;
    std::thread([&] {
      Open(*two, c.second);
      got = rt::ErrorCode();
      if (IsOpen(*two)) Close(*two);
    }).join();
    EXPECT_EQ(got, c.expected) << std::hex << c.first << " then " << c.second;
    Close(*one);
  }
  // Read-only instances refuse writes; a second OPEN of an instance gives 52.
  auto ro = fixture::People();
  Open(*ro, kReadOnly | kDenyNone);
  Fill(*ro, {5, "no"});
  Add(*ro);
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  Open(*ro, kReadOnly | kDenyNone);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileAlreadyOpen);
  EXPECT_TRUE(IsOpen(*ro));
}

TEST_F(FilesIsam, AppendLeavesKeysStaleUntilBuild) {
  auto f = fixture::Filled({{5, "e"}});
  for (int id : {3, 1}) {
    Fill(*f, {id, "appended"});
    Append(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
  }
  Set(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
  Close(*f);
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
  ASSERT_TRUE(IsOpen(*f));
  Set(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
  EXPECT_EQ(Scan(*f, 0), (std::vector<int32_t>{5, 3, 1}));
  EXPECT_EQ(Send(*f, "FULLBUILD=on"), "");
  Build(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(Scan(*f, 1), (std::vector<int32_t>{1, 3, 5}));
  Close(*f);
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);

  // A BUILD that meets duplicates of a unique key fails and keeps 46.
  Fill(*f, {1, "twin"});
  Append(*f);
  Build(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
  Set(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), rt::kKeysMustBeRebuilt);
}

// Appended records carry their key values, so a BUILD without FULLBUILD
// makes the indexes from them; a record changed while the keys were stale
// is encoded again.
TEST_F(FilesIsam, BuildAfterAppendUsesTheAppendedKeysAndReencodesChangedRecords) {
  auto f = fixture::Filled({{5, "e"}});
  for (int id : {3, 1, 4}) {
    Fill(*f, {id, "appended"});
    Append(*f);
    ASSERT_EQ(rt::ErrorCode(), 0);
  }
  Set(*f, 0);
  Next(*f);
  Next(*f);  // record 3
  Fill(*f, {2, "changed"});
  Put(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Build(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(Scan(*f, 1), (std::vector<int32_t>{1, 2, 4, 5}));
  Fill(*f, {4, ""});
  Get(*f, 1);
  EXPECT_EQ(rt::ErrorCode(), 0);
  // The keys hold again: a duplicate is refused at once.
  Fill(*f, {4, "twin"});
  Add(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
}

// A file rebuilt from another (SYNC=off, held alone) is written without
// its WAL: its batches still roll back, a record changed while the keys
// are stale is encoded again by BUILD, and after CLOSE it is an ordinary
// file that any instance opens.
TEST_F(FilesIsam, FileRebuiltWithoutSyncRollsBackBuildsAndReopens) {
  Close(*fixture::Filled({{9, "old"}}));
  auto f = fixture::People();
  Open(*f, kReadWrite | kDenyAll);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Send(*f, "SYNC=off");
  Logout(2, {f.get()});
  Fill(*f, {7, "gone"});
  Append(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Rollback();
  EXPECT_EQ(Records(*f), 1u);
  Logout(2, {f.get()});
  for (int id : {3, 1, 4}) {
    Fill(*f, {id, "appended"});
    Append(*f);
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  }
  Set(*f, 0);
  Next(*f);
  Next(*f);  // record 3
  Fill(*f, {5, "changed"});
  Put(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Send(*f, "SYNC=on");  // inside the batch: holds from its end
  Commit();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Build(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Close(*f);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_FALSE(std::filesystem::exists("data/people.tps-journal"));
  auto g = fixture::People();
  Open(*g);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  EXPECT_EQ(Scan(*g, 1), (std::vector<int32_t>{1, 4, 5, 9}));
  Fill(*g, {4, "twin"});
  Add(*g);
  EXPECT_EQ(rt::ErrorCode(), rt::kDuplicateKey);
}

TEST_F(FilesIsam, StreamIsOneBatchVisibleAtFlush) {
  auto f = fixture::Filled({});
  auto other = fixture::People();
  Open(*other);
  Stream(*f);
  for (int i = 1; i <= 50; ++i) {
    Fill(*f, {i, "s"});
    Add(*f);
  }
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Records(*other), 0u);
  Flush(*f);
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Records(*other), 50u);
  Stream(*f);
  Fill(*f, {51, "s"});
  Add(*f);
  Close(*f);  // CLOSE ends the batch like FLUSH
  EXPECT_EQ(Records(*other), 51u);
}

TEST_F(FilesIsam, LogoutCommitsOrRollsBackEveryFile) {
  auto a = fixture::Filled({});
  auto b = fixture::People("B", ".\\data\\second.tps");
  Create(*b);
  Open(*b);
  Logout(2, {a.get(), b.get()});
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::ErrorText();
  Logout(2, {a.get()});
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);  // one at a time per thread
  for (FileDecl* f : {a.get(), b.get()}) {
    Fill(*f, {1, "t"});
    Add(*f);
  }
  Rollback();
  EXPECT_EQ(Records(*a) + Records(*b), 0u);
  Logout(2, {a.get(), b.get()});
  for (FileDecl* f : {a.get(), b.get()}) {
    Fill(*f, {2, "t"});
    Add(*f);
  }
  Commit();
  EXPECT_EQ(rt::ErrorCode(), 0);
  auto c = fixture::People();
  Open(*c);
  EXPECT_EQ(Records(*c), 1u);
  // A file another instance holds in a transaction waits, then gives 5.
  Logout(1, {a.get()});
  Fill(*c, {3, "t"});
  Send(*c, "Recover=1");
  Add(*c);
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  Commit();
}

TEST_F(FilesIsam, CopyRenameRemoveAndCreate) {
  auto f = fixture::Filled(kPeople);
  Copy(*f, ".\\data\\copy.tps");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);  // open in this process
  Rename(*f, ".\\data\\moved.tps");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  Close(*f);
  { std::ofstream("data/taken.tps") << "x"; }
  Copy(*f, ".\\data\\taken.tps");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  Rename(*f, ".\\data\\taken.tps");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);
  EXPECT_EQ(FileBytes("data/taken.tps"), "x");

  Copy(*f, ".\\data\\copy.tps");
  ASSERT_EQ(rt::ErrorCode(), 0);
  Rename(*f, ".\\data\\moved.tps");
  ASSERT_EQ(rt::ErrorCode(), 0);
  Open(*f);
  EXPECT_EQ(rt::ErrorCode(), rt::kFileNotFound);
  for (const char* name : {".\\data\\copy.tps", ".\\data\\moved.tps"}) {
    auto g = fixture::People("PEO", name);
    Open(*g);
    ASSERT_EQ(rt::ErrorCode(), 0) << name;
    EXPECT_EQ(Records(*g), 4u);
    Close(*g);
    Create(*g);  // replaces the file
    Open(*g);
    EXPECT_EQ(Records(*g), 0u);
    Close(*g);
    Remove(*g);
    EXPECT_EQ(rt::ErrorCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(HostPath(name)));
  }
}

TEST_F(FilesIsam, CommandsPropertiesAndTheOpenHook) {
  auto f = fixture::Filled({{1, "p"}});
  EXPECT_EQ(Send(*f, "Recover=3"), "");
  EXPECT_EQ(Send(*f, "Recover"), "3");
  EXPECT_EQ(Send(*f, "SomethingElse=1"), "");
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(GetProperty(*f, Prop::Driver), "ISAM");
  EXPECT_EQ(GetProperty(*f, Prop::Name), ".\\data\\people.tps");
  EXPECT_EQ(GetProperty(*f, Prop::Label), "People");
  EXPECT_EQ(GetProperty(*f, Prop::Create), "1");
  EXPECT_EQ(GetProperty(*f, Prop::Records), "1");
  SetProperty(*f, Prop::Name, "other.tps");
  EXPECT_EQ(rt::ErrorCode(), rt::kAccessDenied);  // not while open
  Close(*f);
  EXPECT_EQ(Send(*f, "Recover=7"), "");  // kept for the next open
  Open(*f);
  EXPECT_EQ(Send(*f, "Recover"), "7");
  Close(*f);

  int calls = 0;
  SetOpenHook([&](FileDecl& g, uint32_t mode) {
    ++calls;
    Open(g, mode);
  });
  HookedOpen(*f, kReadOnly | kDenyNone);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(IsOpen(*f));
  Close(*f);
  SetOpenHook({});
  HookedOpen(*f, kReadWrite | kDenyNone);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(IsOpen(*f));
}
