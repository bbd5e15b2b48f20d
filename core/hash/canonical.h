// The canonical content hash of a low-level program: FNV-1a-128 over a fixed binary encoding
// of its content (independent of JSON formatting, member order and memory layout).
#pragma once

#include "ir/lo.h"
#include "util/numeric.h"

namespace tolm::hash {

/// The 128-bit content hash of `program`; reordering toolpaths or points changes it, a
/// travel's width and flow do not, flows count to 0.00001 mm.
uint128 canonical_hash_u128(const ir::lo::Program &program);

} // namespace tolm::hash
