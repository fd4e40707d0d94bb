#include "tools/devsim/post_apply_private.h"
#include "tools/devsim/request_handler_private.h"

namespace devsim {

namespace {

Response plain(int status, std::string text) {
  Response r;
  r.status = status;
  r.content_type = "text/plain";
  r.body = std::move(text) + "\n";
  return r;
}

std::string path_without_query(const std::string &path) { return path.substr(0, path.find('?')); }

bool authorized(const DeviceConfig &config, const Request &request) {
  if (config.user.empty()) return true;
  std::string given;
  if (!basic_credentials(request.header("Authorization"), given)) return false;
  return given == config.user + ":" + config.password;
}

Response unauthorized() {
  Response r = plain(401, "401 Unauthorized");
  r.extra_headers.push_back("WWW-Authenticate: Basic realm=\"Device\"");
  return r;
}

Response document(std::string body) {
  Response r;
  r.body = std::move(body);
  return r;
}

// Statuses the client takes as a refusal.
bool is_refusal(int status) { return (status >= 400 && status <= 417) || (status >= 500 && status <= 505); }

}  // namespace

RequestTarget target_of(const Request &request) {
  const std::string path = path_without_query(request.path);
  if (request.method == "GET" && path == "/values.xml") return RequestTarget::values;
  if (request.method == "GET" && path == "/setup.xml") return RequestTarget::setup;
  if (request.method == "POST" && path == "/setup.xml") return RequestTarget::post;
  return RequestTarget::none;
}

Fault fault_for(const std::vector<Fault> &faults, RequestTarget target) {
  if (target == RequestTarget::none) return {};
  for (const Fault &f : faults) {
    if (f.kind == FaultKind::none || f.kind == FaultKind::not_listening || is_search_fault(f.kind)) continue;
    if (f.target == FaultTarget::all || static_cast<int>(f.target) == static_cast<int>(target)) return f;
  }
  return {};
}

Response respond(DeviceState &device, const ParsedRequest &parsed, ParseState state, const Fault &fault, int port,
                 std::chrono::steady_clock::time_point now) {
  if (state == ParseState::bad)
    return plain(parsed.error_status,
                 std::to_string(parsed.error_status) + " " + std::string(reason_phrase(parsed.error_status)));
  const Request &request = parsed.request;
  const DeviceConfig &config = device.config();
  switch (target_of(request)) {
    case RequestTarget::values: return document(device.values_document(now, port));
    case RequestTarget::setup:
      if (!authorized(config, request)) return unauthorized();
      return document(device.setup_document(now, port));
    case RequestTarget::post: {
      const bool open_post = config.name_post_without_auth && is_name_only_post(request.body);
      if (!open_post && !authorized(config, request)) return unauthorized();
      // A refused post, and one the device takes in silence, leave the setup
      // as it was; the reply is the setup the device keeps.
      const bool ignored = fault.kind == FaultKind::ignore_post;
      if (ignored || (fault.kind == FaultKind::status && is_refusal(fault_status(fault))))
        return document(device.setup_document(now, port));
      const DeviceState::PostResult result = device.apply_post(request.body, now);
      if (!result.ok) return plain(400, "400 Bad Request: " + result.error);
      return document(device.setup_document(now, port));
    }
    case RequestTarget::none: break;
  }
  const std::string path = path_without_query(request.path);
  if (path == "/values.xml" || path == "/setup.xml") return plain(405, "405 Method Not Allowed");
  if (request.method != "GET" && request.method != "POST") return plain(501, "501 Not Implemented");
  return plain(404, "404 Not Found");
}

}  // namespace devsim
