#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdint>

namespace lumora::devservice {

// An httplib::Server that no client can hold on to: it serves each connection itself, so that every
// request must arrive whole by a deadline and is read no further than its head limit and the body it
// declared; it keeps enough workers that a few slow clients cannot take them all, and it accepts
// bursts of connections.
class GuardedServer : public httplib::Server {
public:
    struct Limits {
        std::chrono::seconds requestDeadline{60};
        std::uint64_t headBytes = 64 * 1024;
        std::size_t workers = 64;
        int backlog = 512;
    };

    explicit GuardedServer(const Limits& limits);

    // The library listens with a backlog of 5, which resets clients that arrive together. Call once
    // bound.
    bool raiseBacklog();

    // For handlers on this server's workers, about the request they handle; without effect elsewhere.
    enum class Cut { none, deadline, headTooLarge };
    static Cut cutOff();                        // why the request could not be read whole
    static void allowBody(std::uint64_t bytes); // its declared body may be read
    // The byte ranges its Range header asks for, as httplib parsed them. They are taken away from
    // httplib, which would apply them to every reply, JSON and errors included, and without
    // checking them against the size; a route that serves ranges reads them here.
    static const httplib::Ranges& requestedRanges();
    // Whatever follows on the connection is left unread, so it must not be taken as another request.
    static void closeAfterReply(httplib::Response& res);

private:
    bool process_and_close_socket(socket_t sock) override;

    Limits m_limits;
};

} // namespace lumora::devservice
