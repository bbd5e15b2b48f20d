#include "json/reader.h"

#include <charconv>
#include <cstring>

namespace tolm::json {

namespace {

// No record comes near this depth; deeper text is refused rather than walked.
constexpr unsigned kMaxDepth = 128;

void append_utf8(std::string &out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::string quoted(std::string_view text) {
  std::string out = "`";
  out.append(text.substr(0, 64));
  if (text.size() > 64)
    out += "...";
  out += "`";
  return out;
}

} // namespace

bool Reader::fail(std::string description) {
  skip_whitespace();
  return fail_at(pos_, std::move(description));
}

bool Reader::fail_at(size_t offset, std::string description) {
  if (!failed_) {
    failed_ = true;
    error_offset_ = offset;
    error_description_ = std::move(description);
  }
  return false;
}

ReadError Reader::error() const {
  std::string message = error_description_;
  if (report_positions_) {
    size_t offset = std::min(error_offset_, text_.size());
    size_t line = 1, line_start = 0;
    for (size_t k = 0; k < offset; ++k)
      if (text_[k] == '\n') {
        ++line;
        line_start = k + 1;
      }
    message +=
        " at line " + std::to_string(line) + " column " + std::to_string(offset - line_start + 1);
  }
  return ReadError{std::move(message)};
}

Token Reader::peek() {
  skip_whitespace();
  if (pos_ >= text_.size())
    return Token::End;
  switch (text_[pos_]) {
  case '{':
    return Token::Object;
  case '[':
    return Token::Array;
  case '"':
    return Token::String;
  case 't':
    return Token::True;
  case 'f':
    return Token::False;
  case 'n':
    return Token::Null;
  case '-':
  case '0':
  case '1':
  case '2':
  case '3':
  case '4':
  case '5':
  case '6':
  case '7':
  case '8':
  case '9':
    return Token::Number;
  default:
    return Token::Invalid;
  }
}

std::string Reader::describe_next() {
  size_t saved = pos_;
  std::string out;
  switch (peek()) {
  case Token::Object:
    out = "map";
    break;
  case Token::Array:
    out = "sequence";
    break;
  case Token::String: {
    std::string_view text;
    bool was_failed = failed_;
    if (scan_string(text))
      out = "string \"" + std::string(text.substr(0, 64)) + (text.size() > 64 ? "...\"" : "\"");
    else
      out = "string";
    failed_ = was_failed;
    break;
  }
  case Token::Number: {
    std::string_view number;
    bool integer = false;
    bool was_failed = failed_;
    if (scan_number(number, integer))
      out = (integer ? "integer " : "floating point ") + quoted(number);
    else
      out = "number";
    failed_ = was_failed;
    break;
  }
  case Token::True:
    out = "boolean `true`";
    break;
  case Token::False:
    out = "boolean `false`";
    break;
  case Token::Null:
    out = "null";
    break;
  case Token::End:
    out = "end of input";
    break;
  case Token::Invalid:
    out = "invalid token";
    break;
  }
  pos_ = saved;
  return out;
}

bool Reader::type_error(std::string_view expected) {
  skip_whitespace();
  size_t at = pos_;
  Token token = peek();
  if (token == Token::End)
    return fail_at(at, "EOF while parsing a value");
  if (token == Token::Invalid)
    return fail_at(at, "expected value");
  // A word that only starts like a literal ("nul", "truth") is a syntax error, not a type error.
  std::string_view literal = token == Token::True    ? "true"
                             : token == Token::False ? "false"
                             : token == Token::Null  ? "null"
                                                     : "";
  if (!literal.empty() && text_.substr(pos_, literal.size()) != literal)
    return fail_at(at, "expected ident");
  std::string found = describe_next();
  return fail_at(at, "invalid type: " + found + ", expected " + std::string(expected));
}

bool Reader::enter() {
  if (++depth_ > kMaxDepth)
    return fail("recursion limit exceeded");
  return true;
}

bool Reader::open_container(Token token, std::string_view expected) {
  if (failed_)
    return false;
  if (peek() != token)
    return type_error(expected);
  if (!enter())
    return false;
  last_bracket_ = pos_;
  ++pos_;
  first_in_container_ = true;
  return true;
}

bool Reader::advance_in_container(char close, const char *eof_message,
                                  const char *separator_message) {
  if (failed_)
    return false;
  skip_whitespace();
  if (pos_ >= text_.size())
    return fail(eof_message);
  char c = text_[pos_];
  if (c == close) {
    last_bracket_ = pos_;
    ++pos_;
    --depth_;
    first_in_container_ = false;
    return false;
  }
  if (!first_in_container_) {
    if (c != ',')
      return fail(separator_message);
    ++pos_;
    skip_whitespace();
    if (pos_ < text_.size() && text_[pos_] == close)
      return fail("trailing comma");
  }
  first_in_container_ = false;
  if (pos_ >= text_.size())
    return fail(eof_message);
  return true;
}

bool Reader::begin_object(std::string_view expected) {
  return open_container(Token::Object, expected);
}

bool Reader::next_member(std::string_view &key) {
  if (!advance_in_container('}', "EOF while parsing an object", "expected `,` or `}`"))
    return false;
  if (text_[pos_] != '"')
    return fail("key must be a string");
  last_key_ = pos_;
  if (!scan_string(key))
    return false;
  skip_whitespace();
  if (pos_ >= text_.size())
    return fail("EOF while parsing an object");
  if (text_[pos_] != ':')
    return fail("expected `:`");
  ++pos_;
  return true;
}

bool Reader::begin_array(std::string_view expected) {
  return open_container(Token::Array, expected);
}

bool Reader::next_element() {
  return advance_in_container(']', "EOF while parsing a list", "expected `,` or `]`");
}

bool Reader::finish() {
  if (failed_)
    return false;
  skip_whitespace();
  if (pos_ != text_.size())
    return fail("trailing characters");
  return true;
}

bool Reader::scan_number(std::string_view &number, bool &is_integer) {
  size_t start = pos_;
  size_t k = pos_;
  const size_t n = text_.size();
  if (k < n && text_[k] == '-')
    ++k;
  if (k >= n)
    return fail_at(k, "EOF while parsing a value");
  if (text_[k] == '0') {
    ++k;
  } else if (text_[k] >= '1' && text_[k] <= '9') {
    while (k < n && text_[k] >= '0' && text_[k] <= '9')
      ++k;
  } else {
    return fail_at(k, "invalid number");
  }
  is_integer = true;
  if (k < n && text_[k] == '.') {
    is_integer = false;
    ++k;
    if (k >= n || text_[k] < '0' || text_[k] > '9')
      return fail_at(k, "invalid number");
    while (k < n && text_[k] >= '0' && text_[k] <= '9')
      ++k;
  }
  if (k < n && (text_[k] == 'e' || text_[k] == 'E')) {
    is_integer = false;
    ++k;
    if (k < n && (text_[k] == '+' || text_[k] == '-'))
      ++k;
    if (k >= n || text_[k] < '0' || text_[k] > '9')
      return fail_at(k, "invalid number");
    while (k < n && text_[k] >= '0' && text_[k] <= '9')
      ++k;
  }
  number = text_.substr(start, k - start);
  pos_ = k;
  return true;
}

bool Reader::read_i64(int64_t &out, std::string_view expected) {
  if (failed_)
    return false;
  if (peek() != Token::Number)
    return type_error(expected);
  size_t start = pos_;
  std::string_view number;
  bool integer;
  if (!scan_number(number, integer))
    return false;
  if (!integer)
    return fail_at(start, "invalid type: floating point " + quoted(number) + ", expected " +
                              std::string(expected));
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), out);
  if (ec != std::errc() || ptr != number.data() + number.size())
    return fail_at(start, "invalid value: integer " + quoted(number) + " out of range, expected " +
                              std::string(expected));
  return true;
}

