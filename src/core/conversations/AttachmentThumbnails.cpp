#include "core/conversations/AttachmentThumbnails.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace lumora {

namespace {

// Reads `source` straight at the thumbnail's size (JPEG decodes at a fraction of its size; the other
// formats are scaled line by line by the reader) and writes it whole or not at all. An empty text is
// success; otherwise the reader's or the file system's words.
QString makeThumbnail(const QString& source, const QString& target, QSize box) {
    QImageReader reader(source);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(int(AttachmentThumbnails::maxImagePixels * 4 / (1024 * 1024)));
    QSize size = reader.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    const std::optional<QSize> fitted = AttachmentThumbnails::fittedSize(size, box);
    if (!fitted || qint64(size.width()) * size.height() > AttachmentThumbnails::maxImagePixels)
        return reader.errorString();
    // The reader scales before it rotates.
    reader.setScaledSize(
        reader.transformation() & QImageIOHandler::TransformationRotate90 ? fitted->transposed() : *fitted);
    const QImage image = reader.read();
    if (image.isNull())
        return reader.errorString();
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        return file.errorString();
    return {};
}

} // namespace

bool AttachmentThumbnails::isPicture(const AttachmentMetaDTO& attachment) {
    static const QList<QByteArray> types{"image/png", "image/jpeg", "image/gif", "image/webp"};
    const QByteArray type = attachment.mimeType.toLatin1().toLower();
    return types.contains(type) && QImageReader::supportedMimeTypes().contains(type) &&
           attachment.sizeBytes <= maxImageBytes;
}

QString AttachmentThumbnails::thumbnailPath(const AttachmentMetaDTO& attachment, QSize box) {
    // The media file's cache folder names it safely: its id, or a digest of its URL.
    const QString id = QFileInfo(QFileInfo(AttachmentFiles::cachePath(attachment)).absolutePath()).fileName();
    return QFileInfo(AttachmentFiles::cacheFolder()).absolutePath() +
           QStringLiteral("/thumbnails/%1-%2x%3.png").arg(id).arg(box.width()).arg(box.height());
}

std::optional<QSize> AttachmentThumbnails::fittedSize(QSize imageSize, QSize box) {
    if (imageSize.isEmpty() || box.isEmpty())
        return std::nullopt;
    if (imageSize.width() <= box.width() && imageSize.height() <= box.height())
        return imageSize;
    QSize fitted = imageSize.scaled(box, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

QCoro::Task<APIResult<QString>> AttachmentThumbnails::thumbnail(AttachmentFiles* files,
                                                                AttachmentMetaDTO attachment, QSize box) {
    const QString target = thumbnailPath(attachment, box);
    if (AttachmentFiles::markUsed(target))
        co_return target;

    if (!isPicture(attachment))
        co_return std::unexpected(APIClientError::file(attachment.mimeType, "error.notAPicture"));
    auto fetching = files->openable(attachment);
    const APIResult<QString> source = co_await fetching;
    if (!source)
        co_return source;
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        co_return std::unexpected(
            APIClientError::file(QFileInfo(target).absolutePath(), "error.fileUnwritable"));
    QFuture<QString> making = QtConcurrent::run(makeThumbnail, *source, target, box);
    const QString failure = co_await making;
    if (!failure.isEmpty())
        co_return std::unexpected(APIClientError::file(failure, "error.notAPicture"));
    co_return target;
}

} // namespace lumora
