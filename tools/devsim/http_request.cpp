#include <algorithm>
#include <cctype>
#include <charconv>

#include "tools/devsim/http_private.h"

namespace devsim {

namespace {

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Calls `line` for each line of `head`, without its CR LF (or bare LF).
template <class F>
void for_each_line(std::string_view head, F line) {
  while (!head.empty()) {
    const auto end = head.find('\n');
    std::string_view l = head.substr(0, end);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (!line(l)) return;
    if (end == std::string_view::npos) return;
    head.remove_prefix(end + 1);
  }
}

ParseState bad(ParsedRequest &out, int status) {
  out.error_status = status;
  return ParseState::bad;
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Request::header(std::string_view name) const {
  std::string value;
  bool first = true;
  for_each_line(head, [&](std::string_view line) {
    if (first) {  // the request line
      first = false;
      return true;
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && iequals(trim(line.substr(0, colon)), name)) {
      value = std::string(trim(line.substr(colon + 1)));
      return false;
    }
    return true;
  });
  return value;
}

ParseState parse_request(std::string_view data, ParsedRequest &out) {
  std::size_t head_end = data.find("\r\n\r\n");
  std::size_t blank = 4;
  const std::size_t lf_end = data.find("\n\n");  // lenient: bare line feeds
  if (lf_end < head_end) {
    head_end = lf_end;
    blank = 2;
  }
  if (head_end == std::string_view::npos) return data.size() > kRequestHeadMax ? bad(out, 400) : ParseState::incomplete;
  if (head_end > kRequestHeadMax) return bad(out, 400);

  Request &r = out.request;
  r.head = std::string(data.substr(0, head_end));
  out.head_size = head_end + blank;

  std::string_view request_line = r.head;
  request_line = request_line.substr(0, request_line.find('\n'));
  if (!request_line.empty() && request_line.back() == '\r') request_line.remove_suffix(1);
  const auto sp1 = request_line.find(' ');
  const auto sp2 = request_line.find(' ', sp1 == std::string_view::npos ? sp1 : sp1 + 1);
  if (sp1 == std::string_view::npos || sp2 == std::string_view::npos) return bad(out, 400);
  r.method = std::string(request_line.substr(0, sp1));
  r.path = std::string(request_line.substr(sp1 + 1, sp2 - sp1 - 1));
  const std::string_view version = request_line.substr(sp2 + 1);
  if (r.method.empty() || r.path.empty() || version.substr(0, 5) != "HTTP/") return bad(out, 400);

  bool malformed = false;
  bool first = true;
  for_each_line(r.head, [&](std::string_view line) {
    if (first) {
      first = false;
      return true;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      malformed = true;
      return false;
    }
    if (iequals(trim(line.substr(0, colon)), "Content-Length")) {
      const std::string_view v = trim(line.substr(colon + 1));
      std::size_t n = 0;
      auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
      if (ec != std::errc() || end != v.data() + v.size() || v.empty()) {
        malformed = true;
        return false;
      }
      out.content_length = n;
      out.has_content_length = true;
    }
    return true;
  });
  if (malformed) return bad(out, 400);

  if (r.method != "POST") return ParseState::complete;
  if (!out.has_content_length) return bad(out, 411);
  if (out.content_length > kRequestBodyMax) return bad(out, 413);
  if (data.size() < out.head_size + out.content_length) return ParseState::incomplete;
  r.body = std::string(data.substr(out.head_size, out.content_length));
  return ParseState::complete;
}

std::optional<std::string> base64_decode(std::string_view text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    const int v = base64_value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

bool basic_credentials(std::string_view authorization, std::string &user_password) {
  authorization = trim(authorization);
  const auto sp = authorization.find(' ');
  if (sp == std::string_view::npos || !iequals(authorization.substr(0, sp), "Basic")) return false;
  auto decoded = base64_decode(trim(authorization.substr(sp + 1)));
  if (!decoded) return false;
  user_password = std::move(*decoded);
  return true;
}

}  // namespace devsim
