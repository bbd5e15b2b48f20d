#include "diff/iou.h"

#include "diff/occupancy_by_z.h"
#include "json/writer.h"

namespace tolm::diff {
namespace {

LayerDiff count_layer(int64_t z_um, const denote::CellSet &a, const denote::CellSet &b) {
  LayerDiff row{z_um, 0, 0, 0};
  auto ia = a.begin(), ib = b.begin();
  while (ia != a.end() && ib != b.end()) {
    if (*ia < *ib) {
      ++row.only_in_a;
      ++ia;
    } else if (*ib < *ia) {
      ++row.only_in_b;
      ++ib;
    } else {
      ++row.shared;
      ++ia;
      ++ib;
    }
  }
  row.only_in_a += static_cast<uint64_t>(a.end() - ia);
  row.only_in_b += static_cast<uint64_t>(b.end() - ib);
  return row;
}

} // namespace

GcodeDiff diff_programs(const ir::lo::Program &a, const ir::lo::Program &b, int64_t resolution_um) {
  const ZOccupancy za = occupancy_by_z(a.layers, resolution_um);
  const ZOccupancy zb = occupancy_by_z(b.layers, resolution_um);
  static const denote::CellSet empty;

  GcodeDiff out;
  out.resolution_um = resolution_um;
  auto ia = za.begin(), ib = zb.begin();
  while (ia != za.end() || ib != zb.end()) {
    LayerDiff row;
    if (ib == zb.end() || (ia != za.end() && ia->z_um < ib->z_um)) {
      row = count_layer(ia->z_um, ia->cells, empty);
      ++ia;
    } else if (ia == za.end() || ib->z_um < ia->z_um) {
      row = count_layer(ib->z_um, empty, ib->cells);
      ++ib;
    } else {
      row = count_layer(ia->z_um, ia->cells, ib->cells);
      ++ia;
      ++ib;
    }
    out.total_only_in_a += row.only_in_a;
    out.total_only_in_b += row.only_in_b;
    out.total_shared += row.shared;
    out.layers.push_back(row);
  }
  const uint64_t union_count = out.total_only_in_a + out.total_only_in_b + out.total_shared;
  out.identical = out.total_only_in_a == 0 && out.total_only_in_b == 0;
  out.both_empty = union_count == 0;
  if (union_count != 0)
    out.iou = static_cast<double>(out.total_shared) / static_cast<double>(union_count);
  return out;
}

void write_gcode_diff(json::Writer &writer, const GcodeDiff &diff) {
  writer.begin_object();
  writer.member("resolution_um", diff.resolution_um);
  writer.member("identical", diff.identical);
  writer.member("both_empty", diff.both_empty);
  writer.key("iou");
  if (diff.iou)
    writer.value(*diff.iou);
  else
    writer.null();
  writer.member("total_only_in_a", diff.total_only_in_a);
  writer.member("total_only_in_b", diff.total_only_in_b);
  writer.member("total_shared", diff.total_shared);
  writer.key("layers");
  writer.begin_array();
  for (const LayerDiff &row : diff.layers) {
    writer.begin_object();
    writer.member("z_um", row.z_um);
    writer.member("only_in_a", row.only_in_a);
    writer.member("only_in_b", row.only_in_b);
    writer.member("shared", row.shared);
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

} // namespace tolm::diff
