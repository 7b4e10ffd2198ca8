#include "ConnectionStream.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lumora::devservice {

namespace {

using namespace std::chrono;

// Waits are cut into slices so that a stopping server is noticed soon.
constexpr auto slice = milliseconds(100);
// How long a refused client may go on sending while it reads the reply.
constexpr auto lingerTime = seconds(1);

void addressOf(int socket, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(socket, raw, &length) : getsockname(socket, raw, &length)) != 0)
        return;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(raw, length, host, sizeof(host), service, sizeof(service),
                    NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

} // namespace

ConnectionStream::ConnectionStream(int socket, Timeouts timeouts, const std::atomic<int>& listener)
    : m_socket(socket)
    , m_timeouts(timeouts)
    , m_listener(listener) {}

bool ConnectionStream::wait(short events, Clock::time_point until) const {
    for (;;) {
        if (m_listener.load() == INVALID_SOCKET)
            return false;
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto ms = duration_cast<milliseconds>(std::min<Clock::duration>(left, slice)).count() + 1;
        pollfd fd{m_socket, events, 0};
        const int ready = ::poll(&fd, 1, int(ms));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool ConnectionStream::awaitRequest() {
    return buffered() > 0 || wait(POLLIN, Clock::now() + m_timeouts.idle);
}

void ConnectionStream::beginRequest(Clock::duration deadline, std::uint64_t headBytes) {
    m_deadline = Clock::now() + deadline;
    m_delivered = 0;
    m_allowance = headBytes;
    m_timedOut = false;
    m_overran = false;
}

void ConnectionStream::allowBody(std::uint64_t bodyBytes) {
    m_allowance = m_delivered + bodyBytes;
}

bool ConnectionStream::is_readable() const {
    if (buffered() > 0)
        return true;
    if (wait(POLLIN, std::min(Clock::now() + m_timeouts.read, m_deadline)))
        return true;
    m_timedOut = Clock::now() >= m_deadline;
    return false;
}

bool ConnectionStream::is_writable() const {
    return wait(POLLOUT, Clock::now() + m_timeouts.write);
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
    if (m_delivered >= m_allowance) {
        m_overran = true;
        return -1;
    }
    if (buffered() == 0) {
        if (!is_readable())
            return -1;
        ssize_t received;
        do
            received = ::recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        while (received < 0 && errno == EINTR);
        if (received <= 0)
            return received;
        m_begin = 0;
        m_end = size_t(received);
    }
    const auto count = size_t(std::min<std::uint64_t>({size, buffered(), m_allowance - m_delivered}));
    std::memcpy(ptr, m_buffer.data() + m_begin, count);
    m_begin += count;
    m_delivered += count;
    return ssize_t(count);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
    if (!is_writable())
        return -1;
    ssize_t sent;
    do
        sent = ::send(m_socket, ptr, size, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    addressOf(m_socket, true, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    addressOf(m_socket, false, ip, port);
}

void ConnectionStream::closeLingering() {
    // Closing with unread bytes would reset the connection, and the reply could be lost with it.
    ::shutdown(m_socket, SHUT_WR);
    const auto until = Clock::now() + lingerTime;
    std::array<char, 4096> discarded;
    while (wait(POLLIN, until)) {
        const ssize_t received = ::recv(m_socket, discarded.data(), discarded.size(), 0);
        if (received == 0 || (received < 0 && errno != EINTR))
            break;
    }
    close();
}

void ConnectionStream::close() {
    ::shutdown(m_socket, SHUT_RDWR);
    ::close(m_socket);
}

} // namespace lumora::devservice
