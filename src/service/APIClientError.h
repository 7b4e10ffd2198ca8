#pragma once

#include <QString>

#include <expected>
#include <optional>

namespace lumora {

// The one error that reaches the screens from the service layer. `text()` is what the user sees.
class APIClientError {
public:
    enum class Kind {
        http,         // a failing status, with the service's message when it sent one
        decoding,     // a reply the client could not read
        transport,    // no usable HTTP exchange: refused, timed out, TLS, not HTTP
        invalidURL,   // the base URL cannot carry the request
        unauthorized, // no token held, or the service answered 401
        emptyBody,    // a reply without the record it should carry
        file,         // a file chosen for upload could not be read
        redirected,   // the service pointed elsewhere; the address it named is the message
        insecure,     // credentials would go over plain HTTP beyond this machine; the host is the message
        otherService, // the token was issued by another service address than the one in use
        tooLarge,     // the reply passed the size a reply may have
    };

    static APIClientError http(int status, std::optional<QString> message);
    static APIClientError decoding(QString description);
    static APIClientError transport(QString description);
    static APIClientError invalidURL();
    static APIClientError unauthorized();
    static APIClientError emptyBody();
    static APIClientError file(QString description);
    static APIClientError redirected(QString target);
    static APIClientError insecure(QString host);
    static APIClientError otherService();
    static APIClientError tooLarge(qint64 limitBytes);

    Kind kind() const { return m_kind; }
    int status() const { return m_status; } // 0 unless `http`
    const std::optional<QString>& message() const { return m_message; }

    QString text() const;

    bool operator==(const APIClientError&) const = default;

private:
    APIClientError(Kind kind, int status, std::optional<QString> message)
        : m_kind(kind)
        , m_status(status)
        , m_message(std::move(message)) {}

    Kind m_kind;
    int m_status = 0;
    std::optional<QString> m_message; // the status message, or the underlying error's description
};

template <class T> using APIResult = std::expected<T, APIClientError>;

} // namespace lumora
