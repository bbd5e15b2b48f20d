#include "voxel/rotation_bounds.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <span>

#include "parallel/pool.h"
#include "util/numeric.h"
#include "voxel/key_sort.h"

namespace tolm::voxel {

namespace {

/// A turn about X or Y with its cosine and sine; `s` is negated for the inverse turn.
struct Turn {
  double c = 1;
  double s = 0;
  bool axis_x = true;
};

/// The axis-aligned box of a turned unit cube, per axis (0: x, 1: y, 2: z).
struct Box {
  double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
  double hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
};

/// An inclusive index range [first, last]; `empty` when it holds no index.
struct Range {
  int64_t first = 0;
  int64_t last = 0;
  bool empty = true;
  /// The number of indices (2^64 for the whole int64 range, hence 128 bits).
  uint128 size() const {
    return empty ? 0 : uint128{static_cast<uint64_t>(last) - static_cast<uint64_t>(first)} + 1;
  }
};

// The far corner n + 1, computed without overflowing at the int64 limit.
double upper_corner(int64_t n) {
  return n == kInt64Max ? 9223372036854775808.0 : static_cast<double>(n + 1);
}

Box turned_box(const Voxel &v, const Turn &turn) {
  const double xs[2] = {static_cast<double>(v.i), upper_corner(v.i)};
  const double ys[2] = {static_cast<double>(v.j), upper_corner(v.j)};
  const double zs[2] = {static_cast<double>(v.k), upper_corner(v.k)};
  Box box;
  for (int corner = 0; corner < 8; ++corner) {
    const double x = xs[corner & 1], y = ys[(corner >> 1) & 1], z = zs[(corner >> 2) & 1];
    double p[3];
    if (turn.axis_x) {
      p[0] = x;
      p[1] = turn.c * y - turn.s * z;
      p[2] = turn.s * y + turn.c * z;
    } else {
      p[0] = turn.c * x + turn.s * z;
      p[1] = y;
      p[2] = -turn.s * x + turn.c * z;
    }
    // A NaN coordinate fails both comparisons and so never enters the box.
    for (int a = 0; a < 3; ++a) {
      if (p[a] < box.lo[a])
        box.lo[a] = p[a];
      if (p[a] > box.hi[a])
        box.hi[a] = p[a];
    }
  }
  return box;
}

/// The cells a box may reach: floor(lo) up to ceil(hi), exclusive.
Range candidate_range(const Box &box, int axis) {
  const int64_t begin = saturating_i64(std::floor(box.lo[axis]));
  const int64_t end = saturating_i64(std::ceil(box.hi[axis]));
  return begin < end ? Range{begin, end - 1, false} : Range{};
}

/// The cells a box meets, counting a cell whose lower face the box's upper face touches:
/// floor(lo) to floor(hi), inclusive.
Range test_range(const Box &box, int axis) {
  const int64_t first = saturating_i64(std::floor(box.lo[axis]));
  const int64_t last = saturating_i64(std::floor(box.hi[axis]));
  return first <= last ? Range{first, last, false} : Range{};
}

template <class Fn> void for_each_index(const Range &range, Fn &&fn) {
  if (range.empty)
    return;
  for (int64_t n = range.first;; ++n) {
    fn(n);
    if (n == range.last)
      break;
  }
}

/// The columns (i, j) of a voxel set, each found in one hash probe sequence.
class ColumnIndex {
public:
  explicit ColumnIndex(const VoxelSet &voxels) : voxels_(voxels) {
    size_t columns = 0;
    for (size_t x = 0; x < voxels.size(); ++x)
      if (x == 0 || voxels[x].i != voxels[x - 1].i || voxels[x].j != voxels[x - 1].j)
        ++columns;
    size_t capacity = 16;
    while (capacity < 2 * columns)
      capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (size_t begin = 0; begin < voxels.size();) {
      size_t end = begin + 1;
      while (end < voxels.size() && voxels[end].i == voxels[begin].i &&
             voxels[end].j == voxels[begin].j)
        ++end;
      size_t slot = hash(voxels[begin].i, voxels[begin].j) & mask_;
      while (slots_[slot].end != 0)
        slot = (slot + 1) & mask_;
      slots_[slot] = Slot{voxels[begin].i, voxels[begin].j, begin, end};
      begin = end;
    }
  }

