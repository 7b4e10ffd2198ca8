#include "APIConfig.h"

#include "prefs/PreferenceStore.h"

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

} // namespace lumora::APIConfig
