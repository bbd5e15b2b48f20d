#include "json/value.h"

#include <algorithm>
#include <charconv>

namespace tolm::json {

void Object::set(std::string name, Value value) {
  // Members built in name order append at the end without a search.
  if (members_.empty() || members_.back().first < name) {
    members_.emplace_back(std::move(name), std::move(value));
    return;
  }
  auto at = std::lower_bound(
      members_.begin(), members_.end(), name,
      [](const auto &member, const std::string &key) { return member.first < key; });
  if (at != members_.end() && at->first == name)
    at->second = std::move(value);
  else
    members_.emplace(at, std::move(name), std::move(value));
}

const Value *Object::find(std::string_view name) const {
  auto at =
      std::lower_bound(members_.begin(), members_.end(), name,
                       [](const auto &member, std::string_view key) { return member.first < key; });
  if (at != members_.end() && at->first == name)
    return &at->second;
  return nullptr;
}

namespace {

bool is_number_char(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// A number whose text is an integer that fits 64 bits stays an integer; anything else is read
// as a double.
bool read_number(Reader &reader, std::string_view text, Value &out) {
  size_t start = reader.offset();
  double as_double = 0.0;
  if (!reader.read_double(as_double))
    return false;
  size_t end = start;
  while (end < text.size() && is_number_char(text[end]))
    ++end;
  std::string_view lexeme = text.substr(start, end - start);
  if (lexeme.find_first_of(".eE") == std::string_view::npos) {
    const char *first = lexeme.data();
    const char *last = first + lexeme.size();
    int64_t signed_value;
    if (auto [ptr, ec] = std::from_chars(first, last, signed_value);
        ec == std::errc() && ptr == last) {
      out.data = signed_value;
      return true;
    }
    uint64_t unsigned_value;
    if (auto [ptr, ec] = std::from_chars(first, last, unsigned_value);
        ec == std::errc() && ptr == last) {
      out.data = unsigned_value;
      return true;
    }
  }
  out.data = as_double;
  return true;
}

bool read_value_in(Reader &reader, std::string_view text, Value &out) {
  switch (reader.peek()) {
  case Token::Object: {
    if (!reader.begin_object())
      return false;
    Object object;
    std::string_view key;
    while (reader.next_member(key)) {
      std::string name(key); // the key view is invalidated by the next read
      Value member;
      if (!read_value_in(reader, text, member))
        return false;
      object.set(std::move(name), std::move(member));
    }
    if (reader.failed())
      return false;
    out.data = std::move(object);
    return true;
  }
  case Token::Array: {
    if (!reader.begin_array())
      return false;
    Array array;
    while (reader.next_element()) {
      Value element;
      if (!read_value_in(reader, text, element))
        return false;
      array.push_back(std::move(element));
    }
    if (reader.failed())
      return false;
    out.data = std::move(array);
    return true;
  }
  case Token::String: {
    std::string_view s;
    if (!reader.read_string(s))
      return false;
    out.data = std::string(s);
    return true;
  }
  case Token::Number:
    return read_number(reader, text, out);
  case Token::True:
  case Token::False: {
    bool b = false;
    if (!reader.read_bool(b))
      return false;
    out.data = b;
    return true;
  }
  case Token::Null:
    if (!reader.read_null())
      return false;
    out.data = nullptr;
    return true;
  case Token::End:
  case Token::Invalid:
    break;
  }
  // Let the reader describe what it found.
  return reader.skip_value() && reader.fail("expected a value");
}

} // namespace

bool read_value(Reader &reader, std::string_view text, Value &out) {
  return read_value_in(reader, text, out);
}

void write_value(Writer &writer, const Value &value) {
  std::visit(
      [&writer](const auto &v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::nullptr_t>) {
          writer.null();
        } else if constexpr (std::is_same_v<T, Array>) {
          writer.begin_array();
          for (const Value &element : v)
            write_value(writer, element);
          writer.end_array();
        } else if constexpr (std::is_same_v<T, Object>) {
          writer.begin_object();
          for (const auto &[name, member] : v.members()) {
            writer.key(name);
            write_value(writer, member);
          }
          writer.end_object();
        } else {
          writer.value(v);
        }
      },
      value.data);
}

} // namespace tolm::json
