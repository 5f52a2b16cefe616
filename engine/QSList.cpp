// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/QSList.h"

#include <algorithm>
#include <utility>

namespace purgo {
namespace {

int AtLeastOne(int count) { return count < 1 ? 1 : count; }

// Slot arrays are never empty, so the clamped index is always valid.
std::size_t Slot(int index, std::size_t length) {
  if (index < 0) return 0;
  const auto i = static_cast<std::size_t>(index);
  return i < length ? i : length - 1;
}

template <typename T>
std::vector<T> Slots(int count) {
  return std::vector<T>(static_cast<std::size_t>(AtLeastOne(count)));
}

}  // namespace

TQelVarListItem::TQelVarListItem(int AStringsCount, int ABooleansCount, int AInt32sCount,
                                 int AInt64sCount, int APointersCount, int AObjectsCount,
                                 int ADoublesCount, bool AOwnObject)
    : FStrings(Slots<std::string>(AStringsCount)),
      FObjects(Slots<std::shared_ptr<TQelObject>>(AObjectsCount)),
      FPointers(Slots<void*>(APointersCount)),
      FBooleans(Slots<bool>(ABooleansCount)),
      FInt32s(Slots<std::int32_t>(AInt32sCount)),
      FInt64s(Slots<std::int64_t>(AInt64sCount)),
      FDoubles(Slots<double>(ADoublesCount)),
      FOwnObject(AOwnObject) {}

const std::string& TQelVarListItem::Strings(int AIndex) const {
  return FStrings[Slot(AIndex, FStrings.size())];
}
void TQelVarListItem::SetStrings(int AIndex, std::string AValue) {
  FStrings[Slot(AIndex, FStrings.size())] = std::move(AValue);
}

bool TQelVarListItem::Booleans(int AIndex) const {
  return FBooleans[Slot(AIndex, FBooleans.size())];
}
void TQelVarListItem::SetBooleans(int AIndex, bool AValue) {
  FBooleans[Slot(AIndex, FBooleans.size())] = AValue;
}

std::int32_t TQelVarListItem::Int32s(int AIndex) const {
  return FInt32s[Slot(AIndex, FInt32s.size())];
}
void TQelVarListItem::SetInt32s(int AIndex, std::int32_t AValue) {
  FInt32s[Slot(AIndex, FInt32s.size())] = AValue;
}

std::int64_t TQelVarListItem::Int64s(int AIndex) const {
  return FInt64s[Slot(AIndex, FInt64s.size())];
}
void TQelVarListItem::SetInt64s(int AIndex, std::int64_t AValue) {
  FInt64s[Slot(AIndex, FInt64s.size())] = AValue;
}

double TQelVarListItem::Doubles(int AIndex) const {
  return FDoubles[Slot(AIndex, FDoubles.size())];
}
void TQelVarListItem::SetDoubles(int AIndex, double AValue) {
  FDoubles[Slot(AIndex, FDoubles.size())] = AValue;
}

void* TQelVarListItem::Pointers(int AIndex) const {
  return FPointers[Slot(AIndex, FPointers.size())];
}
void TQelVarListItem::SetPointers(int AIndex, void* AValue) {
  FPointers[Slot(AIndex, FPointers.size())] = AValue;
}

TQelObject* TQelVarListItem::Objects(int AIndex) const {
  return FObjects[Slot(AIndex, FObjects.size())].get();
}

void TQelVarListItem::SetObjects(int AIndex, TQelObject* AValue) {
  std::shared_ptr<TQelObject>& slot = FObjects[Slot(AIndex, FObjects.size())];
  if (AValue == nullptr) {
    slot.reset();
    return;
  }
  // Adopting a pointer a slot already owns would free it twice.
  const auto held = std::find_if(FObjects.begin(), FObjects.end(),
                                 [AValue](const auto& o) { return o.get() == AValue; });
  if (held != FObjects.end()) {
    slot = *held;
  } else if (FOwnObject) {
    slot = std::shared_ptr<TQelObject>(AValue);
  } else {
    slot = std::shared_ptr<TQelObject>(AValue, [](TQelObject*) {});
  }
}

void TQelVarListItem::SetObjects(int AIndex, std::shared_ptr<TQelObject> AValue) {
  FObjects[Slot(AIndex, FObjects.size())] = std::move(AValue);
}

std::unique_ptr<TQelVarListItem> TQelVarListItem::Clone() const {
  return std::make_unique<TQelVarListItem>(*this);
}

TQelVarList::TQelVarList(int AStringsCount, int ABooleansCount, int AInt32sCount,
                         int AInt64sCount, int APointersCount, int AObjectsCount,
                         int ADoublesCount, bool AOwnObject)
    : FOwnObject(AOwnObject),
      FStringsCount(AtLeastOne(AStringsCount)),
      FBooleansCount(AtLeastOne(ABooleansCount)),
      FInt32sCount(AtLeastOne(AInt32sCount)),
      FInt64sCount(AtLeastOne(AInt64sCount)),
      FPointersCount(AtLeastOne(APointersCount)),
      FObjectsCount(AtLeastOne(AObjectsCount)),
      FDoublesCount(AtLeastOne(ADoublesCount)) {}

std::unique_ptr<TQelVarListItem> TQelVarList::NewItem() const {
  return std::make_unique<TQelVarListItem>(FStringsCount, FBooleansCount, FInt32sCount,
                                           FInt64sCount, FPointersCount, FObjectsCount,
                                           FDoublesCount, FOwnObject);
}

TQelVarListItem& TQelVarList::Add() {
  FItems.push_back(NewItem());
  return *FItems.back();
}

int TQelVarList::Add(std::unique_ptr<TQelVarListItem> AItem) {
  if (!AItem) return -1;
  FItems.push_back(std::move(AItem));
  return Count() - 1;
}

TQelVarListItem& TQelVarList::Insert(int AIndex) {
  const std::size_t at = AIndex < 0 ? 0 : std::min(static_cast<std::size_t>(AIndex), FItems.size());
  const auto it = FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at), NewItem());
  return **it;
}

int TQelVarList::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) return -1;
  FItems.erase(FItems.begin() + AIndex);
  return std::min(AIndex, Count() - 1);
}

void TQelVarList::Clear() { FItems.clear(); }

std::unique_ptr<TQelVarList> TQelVarList::DeepClone() const {
  auto copy = std::make_unique<TQelVarList>(FStringsCount, FBooleansCount, FInt32sCount,
                                            FInt64sCount, FPointersCount, FObjectsCount,
                                            FDoublesCount, FOwnObject);
  copy->FItems.reserve(FItems.size());
  for (const auto& item : FItems) copy->FItems.push_back(item->Clone());
  return copy;
}

TQelVarListItem& TQelVarList::Items(int AIndex) {
  if (AIndex < 0) {
    if (FItems.empty()) return Add();
    return *FItems.front();
  }
  if (AIndex < Count()) return *FItems[static_cast<std::size_t>(AIndex)];
  return Add();
}

}  // namespace purgo
