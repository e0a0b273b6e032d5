// The segmented key store behind every channel (varnex/key_list.h): owns the
// segments, and the tangent and identifier records while they are needed.
#include "varnex/key_list.h"

#include <bit>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

namespace vxhost {

KeyList::KeyList(const KeyList& other) { Assign(other.ToVector()); }

KeyList& KeyList::operator=(const KeyList& other) {
  if (this != &other) Assign(other.ToVector());
  return *this;
}

KeyList::~KeyList() { Release(); }

Key KeyList::operator[](size_t i) const {
  const Point& point = PointAt(i);
  Key key;
  key.time = point.time;
  key.value = point.value;
  if (!slopes_.empty()) {
    key.inSlope = slopes_[i].in;
    key.outSlope = slopes_[i].out;
    key.hasSlopes = slopes_[i].has;
  }
  key.id = IdAt(i);
  return key;
}

Key KeyList::at(size_t i) const {
  if (i >= size_) throw std::out_of_range("KeyList::at: no key " + std::to_string(i));
  return (*this)[i];
}

uint32_t KeyList::IdAt(size_t i) const { return ids_.empty() ? static_cast<uint32_t>(i + 1) : ids_[i]; }

std::vector<Key> KeyList::ToVector() const {
  std::vector<Key> keys;
  keys.reserve(size_);
  for (size_t i = 0; i < size_; ++i) keys.push_back((*this)[i]);
  return keys;
}

size_t KeyList::LowerBound(int32_t time) const {
  size_t low = 0, high = size_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (TimeAt(middle) < time) low = middle + 1;
    else high = middle;
  }
  return low;
}

void KeyList::AddSegment() {
  if (lastSegmentTrimmed_) {
    // Trim gave the segment's tail back; take its full room again.
    const int s = segmentCount_ - 1;
    void* grown = std::realloc(segments_[s], SegmentCapacity(s) * sizeof(Point));
    if (!grown) throw std::bad_alloc();
    segments_[s] = static_cast<Point*>(grown);
    tail_ = segments_[s] + (size_ - SegmentStart(s));
    tailEnd_ = segments_[s] + SegmentCapacity(s);
    lastSegmentTrimmed_ = false;
    lastValue_ = nullptr;
    if (tail_ != tailEnd_) return;
  }
  if (segmentCount_ == kMaxSegments) throw std::length_error("KeyList: too many keys");
  const int s = segmentCount_;
  if (s == 1 && segments_ == &firstSegment_) {
    auto** table = static_cast<Point**>(std::malloc(kMaxSegments * sizeof(Point*)));
    if (!table) throw std::bad_alloc();
    table[0] = firstSegment_;
    segments_ = table;
  }
  void* room = std::malloc(SegmentCapacity(s) * sizeof(Point));
  if (!room) throw std::bad_alloc();
  segments_[s] = static_cast<Point*>(room);
  ++segmentCount_;
  tail_ = segments_[s];
  tailEnd_ = tail_ + SegmentCapacity(s);
}

float* KeyList::InsertSlowly(size_t i, int32_t time, uint32_t id) {
  if (tail_ == tailEnd_) AddSegment();
  const bool usualId = ids_.empty() && i == size_ && id == size_ + 1;
  if (ids_.empty() && !usualId) ids_ = AllIds();
  ++tail_;
  ++size_;
  for (size_t k = size_ - 1; k > i; --k) PointAt(k) = PointAt(k - 1);
  Point& point = PointAt(i);
  point.time = time;
  point.value = 0.0f;
  if (!slopes_.empty()) slopes_.insert(slopes_.begin() + static_cast<std::ptrdiff_t>(i), Slopes{});
  if (!usualId) ids_.insert(ids_.begin() + static_cast<std::ptrdiff_t>(i), id);
  return Remember(id, &point.value);
}

float* KeyList::FindValueSlowly(uint64_t id) {
  if (ids_.empty()) {
    if (id >= 1 && id <= size_) return Remember(static_cast<uint32_t>(id), &PointAt(id - 1).value);
    return nullptr;
  }
  for (size_t i = 0; i < size_; ++i)
    if (ids_[i] == id) return Remember(ids_[i], &PointAt(i).value);
  return nullptr;
}

std::vector<uint32_t> KeyList::AllIds() const {
  std::vector<uint32_t> ids(size_);
  for (size_t i = 0; i < size_; ++i) ids[i] = IdAt(i);
  return ids;
}

