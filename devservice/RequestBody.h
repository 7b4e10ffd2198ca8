#pragma once

#include "HttpError.h"

#include <httplib.h>

#include <cstdint>
#include <expected>

namespace lumora::devservice {

// How many body bytes to read for a request whose head has arrived, or why it is refused. Judged
// before any of the body is read: chunked, compressed and unmeasured bodies could grow without
// bound, so only a body with a Content-Length of at most `maxBytes` is accepted, and only on the
// methods whose body is read at all.
std::expected<std::uint64_t, HttpError> admittedBodyLength(const httplib::Request& req,
                                                           std::uint64_t maxBytes);

} // namespace lumora::devservice
