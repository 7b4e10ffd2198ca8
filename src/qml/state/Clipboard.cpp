#include "qml/state/Clipboard.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

namespace lumora {

QUrl Clipboard::fileToAttach() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return {};
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
                return url;
        }
    }
    if (!data->hasImage())
        return {};
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return {};
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/Lumora/pasted/") +
                           QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkpath(folder))
        return {};
    QSaveFile file(folder + QStringLiteral("/pasted-image.png"));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        return {};
    return QUrl::fromLocalFile(file.fileName());
}

} // namespace lumora
