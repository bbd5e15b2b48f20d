// The JSON form of a voxel set: an array of [i, j, k] integer triples. Read in any order with
// repeats allowed; written once each, ascending, pretty-printed.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "voxel/voxel_set.h"
#include "json/reader.h"
#include "json/writer.h"

namespace tolm::voxel {

/// Reads a voxel-set array at the reader's position into `out` (sorted, duplicates merged).
bool read_voxels(json::Reader &reader, VoxelSet &out);
/// A whole text holding one voxel-set array.
std::expected<VoxelSet, json::ReadError> read_voxel_set(std::string_view text);

void write_voxels(json::Writer &writer, const VoxelSet &voxels);
/// The set as pretty-printed JSON text.
std::string to_json(const VoxelSet &voxels);

} // namespace tolm::voxel
