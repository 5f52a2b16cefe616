// SPDX-License-Identifier: GPL-3.0-or-later
// Records of typed value slots, and lists of such records.
//
// Every record of a list has the same shape: a fixed number of string,
// object, pointer, Boolean, 32-bit, 64-bit and floating-point slots. Slot
// access never fails and never grows a record: an index below 0 means the
// first slot, one at or past the end the last. Reading a list past its end
// appends exactly one new record, so callers can fill a list by index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace purgo {

// Base of anything kept in an object slot.
class TQelObject {
 public:
  virtual ~TQelObject() = default;
};

class TQelVarListItem {
 public:
  // Counts of 0 or less become 1. With AOwnObject the record owns what is
  // put in its object slots.
  TQelVarListItem(int AStringsCount, int ABooleansCount, int AInt32sCount, int AInt64sCount,
                  int APointersCount, int AObjectsCount, int ADoublesCount, bool AOwnObject);

  // Slot values are copied; object slots are shared, so an object outlives
  // a copy of an owning record until the last owner is gone.
  TQelVarListItem(const TQelVarListItem&) = default;
  TQelVarListItem& operator=(const TQelVarListItem&) = default;
  TQelVarListItem(TQelVarListItem&&) noexcept = default;
  TQelVarListItem& operator=(TQelVarListItem&&) noexcept = default;
  ~TQelVarListItem() = default;

  int StringsCount() const { return static_cast<int>(FStrings.size()); }
  int ObjectsCount() const { return static_cast<int>(FObjects.size()); }
  int PointersCount() const { return static_cast<int>(FPointers.size()); }
  int BooleansCount() const { return static_cast<int>(FBooleans.size()); }
  int Int32sCount() const { return static_cast<int>(FInt32s.size()); }
  int Int64sCount() const { return static_cast<int>(FInt64s.size()); }
  int DoublesCount() const { return static_cast<int>(FDoubles.size()); }
  bool OwnObject() const { return FOwnObject; }

  const std::string& Strings(int AIndex) const;
  void SetStrings(int AIndex, std::string AValue);
  bool Booleans(int AIndex) const;
  void SetBooleans(int AIndex, bool AValue);
  std::int32_t Int32s(int AIndex) const;
  void SetInt32s(int AIndex, std::int32_t AValue);
  std::int64_t Int64s(int AIndex) const;
  void SetInt64s(int AIndex, std::int64_t AValue);
  double Doubles(int AIndex) const;
  void SetDoubles(int AIndex, double AValue);
  // Pointers are never owned or freed.
  void* Pointers(int AIndex) const;
  void SetPointers(int AIndex, void* AValue);

  TQelObject* Objects(int AIndex) const;
  // An owning record adopts AValue (it is deleted with its last owner); a
  // non-owning one only refers to it. Putting in an object that another
  // slot of this record already holds shares that slot's ownership instead
  // of adopting it twice. Replacing an adopted object releases it.
  void SetObjects(int AIndex, TQelObject* AValue);
  // Hands in an object already under shared ownership, whatever the flag.
  void SetObjects(int AIndex, std::shared_ptr<TQelObject> AValue);

  std::unique_ptr<TQelVarListItem> Clone() const;

 private:
  std::vector<std::string> FStrings;
  std::vector<std::shared_ptr<TQelObject>> FObjects;
  std::vector<void*> FPointers;
  std::vector<bool> FBooleans;
  std::vector<std::int32_t> FInt32s;
  std::vector<std::int64_t> FInt64s;
  std::vector<double> FDoubles;
  bool FOwnObject = false;
};

class TQelVarList {
 public:
  // The shape every new record gets; counts of 0 or less become 1.
  TQelVarList(int AStringsCount, int ABooleansCount, int AInt32sCount, int AInt64sCount,
              int APointersCount, int AObjectsCount, int ADoublesCount, bool AOwnObject);

  TQelVarList(const TQelVarList&) = delete;
  TQelVarList& operator=(const TQelVarList&) = delete;
  TQelVarList(TQelVarList&&) noexcept = default;
  TQelVarList& operator=(TQelVarList&&) noexcept = default;
  ~TQelVarList() = default;

  int Count() const { return static_cast<int>(FItems.size()); }

  // Appends a new record of the list's shape.
  TQelVarListItem& Add();
  // Appends AItem (of any shape) and returns its index; a null item is
  // refused with -1, since every index must lead to a record.
  int Add(std::unique_ptr<TQelVarListItem> AItem);
  // A new record at AIndex: at 0 when negative, appended when past the end.
  TQelVarListItem& Insert(int AIndex);
  // Frees the record at AIndex and returns the index of the record now at
  // or before that place (-1 when the list became empty). An index outside
  // the list changes nothing and gives -1.
  int Delete(int AIndex);
  void Clear();
  // Same shape and owner flag; every record copied as Clone does.
  std::unique_ptr<TQelVarList> DeepClone() const;

  // Negative reads the first record, an index inside the list that record;
  // any other index appends one new record and returns it. An empty list
  // gets a record first, so the result always exists.
  TQelVarListItem& Items(int AIndex);

 private:
  std::unique_ptr<TQelVarListItem> NewItem() const;

  std::vector<std::unique_ptr<TQelVarListItem>> FItems;
  bool FOwnObject = false;
  int FStringsCount = 1;
  int FBooleansCount = 1;
  int FInt32sCount = 1;
  int FInt64sCount = 1;
  int FPointersCount = 1;
  int FObjectsCount = 1;
  int FDoublesCount = 1;
};

}  // namespace purgo