bool Reader::read_unsigned(uint64_t &out, uint64_t max, std::string_view expected) {
  if (failed_)
    return false;
  if (peek() != Token::Number)
    return type_error(expected);
  size_t start = pos_;
  std::string_view number;
  bool integer;
  if (!scan_number(number, integer))
    return false;
  if (!integer)
    return fail_at(start, "invalid type: floating point " + quoted(number) + ", expected " +
                              std::string(expected));
  if (number[0] == '-')
    return fail_at(start, "invalid value: integer " + quoted(number) + ", expected " +
                              std::string(expected));
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), out);
  if (ec != std::errc() || ptr != number.data() + number.size() || out > max)
    return fail_at(start, "invalid value: integer " + quoted(number) + " out of range, expected " +
                              std::string(expected));
  return true;
}

bool Reader::read_double(double &out, std::string_view expected) {
  if (failed_)
    return false;
  if (peek() != Token::Number)
    return type_error(expected);
  size_t start = pos_;
  std::string_view number;
  bool integer;
  if (!scan_number(number, integer))
    return false;
  auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), out);
  if (ec == std::errc::result_out_of_range) {
    // Overflow to infinity is refused like any reader of JSON numbers would; underflow reads as 0.
    bool exponent_negative =
        number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos;
    if (!exponent_negative)
      return fail_at(start, "number out of range");
    out = number[0] == '-' ? -0.0 : 0.0;
    return true;
  }
  if (ec != std::errc() || ptr != number.data() + number.size())
    return fail_at(start, "invalid number");
  return true;
}

