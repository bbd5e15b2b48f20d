// Legal-action counts per layer and per toolpath, kept up to date as edits land, so that the
// action at a position is found without building the whole list: a prefix-sum tree over the
// layer counts finds the layer, the toolpath counts find the toolpath, and only that toolpath's
// points are scanned. Its answers always equal those of `legal_actions`.
#pragma once

#include <cstdint>
#include <vector>

#include "ir/lo.h"
#include "transform/action.h"

namespace tolm::transform {

struct ActionIndex {
  /// Geometry moves per toolpath, per layer.
  std::vector<std::vector<uint64_t>> geometry;
  /// Legal actions per layer.
  std::vector<uint64_t> layer_counts;
  /// Fenwick tree over `layer_counts` (1-based).
  std::vector<uint64_t> tree;
  uint64_t total = 0;

  /// Counts every layer of `program`.
  static ActionIndex build(const ir::lo::Program &program);

  /// The action at `position` (below `total`) of the enumeration of `program`, which must be
  /// the program the index describes.
  Action at(const ir::lo::Program &program, uint64_t position) const;

  /// Brings the counts up to date after `action` was applied successfully to `program`.
  void after_apply(const ir::lo::Program &program, const Action &action);

private:
  void add(size_t layer, uint64_t delta);
};

} // namespace tolm::transform
