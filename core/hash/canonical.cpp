#include "hash/canonical.h"

#include <cmath>

#include "hash/fnv1a128.h"

namespace tolm::hash {

namespace {

// Tags that separate the parts of the byte stream.
constexpr uint8_t kLayerTag = 0x01;
constexpr uint8_t kToolpathTag = 0x02;
constexpr uint8_t kExtrudeTag = 0x10;
constexpr uint8_t kTravelTag = 0x11;
constexpr uint8_t kNoFlowTag = 0xF0;
constexpr uint8_t kFiniteFlowTag = 0xF1;
constexpr uint8_t kNonFiniteFlowTag = 0xF2;

void feed_flow(Fnv1a128 &state, const std::optional<double> &flow_e) {
  if (!flow_e) {
    state.byte(kNoFlowTag);
    return;
  }
  if (!std::isfinite(*flow_e)) {
    state.byte(kNonFiniteFlowTag);
    return;
  }
  state.byte(kFiniteFlowTag);
  // Flows count in hundred-thousandths of a millimetre, halves away from zero.
  state.i64(saturating_i64(std::round(*flow_e * 100000.0)));
}

} // namespace

uint128 canonical_hash_u128(const ir::lo::Program &program) {
  Fnv1a128 state;
  state.u64(program.layers.size());
  for (const ir::lo::Layer &layer : program.layers) {
    state.byte(kLayerTag);
    state.i64(layer.z_um);
    state.u64(layer.toolpaths.size());
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths) {
      state.byte(kToolpathTag);
      if (ir::lo::is_travel(toolpath)) {
        state.byte(kTravelTag);
      } else {
        state.byte(kExtrudeTag);
        state.byte(static_cast<uint8_t>(static_cast<uint8_t>(ir::lo::role_of(toolpath)) + 1));
        state.i64(toolpath.width_um);
        feed_flow(state, toolpath.flow_e);
      }
      state.u64(toolpath.path.points.size());
      for (const ir::Point &point : toolpath.path.points) {
        state.i64(point.x);
        state.i64(point.y);
      }
    }
  }
  return state.value();
}

} // namespace tolm::hash
