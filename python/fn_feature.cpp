#include <vector>

#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "binding/report.h"
#include "feature/feature_matrix.h"
#include "feature/travel_graph.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

PyObject *feature_matrix(Call &call) {
  std::string_view program_json;
  if (!call.str(0, program_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  const feature::FeatureMatrix matrix = feature::toolpath_feature_matrix(*program);
  return to_tuple(
      {to_uint(matrix.rows), to_uint(feature::kFeatureColumns), to_float_list(matrix.values)});
}

PyObject *feature_columns(Call &) {
  std::vector<PyObject *> names;
  names.reserve(feature::kFeatureColumns);
  for (std::string_view name : feature::kFeatureColumnNames)
    names.push_back(to_str(name));
  return to_list(names);
}

PyObject *travel_graph(Call &call) {
  return program_report(call, [](json::Writer &writer, const ir::lo::Program &program) {
    feature::write_travel_graph(writer, feature::travel_graph(program));
  });
}

} // namespace

TOLM_FUNCTION(feature_matrix, "feature_matrix(program_json)",
              "The per-toolpath feature matrix of a program (JSON): `(rows, cols, "
              "flat_row_major)`. Reshape to\n"
              "`(rows, cols)`; column names are `feature_columns()`.");
TOLM_FUNCTION(feature_columns, "feature_columns()",
              "The feature-matrix column names, in order (module-level helper).");
TOLM_FUNCTION(travel_graph, "travel_graph(program_json)",
              "The travel graph (JSON) of a program (JSON): toolpath centroids as nodes, "
              "within-layer hops as\n"
              "weighted edges.");

} // namespace tolm::py
