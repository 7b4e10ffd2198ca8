#include "GuardedServer.h"

#include "ConnectionStream.h"

#include <sys/socket.h>

#include <utility>

namespace lumora::devservice {

namespace {

// The connection this worker serves, if it serves one of ours.
struct Current {
    ConnectionStream* stream = nullptr;
    bool close = false;
    httplib::Ranges ranges;
};
thread_local Current current;

} // namespace

GuardedServer::GuardedServer(const Limits& limits)
    : m_limits(limits) {
    new_task_queue = [workers = limits.workers] { return new httplib::ThreadPool(workers); };
}

bool GuardedServer::raiseBacklog() {
    // listen() again on a listening socket only changes its backlog.
    return ::listen(svr_sock_, m_limits.backlog) == 0;
}

GuardedServer::Cut GuardedServer::cutOff() {
    if (!current.stream)
        return Cut::none;
    if (current.stream->timedOut())
        return Cut::deadline;
    return current.stream->overran() ? Cut::headTooLarge : Cut::none;
}

void GuardedServer::allowBody(std::uint64_t bytes) {
    if (current.stream)
        current.stream->allowBody(bytes);
}

const httplib::Ranges& GuardedServer::requestedRanges() {
    return current.ranges;
}

void GuardedServer::closeAfterReply(httplib::Response& res) {
    res.set_header("Connection", "close");
    current.close = true;
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    using namespace std::chrono;
    const ConnectionStream::Timeouts timeouts{seconds(read_timeout_sec_) + microseconds(read_timeout_usec_),
                                              seconds(write_timeout_sec_) + microseconds(write_timeout_usec_),
                                              seconds(keep_alive_timeout_sec_)};
    ConnectionStream stream(sock, timeouts, svr_sock_);
    current = Current{&stream, false, {}};
    bool ok = false;
    for (size_t served = 0; served < keep_alive_max_count_; ++served) {
        if (!stream.awaitRequest())
            break;
        stream.beginRequest(m_limits.requestDeadline, m_limits.headBytes);
        bool closed = false;
        current.ranges.clear();
        ok = process_request(stream, served + 1 == keep_alive_max_count_, closed,
                             [](httplib::Request& req) { current.ranges = std::exchange(req.ranges, {}); });
        if (!ok || closed || current.close || stream.timedOut() || stream.overran())
            break;
    }
    const bool unread = current.close || stream.timedOut() || stream.overran();
    current = Current{};
    if (unread)
        stream.closeLingering();
    else
        stream.close();
    return ok;
}

} // namespace lumora::devservice
