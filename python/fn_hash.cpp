#include "binding/call.h"
#include "binding/convert.h"
#include "binding/errors.h"
#include "binding/function.h"
#include "binding/readers.h"
#include "hash/canonical.h"
#include "util/hex.h"

namespace tolm::py {
namespace {

PyObject *canonical_hash(Call &call) {
  std::string_view program_json;
  if (!call.str(0, program_json))
    return nullptr;
  auto program = parse_lo(program_json);
  if (!program)
    return nullptr;
  return to_str(hex32(hash::canonical_hash_u128(*program)));
}

} // namespace

TOLM_FUNCTION(canonical_hash, "canonical_hash(program_json)",
              "Stable 32-hex-char content hash of a program (JSON): dedup, cache keys, \"same "
              "program\" claims.");

} // namespace tolm::py
