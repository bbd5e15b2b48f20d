#include "voxel/voxel_json.h"

#include <charconv>
#include <string>

namespace tolm::voxel {

namespace {

constexpr std::string_view kSetName = "a voxel set (array of [i, j, k])";
constexpr std::string_view kVoxelName = "a voxel [i, j, k]";

bool read_voxel(json::Reader &reader, Voxel &out) {
  const size_t start = reader.offset();
  if (!reader.begin_array(kVoxelName))
    return false;
  int64_t *fields[3] = {&out.i, &out.j, &out.k};
  size_t count = 0;
  while (reader.next_element()) {
    bool ok =
        count < 3 ? reader.read_i64(*fields[count], "an i64 voxel index") : reader.skip_value();
    if (!ok)
      return false;
    ++count;
  }
  if (reader.failed())
    return false;
  if (count != 3)
    return reader.fail_at(start, "invalid length " + std::to_string(count) +
                                     ", expected a voxel [i, j, k] of 3 integers");
  return true;
}

} // namespace

bool read_voxels(json::Reader &reader, VoxelSet &out) {
  out.clear();
  if (!reader.begin_array(kSetName))
    return false;
  while (reader.next_element()) {
    Voxel v;
    if (!read_voxel(reader, v))
      return false;
    out.push_back(v);
  }
  if (reader.failed())
    return false;
  make_set(out);
  return true;
}

std::expected<VoxelSet, json::ReadError> read_voxel_set(std::string_view text) {
  json::Reader reader(text);
  VoxelSet voxels;
  if (!read_voxels(reader, voxels) || !reader.finish())
    return std::unexpected(reader.error());
  return voxels;
}

void write_voxels(json::Writer &writer, const VoxelSet &voxels) {
  writer.begin_array();
  for (const Voxel &v : voxels) {
    writer.begin_array();
    writer.value(v.i);
    writer.value(v.j);
    writer.value(v.k);
    writer.end_array();
  }
  writer.end_array();
}

std::string to_json(const VoxelSet &voxels) {
  // The writer's layout, produced directly: a voxel set is often millions of triples and each
  // would otherwise pass through the writer's per-value bookkeeping.
  if (voxels.empty())
    return "[]";
  std::string out;
  out.reserve(2 + voxels.size() * 48);
  out += '[';
  char number[24];
  for (size_t x = 0; x < voxels.size(); ++x) {
    out += x == 0 ? "\n  [\n    " : ",\n  [\n    ";
    const int64_t values[3] = {voxels[x].i, voxels[x].j, voxels[x].k};
    for (int a = 0; a < 3; ++a) {
      if (a > 0)
        out += ",\n    ";
      const auto end = std::to_chars(number, number + sizeof number, values[a]).ptr;
      out.append(number, end);
    }
    out += "\n  ]";
  }
  out += "\n]";
  return out;
}

} // namespace tolm::voxel