  /// The voxels of column (i, j), ascending by k; empty when the set has none there.
  std::span<const Voxel> column(int64_t i, int64_t j) const {
    for (size_t slot = hash(i, j) & mask_;; slot = (slot + 1) & mask_) {
      const Slot &s = slots_[slot];
      if (s.end == 0)
        return {};
      if (s.i == i && s.j == j)
        return std::span(voxels_).subspan(s.begin, s.end - s.begin);
    }
  }

private:
  struct Slot {
    int64_t i = 0;
    int64_t j = 0;
    size_t begin = 0;
    size_t end = 0; // 0 marks a free slot: a real column ends after its first voxel
  };

  static size_t hash(int64_t i, int64_t j) {
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(j);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<size_t>(h);
  }

  const VoxelSet &voxels_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

struct Classification {
  bool any_present = false;
  bool any_absent = false;
};

/// Looks up every voxel of the product of the three ranges in the set, stopping once both a
/// present and an absent one have been seen.
Classification classify(const ColumnIndex &index, const Range ranges[3]) {
  Classification result;
  const Range &ks = ranges[2];
  if (ranges[0].empty || ranges[1].empty || ks.empty)
    return result;
  for_each_index(ranges[0], [&](int64_t i) {
    if (result.any_present && result.any_absent)
      return;
    for_each_index(ranges[1], [&](int64_t j) {
      if (result.any_present && result.any_absent)
        return;
      std::span<const Voxel> column = index.column(i, j);
      auto it = std::lower_bound(column.begin(), column.end(), ks.first,
                                 [](const Voxel &v, int64_t k) { return v.k < k; });
      uint128 found = 0;
      for (; it != column.end() && it->k <= ks.last; ++it)
        ++found;
      if (found > 0)
        result.any_present = true;
      if (found < ks.size())
        result.any_absent = true;
    });
  });
  return result;
}

// Voxels per task: enough work per task to outweigh its start, small enough that a task's
// candidates stay in cache.
constexpr size_t kChunk = 4096;

/// The candidates reached by turned voxels, each voxel's as a product of three ranges, merged
/// into one ordered set without repeats.
class CandidateSet {
public:
  void add(const Range ranges[3]) {
    boxes_.push_back({ranges[0], ranges[1], ranges[2]});
    uint128 count = 1;
    for (int a = 0; a < 3; ++a) {
      count *= ranges[a].size();
      lo_[a] = std::min(lo_[a], ranges[a].first);
      hi_[a] = std::max(hi_[a], ranges[a].last);
    }
    total_ += count;
  }

  /// The candidates in ascending order, without repeats.
  std::vector<Voxel> take() {
    std::vector<Voxel> out;
    if (boxes_.empty())
      return out;
    uint128 volume = 1;
    for (int a = 0; a < 3; ++a)
      volume *= Range{lo_[a], hi_[a], false}.size();
    // Neighbouring voxels reach mostly the same candidates. Marking them in a bitmap over the
    // candidates' bounding box and reading it back in index order merges them without a sort,
    // as long as the box is not much sparser than the candidates.
    if (volume <= 256 * total_ + 4096)
      from_bitmap(out, static_cast<uint64_t>(volume));
    else
      from_sort(out);
    boxes_.clear();
    return out;
  }

private:
  struct CandidateBox {
    Range r[3];
  };

  void from_sort(std::vector<Voxel> &out) const {
    for (const CandidateBox &box : boxes_)
      for_each_index(box.r[0], [&](int64_t i) {
        for_each_index(box.r[1], [&](int64_t j) {
          for_each_index(box.r[2], [&](int64_t k) { out.push_back({i, j, k}); });
        });
      });
    make_set(out);
  }

