// The bytes a device sends for a reply, and the faults that spoil them.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "tools/devsim/http_private.h"
#include "tools/devsim/xml_text_private.h"

namespace devsim {

namespace {

struct Reason {
  int status;
  std::string_view text;
};

constexpr Reason kReasons[] = {
    {200, "OK"},
    {302, "Found"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {411, "Length Required"},
    {413, "Request Entity Too Large"},
    {418, "I'm a teapot"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
    {505, "HTTP Version Not Supported"},
};

// Defaults of the faults' values (FaultKind order does not matter here).
constexpr long kDefaultStatus = 500;
constexpr long kDefaultStallBytes = 100;
constexpr long kDefaultDripMs = 20;
constexpr long kDefaultSplitMs = 20;
constexpr std::size_t kSplitPiece = 8;
constexpr long kDefaultLongHeader = 1500;  // the client reads replies in 1024-byte chunks
constexpr long kDefaultBodySize = 19999;
constexpr long kDefaultNoise = 512;
constexpr long kDefaultShortStatus = 8;  // "HTTP/1.0"
constexpr std::string_view kStatusLine = "HTTP/1.0 200 OK";

long value_or(const Fault &f, long fallback) { return f.value > 0 ? f.value : fallback; }

std::string header_of(const Response &r) {
  std::string h = "HTTP/1.0 " + std::to_string(r.status) + " " + std::string(reason_phrase(r.status)) + "\r\n";
  h += "Content-Type: " + r.content_type + "\r\n";
  h += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
  for (const std::string &line : r.extra_headers) h += line + "\r\n";
  h += "\r\n";
  return h;
}

// Deterministic noise (xorshift32), every byte value included.
std::string noise(std::size_t n) {
  std::string out(n, '\0');
  std::uint32_t x = 0x2545F491u;
  for (char &c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return out;
}

// Exactly n bytes: a shorter document is padded after its root element with
// a comment (or line feeds where no comment fits) so that it stays XML; a
// longer one is cut.
std::string sized(std::string doc, std::size_t n) {
  if (doc.size() >= n) {
    doc.resize(n);
    return doc;
  }
  const std::size_t pad = n - doc.size();
  constexpr std::size_t kCommentFrame = 8;  // "\n<!--" and "-->"
  if (pad >= kCommentFrame)
    doc += "\n<!--" + std::string(pad - kCommentFrame, ' ') + "-->";
  else
    doc += std::string(pad, '\n');
  return doc;
}

// Puts CR LF CR LF after the end of the line at or after `from` (between two
// elements, where it is only white space), or at the end of the document.
std::string with_blank_line(std::string doc, std::size_t from) {
  const std::size_t at = doc.find(">\n", std::min(from, doc.size()));
  doc.insert(at == std::string::npos ? doc.size() : at + 1, "\r\n\r\n");
  return doc;
}

std::string without_declaration(std::string doc) {
  if (doc.rfind(kXmlDeclaration, 0) == 0) {
    doc.erase(0, kXmlDeclaration.size());
    if (!doc.empty() && doc.front() == '\n') doc.erase(0, 1);
  }
  return doc;
}

// A device that writes its names as they are: "Büro & Flur" arrives with
// a bare '&', which no XML parser reads past.
std::string with_bare_ampersands(std::string doc) {
  constexpr std::string_view kEscaped = "&amp;";
  for (std::size_t at = doc.find(kEscaped); at != std::string::npos; at = doc.find(kEscaped, at + 1))
    doc.replace(at, kEscaped.size(), "&");
  return doc;
}

void fill_header(Response &r, std::size_t target) {
  for (int n = 1; header_of(r).size() < target; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "X-Filler-%02d: ", n);
    r.extra_headers.push_back(name + std::string(60, 'x'));
  }
}

ReplyPlan single(std::string bytes, int status) {
  ReplyPlan plan;
  plan.segments.push_back({bytes.size(), 0});
  plan.bytes = std::move(bytes);
  plan.status = status;
  return plan;
}

}  // namespace

std::string_view reason_phrase(int status) {
  for (const Reason &r : kReasons)
    if (r.status == status) return r.text;
  return "Status";
}

int fault_status(const Fault &fault) { return static_cast<int>(value_or(fault, kDefaultStatus)); }

ReplyPlan plan_reply(Response r, const Fault &fault) {
  switch (fault.kind) {
    case FaultKind::status: r.status = fault_status(fault); break;
    case FaultKind::body_size: r.body = sized(std::move(r.body), value_or(fault, kDefaultBodySize)); break;
    case FaultKind::truncate_body:
      r.body.resize(std::min<std::size_t>(r.body.size(), value_or(fault, static_cast<long>(r.body.size() / 2))));
      break;
    case FaultKind::no_declaration: r.body = without_declaration(std::move(r.body)); break;
    case FaultKind::blank_line_in_body: {
      // Taken before the call: the moved-from body may already be empty when
      // another argument is evaluated (clang goes left to right).
      const std::size_t from = value_or(fault, static_cast<long>(r.body.size() / 2));
      r.body = with_blank_line(std::move(r.body), from);
      break;
    }
    case FaultKind::garbage_body: r.body = noise(value_or(fault, kDefaultNoise)); break;
    case FaultKind::bare_ampersand: r.body = with_bare_ampersands(std::move(r.body)); break;
    case FaultKind::long_header: fill_header(r, value_or(fault, kDefaultLongHeader)); break;
    default: break;
  }

  const std::string header = header_of(r);
  switch (fault.kind) {
    case FaultKind::garbage: return single(noise(value_or(fault, kDefaultNoise)), 0);
    case FaultKind::short_status: {
      const std::size_t n = std::min<std::size_t>(kStatusLine.size(), value_or(fault, kDefaultShortStatus));
      return single(std::string(kStatusLine.substr(0, n)), 0);
    }
    case FaultKind::close_in_header: {
      // Never the whole header: its blank line must not arrive.
      const std::size_t n =
          std::min<std::size_t>(header.size() - 1, value_or(fault, static_cast<long>(header.size() / 2)));
      return single(header.substr(0, n), 0);
    }
    case FaultKind::silent: {
      ReplyPlan plan = single(std::string(), 0);
      plan.hold_open = true;
      return plan;
    }
    case FaultKind::stall: {
      const std::string full = header + r.body;
      ReplyPlan plan =
          single(full.substr(0, std::min<std::size_t>(full.size(), value_or(fault, kDefaultStallBytes))), r.status);
      plan.hold_open = true;
      return plan;
    }
    case FaultKind::drip: {
      ReplyPlan plan;
      plan.bytes = header + r.body;
      plan.status = r.status;
      const int ms = static_cast<int>(value_or(fault, kDefaultDripMs));
      for (std::size_t i = 0; i < plan.bytes.size(); ++i) plan.segments.push_back({1, i == 0 ? 0 : ms});
      return plan;
    }
    case FaultKind::split_header: {
      ReplyPlan plan;
      plan.bytes = header + r.body;
      plan.status = r.status;
      const int ms = static_cast<int>(value_or(fault, kDefaultSplitMs));
      for (std::size_t at = 0; at < header.size(); at += kSplitPiece)
        plan.segments.push_back({std::min(kSplitPiece, header.size() - at), at == 0 ? 0 : ms});
      if (!r.body.empty()) plan.segments.push_back({r.body.size(), ms});
      return plan;
    }
    default: return single(header + r.body, r.status);
  }
}

}  // namespace devsim
