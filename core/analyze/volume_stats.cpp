#include "analyze/volume_stats.h"

#include "denote/deposit.h"
#include "json/writer.h"

namespace tolm::analyze {

VolumeStats volume_stats(const ir::lo::Program &program, int64_t resolution_um,
                         std::optional<int64_t> layer_height_um) {
  VolumeStats stats;
  stats.resolution_um = denote::effective_resolution(resolution_um);
  const std::vector<int64_t> heights = denote::layer_heights(program, layer_height_um);
  stats.per_layer.reserve(program.layers.size());
  for (size_t index = 0; index < program.layers.size(); ++index) {
    const ir::lo::Layer &layer = program.layers[index];
    const std::vector<denote::PathRef> paths = denote::extrusion_paths(layer);
    // One layer at a time, so only one layer's cells are held at once.
    const denote::LayerVolume volume =
        denote::volume_of(paths, layer.z_um, stats.resolution_um, heights[index]);
    double sum = -0.0;
    for (const denote::CellVolume &cell : volume.cells)
      sum += cell.volume_mm3;
    stats.per_layer.push_back(LayerVolumeStats{layer.z_um, volume.layer_height_um, sum});
    stats.total_volume_mm3 += sum;
  }
  return stats;
}

void write_volume_stats(json::Writer &writer, const VolumeStats &stats) {
  writer.begin_object();
  writer.member("resolution_um", stats.resolution_um);
  writer.member("total_volume_mm3", stats.total_volume_mm3);
  writer.key("per_layer");
  writer.begin_array();
  for (const LayerVolumeStats &layer : stats.per_layer) {
    writer.begin_object();
    writer.member("z_um", layer.z_um);
    writer.member("layer_height_um", layer.layer_height_um);
    writer.member("volume_mm3", layer.volume_mm3);
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::analyze
