#pragma once

#include "core/conversations/AttachmentFiles.h"

#include <QSize>
#include <QString>

#include <QCoroTask>

#include <optional>

namespace lumora {

// Small pictures of received images, made once and kept on disk: the image is downloaded into the
// cache (where Open finds it later), then decoded at the size it is shown at, off the interface thread.
class AttachmentThumbnails {
public:
    // Only these, and only when an image plugin reads them; anything larger is offered as a file.
    static constexpr qint64 maxImageBytes = 16 * 1024 * 1024;
    static constexpr qint64 maxImagePixels = 64 * 1000 * 1000;

    // Whether `attachment` is an image this client draws as a thumbnail.
    static bool isPicture(const AttachmentMetaDTO& attachment);
    // "$XDG_CACHE_HOME/Lumora/thumbnails/ID-WxH.png" for a box of `box` device pixels.
    static QString thumbnailPath(const AttachmentMetaDTO& attachment, QSize box);
    // The image scaled to fit `box` (never enlarged); nothing for what cannot be decoded.
    static std::optional<QSize> fittedSize(QSize imageSize, QSize box);

    // The thumbnail's path, made first unless it is on disk; a failure for what is no image.
    static QCoro::Task<APIResult<QString>> thumbnail(AttachmentFiles* files, AttachmentMetaDTO attachment,
                                                     QSize box);
};

} // namespace lumora
