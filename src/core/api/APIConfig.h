#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace lumora {

// Where requests go. Nothing is cached: every request resolves the base URL afresh, so a changed
// preference applies to the next request.
namespace APIConfig {

inline constexpr auto environmentVariable = "LUMORA_API_BASE_URL";
inline constexpr auto preferenceKey = "apiBaseURL";
// Set to 1 to let credentials go over plain HTTP to hosts beyond this machine (a development LAN).
inline constexpr auto insecureHttpVariable = "LUMORA_ALLOW_INSECURE_HTTP";

QUrl defaultBaseURL();    // the development service on this machine
QUrl productionBaseURL(); // the hosted service

// The environment variable, else the preference, else production; empty or unparsable values are skipped.
QUrl baseURL();

// Stores the text unchanged as the preference.
void setBaseURL(const QString& text);

// The base URL with its path (slashes trimmed) followed by the endpoint path. Empty when the base
// cannot be taken apart or the result is not a valid URL.
std::optional<QUrl> requestURL(const QUrl& base, const QString& endpointPath);

// The base URL with its path replaced by `path` (the upload drops any base path).
std::optional<QUrl> replacingPath(const QUrl& base, const QString& path);

// "scheme://host:port" with the scheme's default port filled in; two URLs of one origin may share
// credentials, no others may.
QString originOf(const QUrl& url);

// 127.0.0.0/8, ::1 or "localhost".
bool isLoopback(const QUrl& url);
// A status that names another address in Location (301, 302, 303, 307, 308).
bool isRedirect(int status);

// Whether a password or token may be sent to `url`: anything but plain HTTP, which is allowed to
// this machine only (or anywhere when the insecure-HTTP variable is 1).
bool carriesCredentialsSafely(const QUrl& url);

} // namespace APIConfig

} // namespace lumora