bool Reader::scan_string(std::string_view &out) {
  // Stands on the opening quote.
  size_t start = ++pos_;
  const size_t n = text_.size();
  size_t k = start;
  while (k < n) {
    char c = text_[k];
    if (c == '"') {
      out = text_.substr(start, k - start);
      pos_ = k + 1;
      return true;
    }
    if (c == '\\')
      break;
    if (static_cast<unsigned char>(c) < 0x20)
      return fail_at(k, "control character (\\u0000-\\u001F) found while parsing a string");
    ++k;
  }
  if (k >= n)
    return fail_at(n, "EOF while parsing a string");
  // Escapes: decode into the scratch buffer.
  scratch_.assign(text_.data() + start, k - start);
  while (k < n) {
    char c = text_[k];
    if (c == '"') {
      out = scratch_;
      pos_ = k + 1;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20)
      return fail_at(k, "control character (\\u0000-\\u001F) found while parsing a string");
    if (c != '\\') {
      scratch_.push_back(c);
      ++k;
      continue;
    }
    if (k + 1 >= n)
      return fail_at(n, "EOF while parsing a string");
    char e = text_[k + 1];
    k += 2;
    switch (e) {
    case '"':
      scratch_.push_back('"');
      break;
    case '\\':
      scratch_.push_back('\\');
      break;
    case '/':
      scratch_.push_back('/');
      break;
    case 'b':
      scratch_.push_back('\b');
      break;
    case 'f':
      scratch_.push_back('\f');
      break;
    case 'n':
      scratch_.push_back('\n');
      break;
    case 'r':
      scratch_.push_back('\r');
      break;
    case 't':
      scratch_.push_back('\t');
      break;
    case 'u': {
      auto read_hex4 = [&](size_t at, uint32_t &code) {
        if (at + 4 > n)
          return false;
        code = 0;
        for (size_t d = 0; d < 4; ++d) {
          int v = hex_value(text_[at + d]);
          if (v < 0)
            return false;
          code = code * 16 + static_cast<uint32_t>(v);
        }
        return true;
      };
      uint32_t code;
      if (!read_hex4(k, code))
        return fail_at(k, "invalid escape");
      k += 4;
      if (code >= 0xD800 && code < 0xDC00) {
        uint32_t low;
        if (k + 1 < n && text_[k] == '\\' && text_[k + 1] == 'u' && read_hex4(k + 2, low) &&
            low >= 0xDC00 && low < 0xE000) {
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          k += 6;
        } else {
          return fail_at(k, "lone leading surrogate in hex escape");
        }
      } else if (code >= 0xDC00 && code < 0xE000) {
        return fail_at(k, "lone trailing surrogate in hex escape");
      }
      append_utf8(scratch_, code);
      break;
    }
    default:
      return fail_at(k - 1, "invalid escape");
    }
  }
  return fail_at(n, "EOF while parsing a string");
}

