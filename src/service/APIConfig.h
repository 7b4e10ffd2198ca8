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

} // namespace APIConfig

} // namespace lumora
