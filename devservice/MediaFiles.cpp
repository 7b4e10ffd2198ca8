#include "MediaFiles.h"

#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <strings.h>
#include <sys/stat.h>
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

MediaFiles::Incoming::Incoming(const MediaFiles& media, const QString& id)
    : m_temporary((media.directory() / ("." + id.toStdString() + ".part")).string())
    , m_target(media.pathOf(id).string()) {
    m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_fd < 0)
        failWith("Cannot create " + m_temporary);
}

MediaFiles::Incoming::~Incoming() {
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
    }
}

void MediaFiles::Incoming::append(std::string_view bytes) {
    if (m_fd < 0)
        throw std::logic_error("The file is already stored");
    writeAll(m_fd, bytes, m_temporary);
}

void MediaFiles::Incoming::commit() {
    if (m_fd < 0)
        throw std::logic_error("The file is already stored");
    if (::fsync(m_fd) != 0)
        failWith("Cannot flush " + m_temporary);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        failWith("Cannot store " + m_target); // the destructor removes the temporary file
    ::close(m_fd);
    m_fd = -1;
}

MediaFiles::Reader::~Reader() {
    ::close(m_fd);
}

std::int64_t MediaFiles::Reader::readAt(std::uint64_t offset, char* buffer, size_t length) const {
    for (;;) {
        const ssize_t n = ::pread(m_fd, buffer, length, off_t(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

void MediaFiles::write(const QString& id, std::string_view bytes) const {
    Incoming file(*this, id);
    file.append(bytes);
    file.commit();
}

std::shared_ptr<const MediaFiles::Reader> MediaFiles::open(const QString& id) const {
    const std::string path = pathOf(id).string();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<const Reader>(fd, std::uint64_t(status.st_size));
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

std::string attachmentDisposition(const QString& fileName) {
    std::string fallback;
    for (const char32_t c : fileName.toUcs4()) {
        // '%' too: some clients percent-decode filename, which would turn "%22" back into a quote.
        const bool plain = c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '%';
        fallback += plain ? char(c) : '_';
    }
    // RFC 5987 attr-char; every other byte of the UTF-8 is written as %XX.
    static const std::string_view attrChars = "!#$&+-.^_`|~";
    std::string encoded;
    for (const char byte : fileName.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            attrChars.find(char(c)) != std::string_view::npos) {
            encoded += char(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            encoded += {'%', hex[c >> 4], hex[c & 0xf]};
        }
    }
    return "attachment; filename=\"" + fallback + "\"; filename*=UTF-8''" + encoded;
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
