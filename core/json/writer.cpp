#include "json/writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tolm::json {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_escaped(std::string &out, std::string_view text) {
  out.push_back('"');
  size_t run_start = 0;
  for (size_t k = 0; k < text.size(); ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    if (c >= 0x20 && c != '"' && c != '\\')
      continue;
    out.append(text.data() + run_start, k - run_start);
    run_start = k + 1;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    default:
      out += "\\u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  out.append(text.data() + run_start, text.size() - run_start);
  out.push_back('"');
}

} // namespace

void append_double(std::string &out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  (void)ec;
  bool plain_integer = true;
  for (char *p = buffer; p != end; ++p)
    if (*p == '.' || *p == 'e' || *p == 'E') {
      plain_integer = false;
      break;
    }
  out.append(buffer, end);
  if (plain_integer)
    out += ".0";
}

void Writer::newline_indent(size_t depth) {
  // One append of a line feed and the indentation, cut from a ready-made run of spaces.
  static const std::string kNewlineAndSpaces = "\n" + std::string(256, ' ');
  const size_t width = depth * 2;
  if (width < kNewlineAndSpaces.size()) {
    out_.append(kNewlineAndSpaces.data(), width + 1);
    return;
  }
  out_.push_back('\n');
  out_.append(width, ' ');
}

void Writer::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_elements_.empty())
    return;
  uint8_t &has_elements = has_elements_.back();
  if (has_elements)
    out_.push_back(',');
  has_elements = 1;
  newline_indent(has_elements_.size());
}

void Writer::open(char bracket) {
  before_value();
  out_.push_back(bracket);
  has_elements_.push_back(0);
}

void Writer::close(char bracket) {
  bool had_elements = has_elements_.back();
  has_elements_.pop_back();
  if (had_elements)
    newline_indent(has_elements_.size());
  out_.push_back(bracket);
}

void Writer::key(std::string_view name) {
  before_value();
  append_escaped(out_, name);
  out_ += ": ";
  after_key_ = true;
}

void Writer::value(int64_t v) {
  before_value();
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  (void)ec;
  out_.append(buffer, end);
}

void Writer::value(uint64_t v) {
  before_value();
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  (void)ec;
  out_.append(buffer, end);
}

void Writer::value(double v) {
  before_value();
  append_double(out_, v);
}

void Writer::value(bool v) {
  before_value();
  out_ += v ? "true" : "false";
}

void Writer::value(std::string_view v) {
  before_value();
  append_escaped(out_, v);
}

void Writer::null() {
  before_value();
  out_ += "null";
}

} // namespace tolm::json