  void from_bitmap(std::vector<Voxel> &out, uint64_t volume) {
    const uint64_t ny = static_cast<uint64_t>(hi_[1]) - static_cast<uint64_t>(lo_[1]) + 1;
    const uint64_t nz = static_cast<uint64_t>(hi_[2]) - static_cast<uint64_t>(lo_[2]) + 1;
    auto offset = [&](int64_t v, int a) {
      return static_cast<uint64_t>(v) - static_cast<uint64_t>(lo_[a]);
    };
    bits_.assign(volume / 64 + 1, 0);
    for (const CandidateBox &box : boxes_)
      for_each_index(box.r[0], [&](int64_t i) {
        for_each_index(box.r[1], [&](int64_t j) {
          const uint64_t row = (offset(i, 0) * ny + offset(j, 1)) * nz;
          for_each_index(box.r[2], [&](int64_t k) {
            const uint64_t bit = row + offset(k, 2);
            bits_[bit / 64] |= uint64_t{1} << (bit % 64);
          });
        });
      });
    for (uint64_t w = 0; w < bits_.size(); ++w)
      for (uint64_t word = bits_[w]; word != 0; word &= word - 1) {
        const uint64_t bit = w * 64 + static_cast<uint64_t>(std::countr_zero(word));
        const uint64_t z = bit % nz, rest = bit / nz;
        out.push_back({static_cast<int64_t>(static_cast<uint64_t>(lo_[0]) + rest / ny),
                       static_cast<int64_t>(static_cast<uint64_t>(lo_[1]) + rest % ny),
                       static_cast<int64_t>(static_cast<uint64_t>(lo_[2]) + z)});
      }
  }

  std::vector<CandidateBox> boxes_;
  std::vector<uint64_t> bits_;
  int64_t lo_[3] = {kInt64Max, kInt64Max, kInt64Max};
  int64_t hi_[3] = {kInt64Min, kInt64Min, kInt64Min};
  uint128 total_ = 0;
};

} // namespace

std::string_view verdict_name(Verdict verdict) {
  return verdict == Verdict::SameWithinGrid ? "SameWithinGrid" : "DefinitelyDiffer";
}

RotationBounds rotate_bounds(const VoxelSet &voxels, double radians, bool axis_x) {
  const double c = std::cos(radians), s = std::sin(radians);
  const Turn forward{c, s, axis_x};
  const Turn inverse{c, -s, axis_x};
  const ColumnIndex index(voxels);

  // A turn about Y keeps j, so tasks take runs of equal j there: each task's candidates then
  // stay in a thin slab, as the runs of equal i do for a turn about X.
  VoxelSet by_j;
  if (!axis_x) {
    by_j = voxels;
    std::vector<Voxel> scratch;
    stable_sort_by_key(std::span(by_j), scratch, [](const Voxel &v) { return v.j; });
  }
  const VoxelSet &order = axis_x ? voxels : by_j;

  // Each task turns its share of the set, merges the candidates it reaches and classifies
  // them; a candidate reached from two tasks is classified twice, identically, and the unions
  // below keep it once.
  const size_t chunks = (order.size() + kChunk - 1) / kChunk;
  std::vector<RotationBounds> parts = parallel::map(chunks, [&](size_t chunk) {
    const size_t first = chunk * kChunk;
    const size_t last = std::min(order.size(), first + kChunk);
    CandidateSet reached;
    for (size_t x = first; x < last; ++x) {
      const Box box = turned_box(order[x], forward);
      const Range r[3] = {candidate_range(box, 0), candidate_range(box, 1),
                          candidate_range(box, 2)};
      if (!r[0].empty && !r[1].empty && !r[2].empty)
        reached.add(r);
    }
    RotationBounds bounds;
    for (const Voxel &v : reached.take()) {
      const Box box = turned_box(v, inverse);
      const Range r[3] = {test_range(box, 0), test_range(box, 1), test_range(box, 2)};
      const Classification found = classify(index, r);
      if (found.any_present) {
        bounds.outer.push_back(v);
        if (!found.any_absent)
          bounds.inner.push_back(v);
      }
    }
    return bounds;
  });

  std::vector<VoxelSet> inner, outer;
  inner.reserve(parts.size());
  outer.reserve(parts.size());
  for (RotationBounds &part : parts) {
    inner.push_back(std::move(part.inner));
    outer.push_back(std::move(part.outer));
  }
  parts = {};
  return RotationBounds{union_of(std::move(inner)), union_of(std::move(outer))};
}

Verdict compare_rotated(const VoxelSet &a, const VoxelSet &b, double radians, bool axis_x) {
  const RotationBounds bounds = rotate_bounds(a, radians, axis_x);
  if (!std::includes(bounds.outer.begin(), bounds.outer.end(), b.begin(), b.end()))
    return Verdict::DefinitelyDiffer;
  if (!std::includes(b.begin(), b.end(), bounds.inner.begin(), bounds.inner.end()))
    return Verdict::DefinitelyDiffer;
  return Verdict::SameWithinGrid;
}

} // namespace tolm::voxel
