#pragma once

#include "core/api/APIClientError.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <expected>
#include <memory>

namespace lumora::MediaUpload {

// The part's content type, from the file name's extension (case-insensitive).
QString mimeType(const QString& fileName);

// "Boundary-" and a fresh random UUID in upper case: 45 characters.
QByteArray newBoundary();

// The file name as written into the part's Content-Disposition line. A quote or a line break
// written raw would end the header early, so they are percent-encoded as browsers do.
QByteArray dispositionFileName(const QString& fileName);

// The whole multipart body: part header, the file's bytes read from disk as they are sent, and the
// closing boundary. Seekable and of known size, so the request carries a Content-Length and a
// file of any size never has to fit in memory.
class MultipartBody final : public QIODevice {
public:
    // Opens the file for reading; fails with a `file` error holding the file system's own reason.
    static APIResult<std::unique_ptr<MultipartBody>> open(const QString& filePath,
                                                          const QByteArray& boundary);

    qint64 size() const override;
    bool isSequential() const override { return false; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    MultipartBody(const QString& filePath, QByteArray head, QByteArray tail);

    QFile m_file;
    qint64 m_fileSize = 0;
    QByteArray m_head;
    QByteArray m_tail;
};

} // namespace lumora::MediaUpload
