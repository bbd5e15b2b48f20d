#include "frontend/gcode/parser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "frontend/gcode/arcs.h"
#include "frontend/gcode/lexical.h"
#include "frontend/gcode/roles.h"
#include "frontend/gcode/words.h"
#include "util/numeric.h"

namespace tolm::frontend::gcode {
namespace {

using ir::Point;

/// Extrusion below this (mm of E) is no extrusion.
constexpr double kMinExtrusion = 0.000001;
constexpr double kMmPerInch = 25.4;

constexpr std::string_view kLayerMarkers[] = {";LAYER_CHANGE", "; CHANGE_LAYER",
                                              ";AFTER_LAYER_CHANGE", ";BEFORE_LAYER_CHANGE"};

// Characters that end the plain code text of a line.
constexpr auto kCodeBreaks = [] {
  std::array<bool, 256> table{};
  table[';'] = table['('] = table[')'] = true;
  return table;
}();

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool is_layer_marker(std::string_view comment) {
  for (std::string_view marker : kLayerMarkers)
    if (comment == marker)
      return true;
  if (comment.starts_with(";LAYER:") || comment.starts_with("; BEGIN_LAYER_OBJECT"))
    return true;
  return comment.size() > 8 && comment.starts_with("; layer ") && is_ascii_digit(comment[8]);
}

/// Strips `prefix` from `text` when it starts with it.
bool take_prefix(std::string_view &text, std::string_view prefix) {
  if (!text.starts_with(prefix))
    return false;
  text.remove_prefix(prefix.size());
  return true;
}

/// A move resolved up to its extrusion amount.
struct Move {
  double x_mm, y_mm, z_mm;
  Point from, to;
  double de;
};

/// The toolpath being extended.
struct OpenToolpath {
  std::vector<Point> points;
  int64_t width_um = 0;
  uint64_t epoch = 0;
  double flow_e = 0.0;
  int kind = kNoRole;
};

class Parser {
public:
  ParseReport run(std::string_view text);

private:
  void line(std::string_view line);
  void comment(std::string_view comment);
  void layer_marker(std::string_view comment);
  void code(std::string_view code);
  void skip_code(char letter, int64_t code) { skipped_.emplace(letter, code); }

  bool begin_move(const Words &words, Move &move);
  void linear_move(const Words &words);
  void arc_move(const Words &words, bool clockwise);

  void open_layer(double z_mm);
  void push_segment(int kind, int64_t width_um, double de, Point from, Point to);
  void close_toolpath();
  void flush_layer();

  RoleState roles_;
  std::optional<int64_t> pending_z_um_;
  uint64_t width_epoch_ = 0;
  std::vector<ir::lo::Layer> layers_;
  bool layer_pending_ = false;
  bool layer_open_ = false;
  int64_t layer_z_um_ = 0;
  std::vector<ir::lo::Toolpath> layer_toolpaths_;
  bool toolpath_open_ = false;
  OpenToolpath toolpath_;
  double unit_mm_ = 1.0;
  double x_mm_ = 0.0, y_mm_ = 0.0, z_mm_ = 0.0;
  double e_mm_ = 0.0;
  bool absolute_e_ = true;
  bool relative_xyz_ = false;
  Diagnostics diagnostics_;

