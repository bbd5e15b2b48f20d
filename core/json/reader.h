// A streaming JSON reader that reads text straight into records, without a generic tree.
//
// Errors are values: the first failure is recorded in the reader, every later call returns
// false, and `error()` gives the description followed by " at line L column C" (1-based, the
// position of the offending token). Reading helpers return bool: true on success.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tolm::json {

/// A read failure: a description naming the offending field or value, ending with its position
/// (unless the reader was made without positions).
struct ReadError {
  std::string message;
};

enum class Token : uint8_t { Object, Array, String, Number, True, False, Null, End, Invalid };

class Reader {
public:
  /// `report_positions` false leaves " at line L column C" off the error text (used when the text
  /// was produced from an already-parsed value).
  explicit Reader(std::string_view text, bool report_positions = true)
      : text_(text), report_positions_(report_positions) {}

  bool failed() const { return failed_; }
  /// Records `description` at the start of the current token (the first failure wins); false.
  bool fail(std::string description);
  /// Records `description` at byte `offset`; returns false.
  bool fail_at(size_t offset, std::string description);
  ReadError error() const;

  /// The kind of the next value, after skipping whitespace.
  Token peek();
  /// Byte offset of the next token (after whitespace).
  size_t offset() {
    skip_whitespace();
    return pos_;
  }
  /// Byte offset of the last bracket consumed (the closing brace of a finished object).
  size_t last_bracket_offset() const { return last_bracket_; }
  /// Byte offset of the key returned by the last `next_member`.
  size_t last_key_offset() const { return last_key_; }

  /// Consumes '{'; `expected` names the record for a type error.
  bool begin_object(std::string_view expected = "a map");
  /// Moves to the next member of the open object: true with its key (the reader then stands at
  /// the member's value); false at the closing brace (consumed) or on error.
  bool next_member(std::string_view &key);
  bool begin_array(std::string_view expected = "a sequence");
  /// True when another element of the open array follows; false at ']' (consumed) or on error.
  bool next_element();
  /// Nothing but whitespace may follow the top-level value.
  bool finish();

  bool read_i64(int64_t &out, std::string_view expected = "i64");
  /// A non-negative integer not above `max`.
  bool read_unsigned(uint64_t &out, uint64_t max, std::string_view expected);
  bool read_u64(uint64_t &out) { return read_unsigned(out, UINT64_MAX, "u64"); }
  /// Any JSON number (integers too) as a double.
  bool read_double(double &out, std::string_view expected = "f64");
  /// The string's text; valid until the next read call.
  bool read_string(std::string_view &out, std::string_view expected = "a string");
  bool read_bool(bool &out, std::string_view expected = "a boolean");
  bool read_null(std::string_view expected = "unit");
  /// Skips one whole value of any kind.
  bool skip_value();

  /// The description of the next value for a type error: `string "abc"`, `integer `5``, ...
  std::string describe_next();

private:
  void skip_whitespace() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
        break;
      ++pos_;
    }
  }
  bool type_error(std::string_view expected);
  bool enter();
  bool open_container(Token token, std::string_view expected);
  // Consumes the separator before the next item of the open container, or the container's
  // closing bracket; true when an item follows.
  bool advance_in_container(char close, const char *eof_message, const char *separator_message);
  bool scan_number(std::string_view &number, bool &is_integer);
  bool scan_string(std::string_view &out);

  std::string_view text_;
  size_t pos_ = 0;
  unsigned depth_ = 0;
  bool failed_ = false;
  bool report_positions_;
  // Open containers: whether the next element is the first (no comma expected yet).
  bool first_in_container_ = false;
  size_t last_bracket_ = 0;
  size_t last_key_ = 0;
  size_t error_offset_ = 0;
  std::string error_description_;
  std::string scratch_;
};

/// The shape of a record for `read_record`: its name, its field names in declaration order,
/// the shortest accepted array form, and the fields that may be absent from the object form.
struct RecordShape {
  std::string_view name;
  std::span<const std::string_view> fields;
  size_t min_array_length;
  uint64_t optional_fields = 0; // bit i set: field i may be missing
};

/// Reads a record given either as an object (members in any order, unknown members skipped, a
/// duplicate or missing member an error) or as an array of its field values in declaration
/// order (at least `min_array_length`, at most all fields). `read_field(i)` reads field i's
/// value and returns false on error. `present` gets bit i set for every field read.
template <class ReadField>
bool read_record(Reader &reader, const RecordShape &shape, ReadField &&read_field,
                 uint64_t *present = nullptr);

/// A variant read by `begin_variant`: its index among the names, and whether it came in the
/// one-member object form (the reader then stands at the member's value).
struct VariantTag {
  size_t index = 0;
  bool object_form = false;
};

/// Reads an enumeration tag given as a string or as an object with exactly one member whose
/// key is the variant name. An unknown name is an error listing the expected names.
bool begin_variant(Reader &reader, std::span<const std::string_view> names, std::string_view what,
                   VariantTag &tag);
/// Closes the object form (exactly one member); nothing to do for the string form.
bool end_variant(Reader &reader, const VariantTag &tag);

// ---------------------------------------------------------------------------------------------

bool record_key_error(Reader &reader, size_t at, std::string_view what, std::string_view field);
bool record_length_error(Reader &reader, size_t at, const RecordShape &shape, size_t length);

template <class ReadField>
bool read_record(Reader &reader, const RecordShape &shape, ReadField &&read_field,
                 uint64_t *present) {
  uint64_t seen = 0;
  Token token = reader.peek();
  if (token == Token::Array) {
    size_t start = reader.offset();
    if (!reader.begin_array())
      return false;
    size_t count = 0;
    while (reader.next_element()) {
      if (count >= shape.fields.size()) {
        // Count the rest for the message, as a reader that reports the length would.
        if (!reader.skip_value())
          return false;
        ++count;
        continue;
      }
      if (!read_field(count))
        return false;
      seen |= uint64_t{1} << count;
      ++count;
    }
    if (reader.failed())
      return false;
    if (count < shape.min_array_length || count > shape.fields.size())
      return record_length_error(reader, start, shape, count);
  } else {
    if (!reader.begin_object(shape.name))
      return false;
    std::string_view key;
    while (reader.next_member(key)) {
      size_t index = shape.fields.size();
      for (size_t k = 0; k < shape.fields.size(); ++k)
        if (shape.fields[k] == key) {
          index = k;
          break;
        }
      if (index == shape.fields.size()) {
        if (!reader.skip_value())
          return false;
        continue;
      }
      if (seen & (uint64_t{1} << index))
        return record_key_error(reader, reader.last_key_offset(), "duplicate field",
                                shape.fields[index]);
      if (!read_field(index))
        return false;
      seen |= uint64_t{1} << index;
    }
    if (reader.failed())
      return false;
    for (size_t k = 0; k < shape.fields.size(); ++k)
      if (!(seen & (uint64_t{1} << k)) && !(shape.optional_fields & (uint64_t{1} << k)))
        return record_key_error(reader, reader.last_bracket_offset(), "missing field",
                                shape.fields[k]);
  }
  if (present)
    *present = seen;
  return true;
}

} // namespace tolm::json
