#pragma once

#include <httplib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace lumora::devservice {

// One client connection as httplib reads and writes it, with two bounds httplib lacks: each request
// must arrive whole by a deadline, however steadily it trickles in, and no more of it is read than
// its allowance (the head's limit, then the body it declared).
class ConnectionStream : public httplib::Stream {
public:
    using Clock = std::chrono::steady_clock;

    struct Timeouts {
        Clock::duration read;  // the longest wait for any one piece
        Clock::duration write; // the same for sending
        Clock::duration idle;  // between requests on a kept-alive connection
    };

    ConnectionStream(int socket, Timeouts timeouts, const std::atomic<int>& listener);

    // Waits for the first byte of the next request; false when the client went quiet or closed.
    bool awaitRequest();
    void beginRequest(Clock::duration deadline, std::uint64_t headBytes);
    // The head has been read; `bodyBytes` more may be.
    void allowBody(std::uint64_t bodyBytes);

    bool timedOut() const { return m_timedOut; }
    bool overran() const { return m_overran; }

    // Lets the client read the reply before the connection goes, when it may still be sending.
    void closeLingering();
    void close();

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_socket; }

private:
    // Until the socket is ready for `events`; false at `until`, on an error or when the server stops.
    bool wait(short events, Clock::time_point until) const;
    size_t buffered() const { return m_end - m_begin; }

    int m_socket;
    Timeouts m_timeouts;
    const std::atomic<int>& m_listener; // becomes -1 when the server stops
    Clock::time_point m_deadline = Clock::time_point::max();
    std::uint64_t m_delivered = 0; // bytes of this request handed to httplib
    std::uint64_t m_allowance = 0;
    mutable bool m_timedOut = false;
    bool m_overran = false;
    std::array<char, 4096> m_buffer{};
    size_t m_begin = 0;
    size_t m_end = 0;
};

} // namespace lumora::devservice
