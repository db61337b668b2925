// Files declared with an owner open only with that owner.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fixture.h"

namespace {

std::unique_ptr<db::FileDecl> Secret(const std::string& owner,
                                     const std::string& name = ".\\data\\secret.tps") {
  return db::DeclBuilder("Secret", "SEC")
      .Driver("ISAM")
      .Name(name)
      .Owner(owner)
      .Attributes(db::kAttrCreate | db::kAttrOwner | db::kAttrEncrypt)
      .Field(db::Type::Long, "ID")
      .Key("ID_Key", {1}, 0)
      .Build();
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class OwnerCheck : public fixture::ScratchFolder {};

TEST_F(OwnerCheck, WrongOwnerFailsAndChangesNothing) {
  auto made = Secret("s3cret-owner");
  db::Create(*made);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Open(*made);
  int32_t id = 7;
  std::memcpy(made->Record(), &id, 4);
  db::Add(*made);
  db::Close(*made);
  const std::string before = Bytes("data/secret.tps");
  // The owner's text is not kept in the file, only its salted hash.
  EXPECT_EQ(before.find("s3cret-owner"), std::string::npos);

  for (const char* other : {"s3cret-ownex", "", "S3CRET-OWNER"}) {
    auto wrong = Secret(other);
    for (uint32_t mode : {db::kReadWrite | db::kDenyNone, db::kReadOnly | db::kDenyNone}) {
      db::Open(*wrong, mode);
      EXPECT_EQ(rt::ErrorCode(), rt::kInvalidPassword) << other;
      EXPECT_FALSE(db::IsOpen(*wrong));
    }
  }
  EXPECT_EQ(Bytes("data/secret.tps"), before);
  EXPECT_FALSE(std::filesystem::exists("data/secret.tps-wal"));

  auto right = Secret("s3cret-owner");
  db::Open(*right);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Set(*right);
  db::Next(*right);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(std::memcmp(right->Record(), &id, 4), 0);
  db::Close(*right);
}

TEST_F(OwnerCheck, EachTableOfAFileKeepsItsOwner) {
  auto a = Secret("first1", ".\\data\\multi.tps\\!one");
  auto b = Secret("second", ".\\data\\multi.tps\\!two");
  db::Create(*a);
  db::Create(*b);
  ASSERT_EQ(rt::ErrorCode(), 0);
  db::Open(*a);
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*a);
  auto swapped = Secret("first1", ".\\data\\multi.tps\\!two");
  db::Open(*swapped);
  EXPECT_EQ(rt::ErrorCode(), rt::kInvalidPassword);
  db::Open(*b);
  EXPECT_EQ(rt::ErrorCode(), 0);
  db::Close(*b);
}

}  // namespace
