#include "transform/action_index.h"

#include <bit>

#include "transform/legal_actions.h"
#include "util/abort.h"

namespace tolm::transform {
namespace {

uint64_t layer_total(const std::vector<uint64_t> &geometry) {
  if (geometry.empty())
    return 0;
  uint64_t total = 2 * geometry.size() - 1;
  for (uint64_t g : geometry)
    total += g;
  return total;
}

uint64_t count_of(const ir::lo::Toolpath &toolpath) {
  return geometry_moves(toolpath.path.points).total();
}

} // namespace

ActionIndex ActionIndex::build(const ir::lo::Program &program) {
  ActionIndex index;
  const size_t n = program.layers.size();
  index.geometry.resize(n);
  index.layer_counts.resize(n);
  index.tree.assign(n + 1, 0);
  for (size_t l = 0; l < n; ++l) {
    const auto &toolpaths = program.layers[l].toolpaths;
    index.geometry[l].reserve(toolpaths.size());
    for (const ir::lo::Toolpath &toolpath : toolpaths)
      index.geometry[l].push_back(count_of(toolpath));
    index.layer_counts[l] = layer_total(index.geometry[l]);
    index.total += index.layer_counts[l];
    // Linear-time construction: each node passes its sum to its parent.
    index.tree[l + 1] += index.layer_counts[l];
    const size_t parent = (l + 1) + ((l + 1) & -(l + 1));
    if (parent <= n)
      index.tree[parent] += index.tree[l + 1];
  }
  return index;
}

void ActionIndex::add(size_t layer, uint64_t delta) {
  // Modular arithmetic: a decrease is added as its two's complement.
  for (size_t k = layer + 1; k < tree.size(); k += k & -k)
    tree[k] += delta;
}

Action ActionIndex::at(const ir::lo::Program &program, uint64_t position) const {
  TOLM_CHECK(position < total && layer_counts.size() == program.layers.size());
  // Descend the tree to the last prefix whose sum does not exceed `position`.
  const size_t n = layer_counts.size();
  size_t k = 0;
  uint64_t rest = position;
  for (size_t step = std::bit_floor(n); step > 0; step >>= 1)
    if (k + step <= n && tree[k + step] <= rest) {
      k += step;
      rest -= tree[k];
    }
  // Layer k (0-based) holds the position.
  TOLM_CHECK(k < n && rest < layer_counts[k]);
  return layer_action_at(program.layers[k], k, geometry[k], rest);
}

void ActionIndex::after_apply(const ir::lo::Program &program, const Action &action) {
  const uint64_t l = action_layer(action);
  TOLM_CHECK(l < geometry.size());
  const auto &toolpaths = program.layers[l].toolpaths;
  std::vector<uint64_t> &counts = geometry[l];
  TOLM_CHECK(counts.size() == toolpaths.size());
  std::visit(
      [&](const auto &a) {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, SwapToolpaths>) {
          std::swap(counts[a.a], counts[a.b]);
        } else if constexpr (std::is_same_v<A, PermuteToolpaths>) {
          std::vector<uint64_t> reordered;
          reordered.reserve(counts.size());
          for (uint64_t old : a.perm)
            reordered.push_back(counts[old]);
          counts = std::move(reordered);
        } else {
          counts[a.toolpath] = count_of(toolpaths[a.toolpath]);
        }
      },
      action);
  const uint64_t updated = layer_total(counts);
  const uint64_t previous = layer_counts[l];
  if (updated != previous) {
    add(l, updated - previous);
    total += updated - previous;
    layer_counts[l] = updated;
  }
}

} // namespace tolm::transform
