// The HTTP/1.0 side of a device: reading a request and writing the bytes of
// a reply, normal or faulty.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/devsim/devsim.h"

namespace devsim {

// Limits of what a device reads: a request head beyond 8 KiB or a posted
// document beyond 64 KiB is refused (the client posts at most 20000 bytes).
inline constexpr std::size_t kRequestHeadMax = 8192;
inline constexpr std::size_t kRequestBodyMax = 65536;

enum class ParseState { incomplete, complete, bad };

struct ParsedRequest {
  Request request;
  std::size_t head_size = 0;  // bytes up to and including the blank line
  std::size_t content_length = 0;
  bool has_content_length = false;
  int error_status = 0;  // for ParseState::bad: the status to answer with
};

// Parses what has arrived of a request so far. `complete` once the head and,
// for a POST, Content-Length bytes of body are there.
ParseState parse_request(std::string_view data, ParsedRequest &out);

// "user:password" from the value of an Authorization header, if it is Basic.
bool basic_credentials(std::string_view authorization, std::string &user_password);
// Standard alphabet, padding optional; nullopt for any other character.
std::optional<std::string> base64_decode(std::string_view text);

struct Response {
  int status = 200;
  std::string content_type = "text/xml";
  std::vector<std::string> extra_headers;  // complete lines without CR LF
  std::string body;
};

std::string_view reason_phrase(int status);

// The bytes of a reply and when to send them: segments partition `bytes`;
// each waits `delay_ms` after the previous one was sent. With `hold_open`
// the connection stays open after the last segment until the peer drops it.
struct ReplyPlan {
  struct Segment {
    std::size_t length;
    int delay_ms;
  };
  std::string bytes;
  std::vector<Segment> segments;
  bool hold_open = false;
  int status = 0;  // status line sent, 0 when none
};

// Status a FaultKind::status fault sends (its value, 500 by default).
int fault_status(const Fault &fault);

// Turns a response into the bytes a device sends, changed by `fault`
// (FaultKind::none for a proper reply).
ReplyPlan plan_reply(Response response, const Fault &fault);

}  // namespace devsim
