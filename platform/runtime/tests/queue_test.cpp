#include <gtest/gtest.h>

#include "velmora/runtime/errors.h"
#include "velmora/runtime/queue.h"

using namespace rt;

namespace {

struct Row {
  String<8> name;
  Long id = 0;
  Real amount = 0;
};

void Add(Queue<Row>& q, std::string_view name, Long id, Real amount = 0) {
  q->name = name;
  q->id = id;
  q->amount = amount;
  q.Add();
}

std::string Ids(const Queue<Row>& q) {
  std::string s;
  for (long i = 1; i <= q.Count(); ++i) s += std::to_string(q.At(i).id) + " ";
  return s;
}

}  // namespace

TEST(RuntimeQueue, AddInKeyOrderAfterEqualEntries) {
  Queue<Row> q;
  for (auto [name, id] : {std::pair{"b", 1}, {"a", 2}, {"b", 3}, {"c", 4}, {"a  ", 5}}) {
    q->name = name;
    q->id = id;
    q.AddSorted(&Row::name);
  }
  EXPECT_EQ(Ids(q), "2 5 1 3 4 ");
  EXPECT_EQ(q.Position(), 2);  // the entry added last

  q->name = "b";
  q->id = 6;
  q.AddSorted(Desc(&Row::id));  // descending on a queue in no such order still inserts
  EXPECT_EQ(q.Count(), 6);

  q.Free();
  q->id = 1;
  q.AddAt(5);  // beyond the end: appended
  q->id = 2;
  q.AddAt(1);
  q->id = 3;
  q.AddAt(2);
  EXPECT_EQ(Ids(q), "2 3 1 ");
}

TEST(RuntimeQueue, GetPutDeleteAndErrors) {
  Queue<Row> q;
  Add(q, "x", 1);
  Add(q, "y", 2);
  Add(q, "y", 3);

  for (long bad : {0L, 4L, -1L}) {
    q.Get(bad);
    EXPECT_EQ(ErrorCode(), kEntryNotFound) << bad;
  }
  q.Get(2);
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(q->id, 2);
  EXPECT_EQ(q.Position(), 2);

  q.ClearBuffer();
  q->name = "y   ";  // key match ignores trailing blanks, finds the first
  q.GetByKey(&Row::name);
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(q->id, 2);
  q->name = "z";
  q->id = 99;
  q.GetByKey(&Row::name);
  EXPECT_EQ(ErrorCode(), kEntryNotFound);
  EXPECT_EQ(q->id, 99);  // buffer untouched
  q->name = "y";
  q->id = 3;
  q.GetByKey(&Row::name, &Row::id);
  EXPECT_EQ(q.Position(), 3);

  q->amount = 7.5;
  q.Put();
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(q.At(3).amount, 7.5);

  q.Get(1);
  q.Delete();
  EXPECT_EQ(ErrorCode(), 0);
  EXPECT_EQ(q.Count(), 2);
  q.Delete();  // already gone
  EXPECT_EQ(ErrorCode(), kEntryNotFound);
  q.Put();
  EXPECT_EQ(ErrorCode(), kEntryNotFound);
  q.Get(q.Position());  // the next entry moved into its place
  EXPECT_EQ(q->id, 2);

  Queue<Row> empty;
  empty.Put();
  EXPECT_EQ(ErrorCode(), kEntryNotFound);
}

TEST(RuntimeQueue, SortIsStableOnSeveralFields) {
  Queue<Row> q;
  Add(q, "b", 1, 2.0);
  Add(q, "a", 2, 1.0);
  Add(q, "b", 3, 1.0);
  Add(q, "a", 4, 1.0);
  Add(q, "b ", 5, 2.0);
  q.Sort(Desc(&Row::name), &Row::amount);
  EXPECT_EQ(Ids(q), "3 1 5 2 4 ");
  q.Sort(&Row::amount);
  EXPECT_EQ(Ids(q), "3 2 4 1 5 ");
  EXPECT_EQ(q.Position(), 0);

  // enough rows that an unstable sort would show
  Queue<Row> big;
  for (Long i = 0; i < 200; ++i) Add(big, i % 3 == 0 ? "x" : "y", i, static_cast<Real>((i * 7) % 5));
  big.Sort(&Row::name, Desc(&Row::amount));
  for (long i = 2; i <= big.Count(); ++i) {
    const Row& a = big.At(i - 1);
    const Row& b = big.At(i);
    if (a.name == b.name && a.amount == b.amount) ASSERT_LT(a.id, b.id) << i;
    else ASSERT_TRUE(a.name < b.name || (a.name == b.name && a.amount > b.amount)) << i;
  }

  q.Get(1);
  q->amount = 9;
  q.PutSorted(&Row::amount);  // moves behind the equal-or-smaller entries
  EXPECT_EQ(Ids(q), "2 4 1 5 3 ");
  EXPECT_EQ(q.Position(), 5);
}
