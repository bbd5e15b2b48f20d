// The high-level program: layers of regions, each with its fills.
#pragma once

#include "ir/geometry.h"

namespace tolm::ir::hi {

struct Region {
  RegionKind kind = RegionKind::Perimeter;
  Area boundary;
  std::vector<ExtrudePath> fills;
  friend bool operator==(const Region &, const Region &) = default;
};

struct Layer {
  int64_t z_um = 0;
  std::vector<Region> regions;
  friend bool operator==(const Layer &, const Layer &) = default;
};

struct Program {
  std::vector<Layer> layers;
  friend bool operator==(const Program &, const Program &) = default;
};

} // namespace tolm::ir::hi
