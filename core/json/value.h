// A generic JSON value whose objects keep their members sorted by name (byte-wise), one member
// per name. Used where a payload is carried without interpretation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "json/reader.h"
#include "json/writer.h"

namespace tolm::json {

struct Value;

using Array = std::vector<Value>;

/// Members sorted by name; setting a name that is present replaces its value.
class Object {
public:
  void set(std::string name, Value value);
  /// The member's value, or nullptr.
  const Value *find(std::string_view name) const;
  const std::vector<std::pair<std::string, Value>> &members() const { return members_; }
  friend bool operator==(const Object &, const Object &) = default;

private:
  std::vector<std::pair<std::string, Value>> members_;
};

/// Numbers keep their kind: integers that fit 64 bits stay integers, all else is a double.
struct Value {
  std::variant<std::nullptr_t, bool, int64_t, uint64_t, double, std::string, Array, Object> data;
  friend bool operator==(const Value &, const Value &) = default;
};

/// Reads one value of any kind (a repeated object member keeps its last value). `text` is the
/// whole text the reader reads (numbers are classified from their spelling).
bool read_value(Reader &reader, std::string_view text, Value &out);
/// Writes the value; object members come out in name order.
void write_value(Writer &writer, const Value &value);

} // namespace tolm::json