void KeyList::Assign(const std::vector<Key>& keys) {
  clear();
  bool usualIds = true, anySlopes = false;
  for (size_t i = 0; i < keys.size(); ++i) {
    const Key& key = keys[i];
    if (tail_ == tailEnd_) AddSegment();
    *tail_++ = Point{key.time, key.value};
    ++size_;
    usualIds = usualIds && key.id == i + 1;
    // Every bit counts: a reduced key may keep tangents it does not use.
    anySlopes = anySlopes || key.hasSlopes || std::bit_cast<uint32_t>(key.inSlope) != 0 ||
                std::bit_cast<uint32_t>(key.outSlope) != 0;
  }
  if (anySlopes) {
    slopes_.reserve(keys.size());
    for (const Key& key : keys) slopes_.push_back({key.inSlope, key.outSlope, key.hasSlopes});
  }
  if (!usualIds) {
    ids_.reserve(keys.size());
    for (const Key& key : keys) ids_.push_back(key.id);
  }
}

int64_t KeyList::DropInsideFlatRuns() {
  if (!slopes_.empty() || lastSegmentTrimmed_) return -1;
  const size_t n = size_;
  const bool hadIds = !ids_.empty();
  size_t kept = 0;
  // Keys are moved down over the dropped ones; the next key is read before
  // anything is written to it, and the last kept one is where it was moved.
  for (size_t i = 0; i < n; ++i) {
    const float value = PointAt(i).value;
    if (kept > 0 && i + 1 < n && PointAt(kept - 1).value == value && PointAt(i + 1).value == value) continue;
    if (hadIds) {
      ids_[kept] = ids_[i];
    } else if (kept != i) {
      // The first key after a gap makes identifiers explicit: 1, 2, 3… before it.
      if (ids_.empty()) {
        ids_.reserve(n);  // the only allocation, made before any key moves
        for (size_t k = 0; k < kept; ++k) ids_.push_back(static_cast<uint32_t>(k + 1));
      }
      ids_.push_back(static_cast<uint32_t>(i + 1));
    }
    if (kept != i) PointAt(kept) = PointAt(i);
    ++kept;
  }
  if (kept == 2 && PointAt(0).value == PointAt(1).value) kept = 1;
  if (kept == n) return 0;
  ids_.resize(ids_.empty() ? 0 : kept);
  bool usualIds = true;
  for (size_t i = 0; i < ids_.size() && usualIds; ++i) usualIds = ids_[i] == i + 1;
  if (usualIds) ids_.clear();
  // Segments past the last key go back; the last one keeps its room.
  const int last = SegmentOf(kept - 1);
  for (int s = last + 1; s < segmentCount_; ++s) std::free(segments_[s]);
  segmentCount_ = last + 1;
  size_ = kept;
  tail_ = segments_[last] + (kept - SegmentStart(last));
  tailEnd_ = segments_[last] + SegmentCapacity(last);
  lastId_ = 0;
  lastValue_ = nullptr;
  return static_cast<int64_t>(n - kept);
}

void KeyList::Trim() {
  lastId_ = 0;
  lastValue_ = nullptr;
  slopes_.shrink_to_fit();
  ids_.shrink_to_fit();
  if (segmentCount_ == 0 || tail_ == tailEnd_) return;
  const int s = segmentCount_ - 1;
  const size_t used = size_ - SegmentStart(s);
  // The allocator takes the room back; the segment may move, and nothing
  // points into it now.
  if (void* kept = std::realloc(segments_[s], used * sizeof(Point))) {
    segments_[s] = static_cast<Point*>(kept);
    tail_ = tailEnd_ = segments_[s] + used;
    lastSegmentTrimmed_ = true;
  }
}

void KeyList::Release() {
  for (int s = 0; s < segmentCount_; ++s) std::free(segments_[s]);
  if (segments_ != &firstSegment_) std::free(segments_);
  segments_ = &firstSegment_;
  firstSegment_ = nullptr;
  segmentCount_ = 0;
  lastSegmentTrimmed_ = false;
  size_ = 0;
  tail_ = tailEnd_ = nullptr;
  lastId_ = 0;
  lastValue_ = nullptr;
}

void KeyList::clear() {
  Release();
  slopes_.clear();
  ids_.clear();
}

}  // namespace vxhost
