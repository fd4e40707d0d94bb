// What a device answers to one request, apart from how the bytes travel.
#pragma once

#include <chrono>

#include "tools/devsim/device_state_private.h"
#include "tools/devsim/http_private.h"

namespace devsim {

// The three documents a fault can aim at; `none` for everything else.
enum class RequestTarget { none, values, setup, post };

RequestTarget target_of(const Request &request);

// The fault of `faults` that applies to a request for `target`, or a
// FaultKind::none fault.
Fault fault_for(const std::vector<Fault> &faults, RequestTarget target);

// Answers a parsed request: documents, 401 without the right credentials,
// applied posts, 404 for unknown paths. `fault` is the fault the reply will
// carry: a post that the fault answers with a refusal status is not applied.
Response respond(DeviceState &device, const ParsedRequest &parsed, ParseState state, const Fault &fault, int port,
                 std::chrono::steady_clock::time_point now);

}  // namespace devsim
