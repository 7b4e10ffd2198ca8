#include "core/api/APIConfig.h"

#include "core/settings/PreferenceStore.h"

#include <QHostAddress>

namespace lumora::APIConfig {

namespace {

std::optional<QUrl> parsed(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QUrl> withPath(const QUrl& base, const QString& path) {
    if (!base.isValid())
        return std::nullopt;
    QUrl url = base;
    url.setPath(path, QUrl::DecodedMode); // percent-encodes what a path may not carry
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace

QUrl defaultBaseURL() {
    return QUrl(QStringLiteral("http://127.0.0.1:3001"));
}

QUrl productionBaseURL() {
    return QUrl(QStringLiteral("https://api.lumora.app"));
}

QUrl baseURL() {
    if (auto url = parsed(qEnvironmentVariable(environmentVariable)))
        return *url;
    if (auto url = parsed(PreferenceStore::value(QString::fromLatin1(preferenceKey)).toString()))
        return *url;
    return productionBaseURL();
}

void setBaseURL(const QString& text) {
    PreferenceStore::setValue(QString::fromLatin1(preferenceKey), text);
}

std::optional<QUrl> requestURL(const QUrl& base, const QString& endpointPath) {
    QString basePath = base.path(QUrl::FullyDecoded);
    while (basePath.startsWith(QLatin1Char('/')))
        basePath.remove(0, 1);
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    const QString path =
        endpointPath.startsWith(QLatin1Char('/')) ? endpointPath : QLatin1Char('/') + endpointPath;
    return withPath(base, basePath.isEmpty() ? path : QLatin1Char('/') + basePath + path);
}

std::optional<QUrl> replacingPath(const QUrl& base, const QString& path) {
    return withPath(base, path);
}

QString originOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    const int port = url.port(scheme == QLatin1String("https")  ? 443
                              : scheme == QLatin1String("http") ? 80
                                                                : -1);
    return QStringLiteral("%1://%2:%3").arg(scheme, url.host(QUrl::FullyEncoded).toLower()).arg(port);
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isLoopback(const QUrl& url) {
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool carriesCredentialsSafely(const QUrl& url) {
    // Schemes other than HTTP carry nothing: the network layer refuses them with its own error.
    if (url.scheme().toLower() != QLatin1String("http"))
        return true;
    return isLoopback(url) || qEnvironmentVariable(insecureHttpVariable) == QLatin1String("1");
}

} // namespace lumora::APIConfig
