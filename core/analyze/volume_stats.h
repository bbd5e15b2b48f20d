// Melt-volume statistics: the volume each layer receives, from bead width and layer height.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ir/lo.h"

namespace tolm::json {
class Writer;
}

namespace tolm::analyze {

struct LayerVolumeStats {
  int64_t z_um = 0;
  /// The height used for the layer, at least 1.
  int64_t layer_height_um = 1;
  /// The layer's cell volumes summed in cell order from -0.0.
  double volume_mm3 = -0.0;
};

struct VolumeStats {
  /// The resolution used (at least 1).
  int64_t resolution_um = 1;
  /// The layers' volumes summed in layer order from 0.0.
  double total_volume_mm3 = 0.0;
  std::vector<LayerVolumeStats> per_layer;
};

/// Layer heights are `layer_height_um` for every layer when given, else derived from
/// consecutive Z; computed on the calling thread, layer by layer.
VolumeStats volume_stats(const ir::lo::Program &program, int64_t resolution_um,
                         std::optional<int64_t> layer_height_um);

void write_volume_stats(json::Writer &writer, const VolumeStats &stats);

} // namespace tolm::analyze
