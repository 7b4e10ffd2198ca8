#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <expected>
#include <optional>

namespace lumora {

// The one error that reaches models and screens, from the service, the network, a file, the secret
// store or the end of a session. Its kind tells an expired session from an outage; `text()` is what
// the user sees, in the language in use when it is asked for.
class APIClientError {
    Q_GADGET

public:
    enum class Kind {
        Http,         // a failing status, with the service's message when it sent one
        Decoding,     // a reply the client could not read
        Transport,    // no usable HTTP exchange: refused, timed out, TLS, not HTTP
        InvalidURL,   // the base URL cannot carry the request
        Unauthorized, // no token held, or the service answered 401
        EmptyBody,    // a reply without the record it should carry
        File,         // a file chosen for upload could not be read
        Redirected,   // the service pointed elsewhere; the address it named is the message
        Insecure,     // credentials would go over plain HTTP beyond this machine; the host is the message
        OtherService, // the token was issued by another service address than the one in use
        TooLarge,     // the reply passed the size a reply may have
        SecretStore,  // the operating system's secret store refused; its own description is the message
        // Why a session ended or was not restored, as the sign-in screen says it:
        SessionExpired, // the service stopped taking the token while the user was signed in
        AddressChanged, // the service address was changed to another origin while signed in
        SavedForOther,  // the stored session belongs to another origin (the message) than the one in use
    };
    Q_ENUM(Kind)

    static APIClientError http(int status, std::optional<QString> message);
    static APIClientError decoding(QString description);
    static APIClientError transport(QString description); // the network stack's own words
    // A transport failure the client itself names: the catalogue text `key` with `argument`, made
    // when shown, so it follows the language in use then.
    static APIClientError transportKey(const char* key, std::optional<QString> argument = std::nullopt);
    static APIClientError invalidURL();
    static APIClientError unauthorized();
    static APIClientError emptyBody();
    // A file that could not be read (the default), or written, or would be overwritten: the catalogue
    // text `key` with the file system's description or the file's name.
    static APIClientError file(QString description, const char* key = "error.fileUnreadable");
    static APIClientError redirected(QString target);
    static APIClientError insecure(QString host);
    static APIClientError otherService();
    static APIClientError tooLarge(qint64 limitBytes);
    static APIClientError secretStore(QString description);
    static APIClientError sessionExpired();
    static APIClientError addressChanged();
    static APIClientError savedForOther(QString savedOrigin, QString currentOrigin);

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
    QString m_currentOrigin;          // SavedForOther only
    QByteArray m_textKey;             // Transport and File: the catalogue's text, when the client names it
};

template <class T> using APIResult = std::expected<T, APIClientError>;

} // namespace lumora
