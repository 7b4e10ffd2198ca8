#pragma once

#include "MediaFiles.h"
#include "Store.h"

#include <httplib.h>

#include <cstdint>

namespace lumora::devservice {

struct ServiceConfig {
    bool envelope = false;
    std::int64_t maxUploadBytes = 25 * 1024 * 1024;
    bool quiet = false;
    int requestDeadlineSeconds = 60;
};

// Registers every endpoint, the JSON error replies and the request log on `server`. The store and
// the media files must outlive it.
void installRoutes(httplib::Server& server, Store& store, const MediaFiles& media,
                   const ServiceConfig& config);

} // namespace lumora::devservice
