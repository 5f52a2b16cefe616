// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/QSList.h"

namespace purgo {
namespace {

// Counts its own destruction, to see who frees object slots.
class Counted : public TQelObject {
 public:
  explicit Counted(int& freed) : freed_(freed) {}
  ~Counted() override { ++freed_; }

 private:
  int& freed_;
};

// The shape the options use for their folder and ending lists.
TQelVarList OptionsShapedList() { return TQelVarList(1, 2, 1, 1, 1, 1, 1, true); }

TEST(TQelVarListItem, CountsBelowOneBecomeOneSlotEach) {
  TQelVarList list(0, 0, -3, 0, 0, 0, 0, false);
  const TQelVarListItem& item = list.Add();
  for (int count : {item.StringsCount(), item.BooleansCount(), item.Int32sCount(),
                    item.Int64sCount(), item.PointersCount(), item.ObjectsCount(),
                    item.DoublesCount()}) {
    EXPECT_EQ(count, 1);
  }
  EXPECT_EQ(item.Strings(0), "");
  EXPECT_FALSE(item.Booleans(0));
  EXPECT_EQ(item.Int64s(0), 0);
  EXPECT_EQ(item.Pointers(0), nullptr);
  EXPECT_EQ(item.Objects(0), nullptr);
}

TEST(TQelVarListItem, OutOfRangeSlotIndexesClampAndNeverGrow) {
  // Three slots of each kind: index -> the slot actually touched.
  const struct { int index; int slot; } cases[] = {
      {-7, 0}, {-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {7, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    TQelVarListItem item(3, 3, 3, 3, 3, 3, 3, false);
    int target = 0;
    item.SetStrings(c.index, "x");
    item.SetBooleans(c.index, true);
    item.SetInt32s(c.index, -42);
    item.SetInt64s(c.index, 1LL << 40);
    item.SetDoubles(c.index, 2.5);
    item.SetPointers(c.index, &target);
    for (int s = 0; s < 3; ++s) {
      const bool hit = s == c.slot;
      EXPECT_EQ(item.Strings(s), hit ? "x" : "") << s;
      EXPECT_EQ(item.Booleans(s), hit) << s;
      EXPECT_EQ(item.Int32s(s), hit ? -42 : 0) << s;
      EXPECT_EQ(item.Int64s(s), hit ? (1LL << 40) : 0) << s;
      EXPECT_EQ(item.Doubles(s), hit ? 2.5 : 0.0) << s;
      EXPECT_EQ(item.Pointers(s), hit ? &target : nullptr) << s;
    }
    EXPECT_EQ(item.Strings(c.index), "x");
    EXPECT_EQ(item.StringsCount(), 3);
    EXPECT_EQ(item.BooleansCount(), 3);
  }

  TQelVarListItem one(1, 1, 1, 1, 1, 1, 1, false);
  one.SetStrings(7, "seven");
  EXPECT_EQ(one.Strings(0), "seven");
  EXPECT_EQ(one.Strings(7), "seven");
  EXPECT_EQ(one.StringsCount(), 1);
}

TEST(TQelVarListItem, ObjectSlotsAreFreedOnlyByAnOwner) {
  int freed = 0;
  {
    TQelVarListItem owning(1, 1, 1, 1, 1, 2, 1, true);
    owning.SetObjects(0, new Counted(freed));
    owning.SetObjects(0, new Counted(freed));  // replacing releases the first
    EXPECT_EQ(freed, 1);
    owning.SetObjects(1, owning.Objects(0));  // same object twice: adopted once
    owning.SetObjects(0, owning.Objects(0));
  }
  EXPECT_EQ(freed, 2);

  freed = 0;
  Counted kept(freed);
  {
    TQelVarListItem borrowing(1, 1, 1, 1, 1, 1, 1, false);
    borrowing.SetObjects(0, &kept);
    EXPECT_EQ(borrowing.Objects(0), &kept);
  }
  EXPECT_EQ(freed, 0);
}

TEST(TQelVarList, ItemsPastTheEndGrowByExactlyOne) {
  TQelVarList list = OptionsShapedList();
  TQelVarListItem& first = list.Items(-5);  // empty list: one item appended
  EXPECT_EQ(list.Count(), 1);
  first.SetStrings(0, "a");
  list.Add().SetStrings(0, "b");

  TQelVarListItem& third = list.Items(list.Count());
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(&third, &list.Items(2));
  EXPECT_EQ(third.Strings(0), "");
  EXPECT_EQ(third.BooleansCount(), 2);

  EXPECT_EQ(list.Items(-5).Strings(0), "a");
  EXPECT_EQ(list.Items(1).Strings(0), "b");
  list.Items(100);
  EXPECT_EQ(list.Count(), 4);
}

std::vector<std::string> Texts(TQelVarList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Items(i).Strings(0));
  return out;
}

TEST(TQelVarList, InsertAndDeleteIndexRules) {
  const auto abc = [] {
    TQelVarList list = OptionsShapedList();
    for (const char* t : {"a", "b", "c"}) list.Add().SetStrings(0, t);
    return list;
  };
  const struct { int index; std::vector<std::string> after; } inserts[] = {
      {-3, {"new", "a", "b", "c"}},
      {0, {"new", "a", "b", "c"}},
      {2, {"a", "b", "new", "c"}},
      {3, {"a", "b", "c", "new"}},
      {99, {"a", "b", "c", "new"}},
  };
  for (const auto& c : inserts) {
    TQelVarList list = abc();
    list.Insert(c.index).SetStrings(0, "new");
    EXPECT_EQ(Texts(list), c.after) << "insert at " << c.index;
  }

  const struct { int index; int result; std::vector<std::string> after; } deletes[] = {
      {0, 0, {"b", "c"}},
      {1, 1, {"a", "c"}},
      {2, 1, {"a", "b"}},  // the last: the new last index
      {3, -1, {"a", "b", "c"}},
      {-1, -1, {"a", "b", "c"}},
  };
  for (const auto& c : deletes) {
    TQelVarList list = abc();
    EXPECT_EQ(list.Delete(c.index), c.result) << "delete " << c.index;
    EXPECT_EQ(Texts(list), c.after) << "delete " << c.index;
  }

  TQelVarList single = OptionsShapedList();
  single.Add();
  EXPECT_EQ(single.Delete(0), -1);
  EXPECT_EQ(single.Count(), 0);

  TQelVarList list = abc();
  EXPECT_EQ(list.Add(std::make_unique<TQelVarListItem>(2, 2, 2, 2, 2, 2, 2, true)), 3);
  EXPECT_EQ(list.Add(nullptr), -1);
  EXPECT_EQ(list.Count(), 4);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(TQelVarList, DeepCloneCopiesValuesAndSharesObjectLifetime) {
  int freed = 0;
  {
    auto original = std::make_unique<TQelVarList>(OptionsShapedList());
    TQelVarListItem& item = original->Add();
    item.SetStrings(0, "/home/");
    item.SetBooleans(1, true);
    item.SetObjects(0, new Counted(freed));

    auto clone = original->DeepClone();
    ASSERT_EQ(clone->Count(), 1);
    EXPECT_EQ(clone->Items(0).Strings(0), "/home/");
    EXPECT_TRUE(clone->Items(0).Booleans(1));
    EXPECT_EQ(clone->Items(0).Objects(0), item.Objects(0));
    EXPECT_TRUE(clone->Items(0).OwnObject());
    EXPECT_EQ(clone->Add().BooleansCount(), 2);  // same shape

    clone->Items(0).SetStrings(0, "changed");
    clone->Items(0).SetBooleans(1, false);
    EXPECT_EQ(item.Strings(0), "/home/");
    EXPECT_TRUE(item.Booleans(1));

    original.reset();
    EXPECT_EQ(freed, 0) << "the clone still holds the object";
  }
  EXPECT_EQ(freed, 1);

  freed = 0;
  Counted kept(freed);
  {
    TQelVarList borrowing(1, 1, 1, 1, 1, 1, 1, false);
    borrowing.Add().SetObjects(0, &kept);
    auto clone = borrowing.DeepClone();
    EXPECT_FALSE(clone->Items(0).OwnObject());
  }
  EXPECT_EQ(freed, 0);
}

}  // namespace
}  // namespace purgo
