// A function's parameter list, parsed at compile time from its text signature, for example
// "occupancy(program_json, resolution_um=200)": the names in order and how many are required.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tolm::py {

struct Signature {
  static constexpr size_t kMaxParams = 8;

  std::string_view function;
  std::array<std::string_view, kMaxParams> names{};
  size_t count = 0;
  size_t required = 0;

  consteval explicit Signature(std::string_view text) {
    size_t open = text.find('(');
    function = text.substr(0, open);
    size_t pos = open + 1;
    bool seen_default = false;
    while (pos < text.size() && text[pos] != ')') {
      while (text[pos] == ' ' || text[pos] == ',')
        ++pos;
      size_t start = pos;
      while (text[pos] != ',' && text[pos] != ')' && text[pos] != '=')
        ++pos;
      std::string_view name = text.substr(start, pos - start);
      if (name.starts_with("$")) // $module / $self / $type are not parameters
        name = {};
      bool has_default = text[pos] == '=';
      if (has_default) {
        int nesting = 0;
        while (nesting > 0 || (text[pos] != ',' && text[pos] != ')')) {
          if (text[pos] == '(' || text[pos] == '[')
            ++nesting;
          if (text[pos] == ')' || text[pos] == ']')
            --nesting;
          ++pos;
        }
      }
      if (name.empty())
        continue;
      if (count == kMaxParams)
        throw "too many parameters";
      if (!has_default && seen_default)
        throw "a required parameter follows one with a default";
      seen_default = seen_default || has_default;
      names[count++] = name;
      if (!has_default)
        required = count;
    }
  }
};

} // namespace tolm::py
