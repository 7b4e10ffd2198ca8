#include "core/api/MediaUpload.h"

#include "core/settings/TextCatalogue.h"

#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cstring>

namespace lumora::MediaUpload {

QString mimeType(const QString& fileName) {
    static const std::pair<const char*, const char*> table[] = {
        {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"},     {"png", "image/png"},  {"gif", "image/gif"},
        {"webp", "image/webp"}, {"pdf", "application/pdf"}, {"txt", "text/plain"}, {"mp3", "audio/mpeg"},
        {"m4a", "audio/mp4"},   {"mp4", "video/mp4"},
    };
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const QString extension = fileName.mid(dot + 1).toLower();
        for (const auto& [ext, type] : table)
            if (extension == QLatin1String(ext))
                return QString::fromLatin1(type);
    }
    return QStringLiteral("application/octet-stream");
}

QByteArray newBoundary() {
    return QByteArrayLiteral("Boundary-") + QUuid::createUuid().toByteArray(QUuid::WithoutBraces).toUpper();
}

QByteArray dispositionFileName(const QString& fileName) {
    QByteArray out;
    for (const char c : fileName.toUtf8()) {
        switch (c) {
        case '"':
            out += "%22";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out += c;
        }
    }
    return out;
}

APIResult<std::unique_ptr<MultipartBody>> MultipartBody::open(const QString& filePath,
                                                              const QByteArray& boundary) {
    const QString name = QFileInfo(filePath).fileName();
    QByteArray head = "--" + boundary + "\r\n";
    head +=
        "Content-Disposition: form-data; name=\"file\"; filename=\"" + dispositionFileName(name) + "\"\r\n";
    head += "Content-Type: " + mimeType(name).toUtf8() + "\r\n\r\n";
    const QByteArray tail = "\r\n--" + boundary + "--\r\n";

    std::unique_ptr<MultipartBody> body(new MultipartBody(filePath, head, tail));
    if (QFileInfo(filePath).isDir())
        return std::unexpected(APIClientError::file(catalogueText("error.isDirectory").arg(name)));
    if (!body->m_file.open(QIODevice::ReadOnly))
        return std::unexpected(APIClientError::file(body->m_file.errorString()));
    body->m_fileSize = body->m_file.size();
    body->QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return body;
}

MultipartBody::MultipartBody(const QString& filePath, QByteArray head, QByteArray tail)
    : m_file(filePath)
    , m_head(std::move(head))
    , m_tail(std::move(tail)) {}

qint64 MultipartBody::size() const {
    return m_head.size() + m_fileSize + m_tail.size();
}

qint64 MultipartBody::readData(char* data, qint64 maxSize) {
    qint64 pos = this->pos();
    qint64 written = 0;
    auto copy = [&](const QByteArray& bytes, qint64 offset) {
        const qint64 n = std::min<qint64>(bytes.size() - offset, maxSize - written);
        std::memcpy(data + written, bytes.constData() + offset, size_t(n));
        written += n;
        pos += n;
    };
    if (pos < m_head.size())
        copy(m_head, pos);
    const qint64 fileEnd = m_head.size() + m_fileSize;
    if (written < maxSize && pos < fileEnd) {
        if (!m_file.seek(pos - m_head.size()))
            return -1;
        const qint64 n = m_file.read(data + written, std::min(maxSize - written, fileEnd - pos));
        if (n <= 0) // the file shrank or failed while being sent: abort rather than send a short body
            return -1;
        written += n;
        pos += n;
    }
    if (written < maxSize && pos >= fileEnd && pos < size())
        copy(m_tail, pos - fileEnd);
    return written;
}

} // namespace lumora::MediaUpload
