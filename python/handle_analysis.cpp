// The analysis methods of the `Program` class: computed from the handle's plan on every call;
// the denote cache is neither read nor changed.
#include "handle_analysis.h"

#include "analyze/program_stats.h"
#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/method.h"
#include "feature/feature_matrix.h"
#include "feature/travel_graph.h"
#include "flow/flow.h"
#include "kinematics/print_time.h"
#include "printability/printability.h"
#include "profile_arg.h"
#include "json/writer.h"

namespace tolm::py {
namespace {

// Set once, when the class builds its method table.
PlanOf plan_of_ = nullptr;
ProgramArgument program_argument_ = nullptr;

const ir::lo::Program &plan_of(PyObject *self) { return plan_of_(self); }
PyObject *program_argument(Call &call, size_t index) { return program_argument_(call, index); }

PyObject *stats(PyObject *self, Call &) {
  json::Writer writer;
  analyze::write_program_stats(writer, analyze::program_stats(plan_of(self)));
  return to_str(writer.text());
}

PyObject *flow_stats(PyObject *self, Call &) {
  json::Writer writer;
  flow::write_flow_stats(writer, flow::flow_stats(plan_of(self)));
  return to_str(writer.text());
}

PyObject *e_conserved(PyObject *self, Call &call) {
  PyObject *reference = program_argument(call, 0);
  double tolerance_mm;
  if (!reference || !call.f64(1, tolerance_mm, 1e-6))
    return nullptr;
  // Shared access to the reference as well; a handle may be its own reference.
  Borrow borrow;
  if (!borrow.acquire(borrow_flag_of(reference), Access::Shared))
    return nullptr;
  return to_bool(
      flow::e_conserved_report(plan_of(self), plan_of(reference), tolerance_mm).conserved);
}

PyObject *print_time_s(PyObject *self, Call &call) {
  std::optional<std::string_view> profile_json;
  if (!call.optional_str(0, profile_json))
    return nullptr;
  auto profile = parse_profile(profile_json);
  if (!profile)
    return nullptr;
  return to_float(kinematics::print_time(plan_of(self), *profile).total_s);
}

PyObject *print_time(PyObject *self, Call &call) {
  std::optional<std::string_view> profile_json;
  if (!call.optional_str(0, profile_json))
    return nullptr;
  auto profile = parse_profile(profile_json);
  if (!profile)
    return nullptr;
  json::Writer writer;
  kinematics::write_print_time(writer, kinematics::print_time(plan_of(self), *profile));
  return to_str(writer.text());
}

PyObject *printability(PyObject *self, Call &call) {
  std::optional<std::string_view> profile_json;
  int64_t resolution_um;
  if (!call.optional_str(0, profile_json) || !call.i64(1, resolution_um, 200))
    return nullptr;
  auto profile = parse_profile(profile_json);
  if (!profile)
    return nullptr;
  json::Writer writer;
  printability::write_printability(
      writer, printability::is_printable(plan_of(self), *profile, resolution_um));
  return to_str(writer.text());
}

PyObject *feature_matrix(PyObject *self, Call &) {
  const feature::FeatureMatrix matrix = feature::toolpath_feature_matrix(plan_of(self));
  return to_tuple(
      {to_uint(matrix.rows), to_uint(feature::kFeatureColumns), to_float_list(matrix.values)});
}

PyObject *travel_graph(PyObject *self, Call &) {
  json::Writer writer;
  feature::write_travel_graph(writer, feature::travel_graph(plan_of(self)));
  return to_str(writer.text());
}

TOLM_METHOD_DEF(stats, "stats($self)", "Size/efficiency stats (JSON).", Access::Shared);
TOLM_METHOD_DEF(flow_stats, "flow_stats($self)", "Commanded-flow (E) stats (JSON).",
                Access::Shared);
TOLM_METHOD_DEF(e_conserved, "e_conserved($self, reference, tolerance_mm=1e-06)",
                "Whether commanded E is conserved (within `tolerance_mm`) relative to a reference.",
                Access::Shared);
TOLM_METHOD_DEF(print_time_s, "print_time_s($self, profile_json=None)",
                "Kinematic print time (seconds) under a machine profile (JSON, or `None` for the "
                "default).",
                Access::Shared);
TOLM_METHOD_DEF(print_time, "print_time($self, profile_json=None)",
                "Full kinematic print-time report (JSON).", Access::Shared);
TOLM_METHOD_DEF(printability, "printability($self, profile_json=None, resolution_um=200)",
                "Printability verdict (JSON) against a machine profile.", Access::Shared);
TOLM_METHOD_DEF(feature_matrix, "feature_matrix($self)",
                "The per-toolpath feature matrix: `(rows, cols, flat_row_major)`. Wrap as\n"
                "`np.array(flat).reshape(rows, cols)`; column names are `feature_columns()`.",
                Access::Shared);
TOLM_METHOD_DEF(travel_graph, "travel_graph($self)",
                "The travel graph (JSON): toolpath centroids as nodes, within-layer hops as "
                "weighted edges.",
                Access::Shared);

const PyMethodDef kAnalysisMethods[] = {
    method_entry<tolm_method_def_stats>("stats", false),
    method_entry<tolm_method_def_flow_stats>("flow_stats", false),
    method_entry<tolm_method_def_e_conserved>("e_conserved", false),
    method_entry<tolm_method_def_print_time_s>("print_time_s", false),
    method_entry<tolm_method_def_print_time>("print_time", false),
    method_entry<tolm_method_def_printability>("printability", false),
    method_entry<tolm_method_def_feature_matrix>("feature_matrix", false),
    method_entry<tolm_method_def_travel_graph>("travel_graph", false),
};

} // namespace

std::span<const PyMethodDef> analysis_methods(PlanOf plan_of, ProgramArgument program_argument) {
  plan_of_ = plan_of;
  program_argument_ = program_argument;
  return kAnalysisMethods;
}

} // namespace tolm::py
