// A channel's keys as the host stores them: eight bytes a key (time and
// value) in segments that never move once allocated, so a growing channel
// copies nothing; tangents and keyframe identifiers are kept apart, and only
// while some key differs from the usual (no tangents; identifiers 1, 2, 3…
// in key order). Reading gives whole Key records, built on the fly.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace vxhost {

// One Bezier keyframe. Slopes are in value units per tick; a key whose
// slopes were never set interpolates linearly towards its neighbours.
struct Key {
  int32_t time = 0;
  float value = 0.0f;
  float inSlope = 0.0f;
  float outSlope = 0.0f;
  bool hasSlopes = false;
  uint32_t id = 0;              // keyframe identifier within its channel, never 0
};

class KeyList {
 public:
  KeyList() = default;
  KeyList(const KeyList& other);
  KeyList& operator=(const KeyList& other);
  ~KeyList();

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Key operator[](size_t i) const;
  Key at(size_t i) const;       // throws std::out_of_range past the end
  Key front() const { return (*this)[0]; }
  Key back() const { return (*this)[size_ - 1]; }
  int32_t TimeAt(size_t i) const { return PointAt(i).time; }
  float ValueAt(size_t i) const { return PointAt(i).value; }
  uint32_t IdAt(size_t i) const;
  // Whether any key carries tangents (or tangent fields other than zero).
  bool HasSlopeRecords() const { return !slopes_.empty(); }
  // visit(time, value) for every key in order: a walk over the segments,
  // without the index arithmetic of TimeAt and ValueAt.
  template <class Visit>
  void ForEachTimeAndValue(Visit&& visit) const {
    for (int s = 0; s < segmentCount_ && SegmentStart(s) < size_; ++s) {
      const size_t left = size_ - SegmentStart(s);
      const Point* point = segments_[s];
      const Point* const end = point + (left < SegmentCapacity(s) ? left : SegmentCapacity(s));
      for (; point != end; ++point) visit(point->time, point->value);
    }
  }
  std::vector<Key> ToVector() const;
  operator std::vector<Key>() const { return ToVector(); }  // for code written against plain key lists

  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Key;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Key;
    const_iterator() = default;
    const_iterator(const KeyList* list, size_t i) : list_(list), i_(i) {}
    Key operator*() const { return (*list_)[i_]; }
    Key operator[](difference_type n) const { return (*list_)[i_ + n]; }
    const_iterator& operator++() { ++i_; return *this; }
    const_iterator operator++(int) { const_iterator was = *this; ++i_; return was; }
    const_iterator& operator--() { --i_; return *this; }
    const_iterator operator--(int) { const_iterator was = *this; --i_; return was; }
    const_iterator& operator+=(difference_type n) { i_ += n; return *this; }
    const_iterator& operator-=(difference_type n) { i_ -= n; return *this; }
    friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
    friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.i_ <=> b.i_; }

   private:
    const KeyList* list_ = nullptr;
    size_t i_ = 0;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

  // -- Writing (the host's own)

  int32_t BackTime() const { return tail_[-1].time; }  // of a list that is not empty
  // Index of the first key at or after the time; size() when none.
  size_t LowerBound(int32_t time) const;
  // Adds a key with value 0 at index i (at the end when i == size()); the
  // caller keeps the times ordered. Answers where the key's value lives.
  float* Insert(size_t i, int32_t time, uint32_t id) {
    if (i == size_ && tail_ != tailEnd_ && slopes_.empty() && ids_.empty() && id == size_ + 1) {
      Point* point = tail_++;
      ++size_;
      point->time = time;
      point->value = 0.0f;
      return Remember(id, &point->value);
    }
    return InsertSlowly(i, time, id);
  }
  // Where the value of the key with this identifier lives; null when no key has it.
  float* FindValue(uint64_t id) {
    if (id == lastId_ && lastValue_) return lastValue_;
    return FindValueSlowly(id);
  }
  // The identifier of key i, which is about to get its value.
  uint32_t Recall(size_t i) {
    const uint32_t id = IdAt(i);
    Remember(id, &PointAt(i).value);
    return id;
  }
  void Assign(const std::vector<Key>& keys);
  // OptimizeKeys for a list without tangents, done in place: drops every key
  // inside a run of three or more equal values, then the second of two equal
  // keys that are all that is left. Keys keep their identifiers. Answers how
  // many keys went, or -1 when the list must be copied out instead (it has
  // tangents, or its last segment was trimmed).
  int64_t DropInsideFlatRuns();
  // Gives back the room reserved past the last key.
  void Trim();
  void clear();

 private:
  struct Point {
    int32_t time;
    float value;
  };
  struct Slopes {
    float in = 0.0f, out = 0.0f;
    bool has = false;
  };
  // Segment s holds kFirst << s points, so the list can grow to about 2^32
  // keys in 28 segments and never moves a key once written.
  static constexpr int kFirstBits = 4;
  static constexpr size_t kFirst = size_t{1} << kFirstBits;
  static constexpr int kMaxSegments = 28;
  static int SegmentOf(size_t i) { return std::bit_width(i + kFirst) - 1 - kFirstBits; }
  static size_t SegmentStart(int s) { return ((size_t{1} << s) - 1) << kFirstBits; }
  static size_t SegmentCapacity(int s) { return kFirst << s; }
  const Point& PointAt(size_t i) const {
    const int s = SegmentOf(i);
    return segments_[s][i - SegmentStart(s)];
  }
  Point& PointAt(size_t i) {
    const int s = SegmentOf(i);
    return segments_[s][i - SegmentStart(s)];
  }
  float* Remember(uint32_t id, float* value) {
    lastId_ = id;
    lastValue_ = value;
    return value;
  }
  float* InsertSlowly(size_t i, int32_t time, uint32_t id);
  float* FindValueSlowly(uint64_t id);
  void AddSegment();
  void Release();
  void SetIds(const std::vector<uint32_t>& ids);
  std::vector<uint32_t> AllIds() const;

  // A list of one segment, as most channels of a big skeleton are, keeps its
  // pointer here; a longer one moves the pointers to a table of kMaxSegments.
  Point* firstSegment_ = nullptr;
  Point** segments_ = &firstSegment_;
  int segmentCount_ = 0;
  bool lastSegmentTrimmed_ = false;
  size_t size_ = 0;
  Point* tail_ = nullptr;     // where the next appended key goes
  Point* tailEnd_ = nullptr;  // end of the last segment's room
  std::vector<Slopes> slopes_;       // empty, or one per key
  // Empty while key i has identifier i + 1; else the identifier of every key.
  std::vector<uint32_t> ids_;
  uint64_t lastId_ = 0;              // the key added or found last: its value usually follows
  float* lastValue_ = nullptr;
};

}  // namespace vxhost
