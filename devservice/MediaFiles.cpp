#include "MediaFiles.h"

#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <strings.h>
#include <unistd.h>

namespace lumora::devservice {

namespace {

[[noreturn]] void failWith(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failWith("Cannot write " + path);
        bytes.remove_prefix(size_t(n));
    }
}

} // namespace

MediaFiles::MediaFiles(std::filesystem::path directory)
    : m_directory(std::move(directory)) {
    std::filesystem::create_directories(m_directory);
}

std::filesystem::path MediaFiles::pathOf(const QString& id) const {
    if (!isMediaId(id))
        throw std::invalid_argument("Not a media id");
    return m_directory / id.toStdString();
}

void MediaFiles::write(const QString& id, std::string_view bytes) const {
    const std::string target = pathOf(id).string();
    const std::string temporary = (m_directory / ("." + id.toStdString() + ".part")).string();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        failWith("Cannot create " + temporary);
    try {
        writeAll(fd, bytes, temporary);
        if (::fsync(fd) != 0)
            failWith("Cannot flush " + temporary);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    ::close(fd);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        failWith("Cannot store " + target);
    }
}

std::optional<std::string> MediaFiles::read(const QString& id) const {
    std::ifstream in(pathOf(id), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MediaFiles::remove(const QString& id) const {
    std::error_code ignored;
    std::filesystem::remove(pathOf(id), ignored);
}

QString decodeDispositionFileName(const std::string& raw) {
    static const std::pair<const char*, char> escapes[] = {{"%22", '"'}, {"%0D", '\r'}, {"%0A", '\n'}};
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char* decoded = nullptr;
        for (const auto& [escape, c] : escapes)
            if (raw.size() - i >= 3 && strncasecmp(raw.data() + i, escape, 3) == 0)
                decoded = &c;
        if (decoded) {
            out += *decoded;
            i += 2;
        } else {
            out += raw[i];
        }
    }
    return QString::fromUtf8(out.data(), qsizetype(out.size()));
}

QString servableMimeType(const std::string& declared) {
    static const char* const servable[] = {"image/jpeg", "image/png",       "image/gif",
                                           "image/webp", "application/pdf", "text/plain",
                                           "audio/mpeg", "audio/mp4",       "video/mp4"};
    QString type = QString::fromUtf8(declared.data(), qsizetype(declared.size()));
    type = type.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    for (const char* candidate : servable)
        if (type == QLatin1String(candidate))
            return type;
    return QStringLiteral("application/octet-stream");
}

bool isMediaId(const QString& text) {
    if (text.size() != 32)
        return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

std::optional<QString> mediaIdFromUrl(const QString& url) {
    const QString path = QUrl(url, QUrl::StrictMode).path();
    const QString prefix = QStringLiteral("/media/");
    if (!path.startsWith(prefix))
        return std::nullopt;
    const QString id = path.mid(prefix.size());
    return isMediaId(id) ? std::optional<QString>(id) : std::nullopt;
}

} // namespace lumora::devservice
