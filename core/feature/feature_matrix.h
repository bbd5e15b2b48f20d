// The per-toolpath feature matrix: one row of sixteen doubles per toolpath, row-major.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "ir/lo.h"

namespace tolm::feature {

inline constexpr size_t kFeatureColumns = 16;

/// The column names, in column order.
inline constexpr std::array<std::string_view, kFeatureColumns> kFeatureColumnNames = {
    "layer_index", "z_um",  "is_extrude", "role_tag", "width_um", "length_um", "min_x",    "min_y",
    "max_x",       "max_y", "start_x",    "start_y",  "end_x",    "end_y",     "n_points", "flow_e",
};

struct FeatureMatrix {
  size_t rows = 0;
  /// rows * kFeatureColumns values, row-major.
  std::vector<double> values;
};

/// One row per toolpath (extrusions, travels and empty paths), in layer then toolpath order;
/// a missing flow is NaN.
FeatureMatrix toolpath_feature_matrix(const ir::lo::Program &program);

} // namespace tolm::feature