  // Skipped commands as (letter, code); written as text once at the end.
  std::set<std::pair<char, int64_t>> skipped_;
  // Reused across lines: the code text of lines with parentheses, and the points of one arc.
  std::string code_buffer_;
  std::vector<Point> arc_points_;
};

ParseReport Parser::run(std::string_view text) {
  const char *p = text.data();
  const char *end = p + text.size();
  while (true) {
    ++diagnostics_.lines;
    const char *newline =
        p == end ? nullptr : static_cast<const char *>(std::memchr(p, '\n', end - p));
    if (newline == nullptr) {
      line(std::string_view(p, end - p));
      break;
    }
    line(std::string_view(p, newline - p));
    p = newline + 1;
  }
  flush_layer();

  ParseReport report;
  report.program.layers = std::move(layers_);
  for (const ir::lo::Layer &layer : report.program.layers)
    for (const ir::lo::Toolpath &toolpath : layer.toolpaths)
      ++(ir::lo::is_extrude(toolpath) ? diagnostics_.extruding_toolpaths
                                      : diagnostics_.travel_toolpaths);
  diagnostics_.layers = report.program.layers.size();
  for (const auto &[letter, code] : skipped_)
    diagnostics_.skipped_codes.insert(letter + std::to_string(code));
  report.diagnostics = std::move(diagnostics_);
  return report;
}

void Parser::line(std::string_view text) {
  while (!text.empty() && text.back() == '\r')
    text.remove_suffix(1);
  size_t n = text.size();
  size_t i = 0;
  while (i < n && !kCodeBreaks[static_cast<unsigned char>(text[i])])
    ++i;
  std::string_view code_text = text.substr(0, i);
  std::string_view comment_text;
  if (i < n && text[i] == ';') {
    comment_text = text.substr(i);
  } else if (i < n) {
    // Parenthesised text is dropped (nested), a stray ')' too; a ';' inside starts nothing.
    code_buffer_.assign(code_text);
    uint64_t depth = 0;
    for (; i < n; ++i) {
      char c = text[i];
      if (depth == 0) {
        if (c == '(')
          depth = 1;
        else if (c == ';') {
          comment_text = text.substr(i);
          break;
        } else if (c != ')')
          code_buffer_.push_back(c);
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        --depth;
      }
    }
    code_text = code_buffer_;
  }
  if (!comment_text.empty())
    comment(comment_text);
  // Trimming the code text is not needed: whitespace never starts or ends a word.
  if (!code_text.empty())
    code(code_text);
}

void Parser::comment(std::string_view comment) {
  std::string_view rest = comment;
  if (take_prefix(rest, ";TYPE:") || take_prefix(rest, "; FEATURE:")) {
    apply_tag(roles_, trim(rest));
    return;
  }
  if (is_layer_marker(comment)) {
    layer_marker(comment);
    return;
  }
  if (take_prefix(rest, ";Z:") || take_prefix(rest, "; Z_HEIGHT:")) {
    std::optional<double> z = read_double(trim(rest));
    if (z && std::isfinite(*z)) {
      z_mm_ = *z;
      pending_z_um_ = mm_to_um(*z);
    }
    return;
  }
  if (take_prefix(rest, ";HEIGHT:") || take_prefix(rest, "; LAYER_HEIGHT:") ||
      take_prefix(rest, ";Layer height:")) {
    std::optional<double> height = read_double(trim(rest));
    if (height && std::isfinite(*height) && *height > 0)
      roles_.layer_height_mm = *height;
    return;
  }
  if (take_prefix(rest, ";WIDTH:") || take_prefix(rest, "; LINE_WIDTH:")) {
    std::optional<double> width_mm = parse_mm(rest);
    std::optional<int64_t> width_um = width_mm ? mm_to_um(*width_mm) : std::nullopt;
    if (width_um && *width_um > 0 && roles_.width_um != width_um) {
      roles_.width_um = width_um;
      ++width_epoch_;
    }
    return;
  }
  apply_bare_comment(roles_, comment);
}

void Parser::layer_marker(std::string_view comment) {
  layer_pending_ = true;
  roles_.role = kNoRole;
  roles_.role_known = false;
  roles_.role_tag.reset();
  // The first "z = number" (either case, any spacing) gives the layer's Z.
  size_t n = comment.size();
  for (size_t i = 0; i < n; ++i) {
    if (comment[i] != 'z' && comment[i] != 'Z')
      continue;
    size_t j = i + 1;
    while (j < n && whitespace_len(comment, j) != 0)
      j += whitespace_len(comment, j);
    if (j >= n || comment[j] != '=')
      continue;
    ++j;
    while (j < n && whitespace_len(comment, j) != 0)
      j += whitespace_len(comment, j);
    size_t k = j;
    while (k < n && (is_ascii_digit(comment[k]) || comment[k] == '+' || comment[k] == '-' ||
                     comment[k] == '.'))
      ++k;
    std::optional<double> z = read_double(comment.substr(j, k - j));
    if (!z)
      continue;
    z_mm_ = *z;
    pending_z_um_ = mm_to_um(*z);
    return;
  }
}

void Parser::code(std::string_view code) {
  size_t star = code.find('*');
  if (star != std::string_view::npos)
    code = code.substr(0, star);
  Words words = scan_words(code);
  if (words.command == 0 || !std::isfinite(words.command_value))
    return;
  int64_t number = saturating_i64(std::round(words.command_value));
  if (words.command == 'G') {
    switch (number) {
    case 0:
    case 1:
      linear_move(words);
      return;
    case 2:
    case 3:
      arc_move(words, number == 2);
      return;
    case 10:
    case 11:
    case 17:
    case 18:
    case 19:
      return;
    case 20:
      unit_mm_ = kMmPerInch;
      return;
    case 21:
      unit_mm_ = 1.0;
      return;
    case 90:
      relative_xyz_ = false;
      return;
    case 91:
      relative_xyz_ = true;
      return;
    case 92:
      if (words.has(kE))
        e_mm_ = words.get(kE) * unit_mm_;
      if (words.has(kX))
        x_mm_ = words.get(kX) * unit_mm_;
      if (words.has(kY))
        y_mm_ = words.get(kY) * unit_mm_;
      if (words.has(kZ))
        z_mm_ = words.get(kZ) * unit_mm_;
      return;
    default:
      break;
    }
  } else if (words.command == 'M') {
    switch (number) {
    case 82:
      absolute_e_ = true;
      return;
    case 83:
      absolute_e_ = false;
      return;
    case 200:
      if (words.has(kD)) {
        double d = words.get(kD);
        roles_.volumetric_e = d > 0;
        if (d > 0)
          roles_.filament_area_mm2 = (d * 0.5) * std::numbers::pi * (d * 0.5);
      }
      return;
    default:
      break;
    }
  }
  skip_code(words.command, number);
}

bool Parser::begin_move(const Words &words, Move &move) {
  if (relative_xyz_) {
    ++diagnostics_.skipped_g91_moves;
    return false;
  }
  move.x_mm = words.has(kX) ? words.get(kX) * unit_mm_ : x_mm_;
  move.y_mm = words.has(kY) ? words.get(kY) * unit_mm_ : y_mm_;
  move.z_mm = words.has(kZ) ? words.get(kZ) * unit_mm_ : z_mm_;
  if (!std::isfinite(move.x_mm) || !std::isfinite(move.y_mm) || !std::isfinite(move.z_mm))
    return false;
  std::optional<int64_t> from_x = mm_to_um(x_mm_), from_y = mm_to_um(y_mm_);
  std::optional<int64_t> to_x = mm_to_um(move.x_mm), to_y = mm_to_um(move.y_mm);
  if (!from_x || !from_y || !to_x || !to_y) {
    ++diagnostics_.overflow_skips;
    return false;
  }
  move.from = {*from_x, *from_y};
  move.to = {*to_x, *to_y};
  move.de = 0.0;
  if (words.has(kE)) {
    double e = words.get(kE) * unit_mm_;
    if (absolute_e_) {
      move.de = e - e_mm_;
      e_mm_ = e;
    } else {
      move.de = e;
      e_mm_ += e;
    }
  }
  return true;
}

void Parser::linear_move(const Words &words) {
  Move move;
  if (!begin_move(words, move))
    return;
  bool moved = move.from != move.to;
  if (moved && move.de > kMinExtrusion) {
    open_layer(move.z_mm);
    double dx = move.x_mm - x_mm_;
    double dy = move.y_mm - y_mm_;
    int64_t width = width_for(roles_, diagnostics_, move.de, std::sqrt(dx * dx + dy * dy));
    int role = consume_role(roles_, diagnostics_);
    push_segment(role, width, move.de, move.from, move.to);
  } else if (!moved && move.de > kMinExtrusion) {
    ++diagnostics_.zero_length_extrudes;
  } else if (moved && move.de <= kMinExtrusion) {
    push_segment(kNoRole, 0, 0.0, move.from, move.to);
  }
  x_mm_ = move.x_mm;
  y_mm_ = move.y_mm;
  z_mm_ = move.z_mm;
}

void Parser::arc_move(const Words &words, bool clockwise) {
  Move move;
  if (!begin_move(words, move))
    return;
  std::optional<PointF> centre;
  if (words.has(kI) || words.has(kJ)) {
    double i = words.has(kI) ? words.get(kI) * unit_mm_ : 0.0;
    double j = words.has(kJ) ? words.get(kJ) * unit_mm_ : 0.0;
    centre = PointF{static_cast<double>(move.from.x) + i * 1000.0,
                    static_cast<double>(move.from.y) + j * 1000.0};
  } else if (words.has(kR)) {
    centre = arc_center_from_r(words.get(kR) * unit_mm_ * 1000.0, move.from, move.to, clockwise);
  }
  arc_points_.clear();
  if (centre)
    append_arc(move.from, move.to, *centre, clockwise, arc_points_);
  else
    arc_points_.push_back(move.to);
  ++diagnostics_.arcs_flattened;

  size_t kept = 0;
  Point previous = move.from;
  for (Point point : arc_points_) {
    if (point == previous)
      continue;
    arc_points_[kept++] = point;
    previous = point;
  }
  arc_points_.resize(kept);

  if (arc_points_.empty()) {
    if (move.de > kMinExtrusion)
      ++diagnostics_.zero_length_extrudes;
  } else if (move.de <= kMinExtrusion) {
    previous = move.from;
    for (Point point : arc_points_) {
      push_segment(kNoRole, 0, 0.0, previous, point);
      previous = point;
    }
  } else if (move.de > kMinExtrusion) {
    open_layer(move.z_mm);
    int64_t width =
        width_for(roles_, diagnostics_, move.de, polyline_len_mm(move.from, arc_points_));
    int role = consume_role(roles_, diagnostics_);
    previous = move.from;
    double de = move.de;
    for (Point point : arc_points_) {
      push_segment(role, width, de, previous, point);
      previous = point;
      de = 0.0;
    }
  }
  x_mm_ = move.x_mm;
  y_mm_ = move.y_mm;
  z_mm_ = move.z_mm;
}

void Parser::open_layer(double z_mm) {
  if (layer_open_ && !layer_pending_)
    return;
  flush_layer();
  layer_open_ = true;
  layer_z_um_ = pending_z_um_ ? *pending_z_um_ : mm_to_um(z_mm).value_or(0);
  pending_z_um_.reset();
  layer_pending_ = false;
}

void Parser::push_segment(int kind, int64_t width_um, double de, Point from, Point to) {
  if (!layer_open_)
    return;
  uint64_t epoch = kind == kNoRole ? 0 : width_epoch_;
  if (toolpath_open_ && toolpath_.kind == kind && toolpath_.epoch == epoch) {
    double open_width = static_cast<double>(toolpath_.width_um);
    double new_width = static_cast<double>(width_um);
    double allowed = std::max(open_width, new_width) * 0.05 + 20.0;
    if (toolpath_.width_um == width_um || std::fabs(open_width - new_width) <= allowed) {
      toolpath_.points.push_back(to);
      toolpath_.flow_e += de;
      return;
    }
  }
  close_toolpath();
  toolpath_open_ = true;
  toolpath_.points.assign({from, to});
  toolpath_.width_um = width_um;
  toolpath_.epoch = epoch;
  toolpath_.flow_e = de;
  toolpath_.kind = kind;
}

void Parser::close_toolpath() {
  if (!toolpath_open_)
    return;
  toolpath_open_ = false;
  ir::lo::Toolpath &closed = layer_toolpaths_.emplace_back();
  closed.path.points = std::move(toolpath_.points);
  toolpath_.points = {};
  if (toolpath_.kind == kNoRole) {
    closed.kind = ir::lo::Travel{};
    closed.width_um = 0;
  } else {
    closed.kind = ir::lo::Extrude{static_cast<ir::RegionKind>(toolpath_.kind)};
    closed.width_um = toolpath_.width_um;
    closed.flow_e = toolpath_.flow_e;
  }
}

void Parser::flush_layer() {
  if (!layer_open_)
    return;
  close_toolpath();
  if (!layer_toolpaths_.empty())
    layers_.push_back(ir::lo::Layer{layer_z_um_, std::move(layer_toolpaths_)});
  layer_toolpaths_ = {};
  layer_open_ = false;
}

} // namespace

ParseReport parse(std::string_view text) { return Parser().run(text); }

} // namespace tolm::frontend::gcode