bool Reader::read_string(std::string_view &out, std::string_view expected) {
  if (failed_)
    return false;
  if (peek() != Token::String)
    return type_error(expected);
  return scan_string(out);
}

bool Reader::read_bool(bool &out, std::string_view expected) {
  if (failed_)
    return false;
  Token token = peek();
  if (token == Token::True && text_.substr(pos_, 4) == "true") {
    pos_ += 4;
    out = true;
    return true;
  }
  if (token == Token::False && text_.substr(pos_, 5) == "false") {
    pos_ += 5;
    out = false;
    return true;
  }
  if (token == Token::True || token == Token::False)
    return fail("expected ident");
  return type_error(expected);
}

bool Reader::read_null(std::string_view expected) {
  if (failed_)
    return false;
  if (peek() == Token::Null) {
    if (text_.substr(pos_, 4) != "null")
      return fail("expected ident");
    pos_ += 4;
    return true;
  }
  return type_error(expected);
}

bool Reader::skip_value() {
  if (failed_)
    return false;
  switch (peek()) {
  case Token::Object: {
    if (!begin_object())
      return false;
    std::string_view key;
    while (next_member(key))
      if (!skip_value())
        return false;
    return !failed_;
  }
  case Token::Array: {
    if (!begin_array())
      return false;
    while (next_element())
      if (!skip_value())
        return false;
    return !failed_;
  }
  case Token::String: {
    std::string_view text;
    return scan_string(text);
  }
  case Token::Number: {
    std::string_view number;
    bool integer;
    return scan_number(number, integer);
  }
  case Token::True:
  case Token::False: {
    bool ignored;
    return read_bool(ignored);
  }
  case Token::Null:
    return read_null();
  case Token::End:
    return fail("EOF while parsing a value");
  case Token::Invalid:
    return fail("expected value");
  }
  return false;
}

bool record_key_error(Reader &reader, size_t at, std::string_view what, std::string_view field) {
  return reader.fail_at(at, std::string(what) + " `" + std::string(field) + "`");
}

bool record_length_error(Reader &reader, size_t at, const RecordShape &shape, size_t length) {
  std::string expected = std::to_string(shape.min_array_length);
  if (shape.min_array_length != shape.fields.size())
    expected += " to " + std::to_string(shape.fields.size());
  return reader.fail_at(at, "invalid length " + std::to_string(length) + ", expected " +
                                std::string(shape.name) + " with " + expected + " elements");
}

bool begin_variant(Reader &reader, std::span<const std::string_view> names, std::string_view what,
                   VariantTag &tag) {
  if (reader.failed())
    return false;
  Token token = reader.peek();
  size_t at = reader.offset();
  std::string_view name;
  if (token == Token::String) {
    if (!reader.read_string(name))
      return false;
    tag.object_form = false;
  } else if (token == Token::Object) {
    if (!reader.begin_object(what))
      return false;
    if (!reader.next_member(name)) {
      if (reader.failed())
        return false;
      return reader.fail_at(at, "invalid value: empty map, expected map with a single key");
    }
    tag.object_form = true;
  } else {
    return reader.begin_object(what); // reports the type error
  }
  for (size_t k = 0; k < names.size(); ++k)
    if (names[k] == name) {
      tag.index = k;
      return true;
    }
  std::string message = "unknown variant `" + std::string(name.substr(0, 64)) + "`, expected ";
  for (size_t k = 0; k < names.size(); ++k) {
    if (k > 0)
      message += names.size() == 2 ? " or " : (k + 1 == names.size() ? ", or " : ", ");
    message.push_back('`');
    message.append(names[k]);
    message.push_back('`');
  }
  return reader.fail_at(at, std::move(message));
}

bool end_variant(Reader &reader, const VariantTag &tag) {
  if (!tag.object_form)
    return !reader.failed();
  std::string_view extra;
  size_t at = reader.offset();
  if (reader.next_member(extra))
    return reader.fail_at(at, "invalid type: map, expected map with a single key");
  return !reader.failed();
}

} // namespace tolm::json
