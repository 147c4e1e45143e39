// Compiles URI templates into literal pieces and captures, and matches paths
// against them with the backtracking order of greedy regular-expression groups.
#include "protocol/RouteMatcher.h"

#include <algorithm>
#include <cstring>

namespace qor {

namespace {

bool isPatternSpecial(char c) noexcept {
  return c != '\0' && std::strchr("^$.*+?()[]|\\", c) != nullptr;
}

// How far a capture may reach from `pos`: "[^/]" stops at a slash, "." (as
// ECMAScript defines it) at a line terminator.
std::size_t captureLimit(std::string_view path, std::size_t pos, bool anyCharacter) noexcept {
  std::size_t end = pos;
  if (anyCharacter) {
    while (end < path.size() && path[end] != '\n' && path[end] != '\r') ++end;
  } else {
    while (end < path.size() && path[end] != '/') ++end;
  }
  return end;
}

}  // namespace

RouteMatcher::RouteMatcher(std::string_view uriTemplate) : template_(uriTemplate) {
  literal_ = uriTemplate.find('{') == std::string_view::npos;
  if (literal_) return;

  auto appendLiteral = [this](char c) {
    if (pieces_.empty() || pieces_.back().variable >= 0) pieces_.push_back({{}, -1, false});
    pieces_.back().text.push_back(c);
  };

  bool inBraces = false;
  bool atNameStart = false;
  RouteVariable current{RouteVariableKind::Simple, {}};
  for (char c : uriTemplate) {
    if (!inBraces) {
      if (c == '{') {
        inBraces = true;
        atNameStart = true;
        current = {RouteVariableKind::Simple, {}};
        continue;
      }
      if (isPatternSpecial(c)) pattern_.push_back('\\');
      pattern_.push_back(c);
      appendLiteral(c);
      continue;
    }
    if (c == '}') {
      inBraces = false;
      const auto index = static_cast<std::int32_t>(variables_.size());
      switch (current.kind) {
        case RouteVariableKind::Simple:
          pattern_ += "([^/]*)";
          pieces_.push_back({{}, index, false});
          break;
        case RouteVariableKind::Reserved:
          pattern_ += "(.*)";
          pieces_.push_back({{}, index, true});
          break;
        case RouteVariableKind::Fragment:
          pattern_ += "#(.*)";
          appendLiteral('#');
          pieces_.push_back({{}, index, true});
          break;
      }
      variables_.push_back(std::move(current));
      continue;
    }
    if (atNameStart && (c == '+' || c == '#')) {
      current.kind = c == '+' ? RouteVariableKind::Reserved : RouteVariableKind::Fragment;
    } else {
      current.name.push_back(c);
    }
    atNameStart = false;
  }
  // An unclosed "{" contributes nothing, just as it adds nothing to the pattern.
}

bool RouteMatcher::match(std::string_view path, std::vector<std::string_view>& captures) const {
  captures.clear();
  if (literal_) return path == template_;
  captures.resize(variables_.size());
  if (matchFrom(0, 0, path, captures)) return true;
  captures.clear();
  return false;
}

bool RouteMatcher::matchFrom(std::size_t piece, std::size_t pos, std::string_view path,
                             std::vector<std::string_view>& captures) const {
  // Literal pieces are matched in a loop; only captures need backtracking.
  while (piece < pieces_.size() && pieces_[piece].variable < 0) {
    const std::string& text = pieces_[piece].text;
    if (path.size() - pos < text.size() || path.compare(pos, text.size(), text) != 0) return false;
    pos += text.size();
    ++piece;
  }
  if (piece == pieces_.size()) return pos == path.size();

  const Piece& capture = pieces_[piece];
  const std::size_t limit = captureLimit(path, pos, capture.anyCharacter);
  auto& slot = captures[static_cast<std::size_t>(capture.variable)];
  if (piece + 1 == pieces_.size()) {
    // The last capture must reach the end of the path; the longest try is the only one.
    if (limit != path.size()) return false;
    slot = path.substr(pos);
    return true;
  }
  const Piece& next = pieces_[piece + 1];
  for (std::size_t end = limit + 1; end-- > pos;) {
    // A following literal must start where the capture ends; skip ends where it cannot.
    if (next.variable < 0 && path.compare(end, std::min(next.text.size(), path.size() - end),
                                          next.text) != 0) {
      continue;
    }
    slot = path.substr(pos, end - pos);
    if (matchFrom(piece + 1, end, path, captures)) return true;
  }
  return false;
}

std::string_view routeTemplateText(std::string_view uriTemplate) noexcept {
  if (uriTemplate.size() > 1 && uriTemplate.back() == '/') uriTemplate.remove_suffix(1);
  return uriTemplate;
}

bool routeMatches(std::string_view uriTemplate, std::string_view path) {
  std::vector<std::string_view> captures;
  return RouteMatcher(routeTemplateText(uriTemplate)).match(path, captures);
}

}  // namespace qor
