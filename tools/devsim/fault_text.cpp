// Text form of faults: KIND[:VALUE][@TARGET].
#include <charconv>

#include "tools/devsim/devsim.h"

namespace devsim {

namespace {

struct KindName {
  FaultKind kind;
  std::string_view name;
};

constexpr KindName kKinds[] = {
    {FaultKind::none, "none"},
    {FaultKind::status, "status"},
    {FaultKind::stall, "stall"},
    {FaultKind::drip, "drip"},
    {FaultKind::close_in_header, "close-in-header"},
    {FaultKind::split_header, "split-header"},
    {FaultKind::long_header, "long-header"},
    {FaultKind::body_size, "body-size"},
    {FaultKind::truncate_body, "truncate"},
    {FaultKind::no_declaration, "no-declaration"},
    {FaultKind::blank_line_in_body, "blank-line"},
    {FaultKind::garbage, "garbage"},
    {FaultKind::garbage_body, "garbage-body"},
    {FaultKind::short_status, "short-status"},
    {FaultKind::not_listening, "not-listening"},
    {FaultKind::bare_ampersand, "bare-ampersand"},
    {FaultKind::silent, "silent"},
    {FaultKind::ignore_post, "ignore-post"},
    {FaultKind::short_reply, "short-reply"},
    {FaultKind::unauthentic_reply, "unauthentic-reply"},
    {FaultKind::duplicate_reply, "duplicate-reply"},
    {FaultKind::oversized_reply, "oversized-reply"},
    {FaultKind::reply_burst, "reply-burst"},
};

struct TargetName {
  FaultTarget target;
  std::string_view name;
};

constexpr TargetName kTargets[] = {
    {FaultTarget::all, "all"},   {FaultTarget::values, "values"}, {FaultTarget::setup, "setup"},
    {FaultTarget::post, "post"}, {FaultTarget::search, "search"},
};

}  // namespace

bool is_search_fault(FaultKind kind) {
  switch (kind) {
    case FaultKind::short_reply:
    case FaultKind::unauthentic_reply:
    case FaultKind::duplicate_reply:
    case FaultKind::oversized_reply:
    case FaultKind::reply_burst: return true;
    default: return false;
  }
}

std::optional<Fault> parse_fault(std::string_view text) {
  Fault fault;
  if (const auto at = text.find('@'); at != std::string_view::npos) {
    const std::string_view target = text.substr(at + 1);
    text = text.substr(0, at);
    bool found = false;
    for (const TargetName &t : kTargets)
      if (t.name == target) {
        fault.target = t.target;
        found = true;
      }
    if (!found) return std::nullopt;
  }
  if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    const std::string_view value = text.substr(colon + 1);
    text = text.substr(0, colon);
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), fault.value);
    if (ec != std::errc() || end != value.data() + value.size() || fault.value < 0) return std::nullopt;
  }
  for (const KindName &k : kKinds)
    if (k.name == text) {
      fault.kind = k.kind;
      return fault;
    }
  return std::nullopt;
}

std::string fault_to_string(const Fault &fault) {
  std::string text;
  for (const KindName &k : kKinds)
    if (k.kind == fault.kind) text = k.name;
  if (fault.value > 0) text += ":" + std::to_string(fault.value);
  for (const TargetName &t : kTargets)
    if (t.target == fault.target && t.target != FaultTarget::all) text += "@" + std::string(t.name);
  return text;
}

std::vector<std::string> fault_kind_names() {
  std::vector<std::string> names;
  for (const KindName &k : kKinds)
    if (k.kind != FaultKind::none) names.emplace_back(k.name);
  return names;
}

}  // namespace devsim
