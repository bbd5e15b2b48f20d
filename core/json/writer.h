// A pretty-printing JSON writer that goes straight from records to text: two-space indentation,
// one member or element per line, ": " after keys, [] and {} for empty containers, doubles in
// their shortest round-trip form (integral values keep ".0"), non-finite doubles as null, and
// no trailing newline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolm::json {

class Writer {
public:
  explicit Writer(size_t reserve_bytes = 256) { out_.reserve(reserve_bytes); }

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  /// The key of the next member; the value written next belongs to it.
  void key(std::string_view name);

  void value(int64_t v);
  void value(uint64_t v);
  void value(int v) { value(static_cast<int64_t>(v)); }
  void value(unsigned v) { value(static_cast<uint64_t>(v)); }
  void value(double v);
  void value(bool v);
  void value(std::string_view v);
  void value(const char *v) { value(std::string_view(v)); }
  void null();

  /// Writes `member_name: v` in one call.
  template <class T> void member(std::string_view member_name, const T &v) {
    key(member_name);
    value(v);
  }

  /// The finished text; the writer is left empty.
  std::string take() { return std::move(out_); }
  const std::string &text() const { return out_; }

private:
  void open(char bracket);
  void close(char bracket);
  void before_value();
  void newline_indent(size_t depth);

  std::string out_;
  // One entry per open container: whether it has an element yet.
  std::vector<uint8_t> has_elements_;
  bool after_key_ = false;
};

/// Appends a double in its shortest round-trip form, with ".0" for integral values.
void append_double(std::string &out, double v);

} // namespace tolm::json
