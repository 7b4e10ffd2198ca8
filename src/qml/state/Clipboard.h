#pragma once

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// What a paste into the composer attaches: a file copied in a file manager, or a copied image, saved as
// "pasted-image.png" in a folder of its own in the cache (written under a temporary name, renamed when
// complete), so a later paste never replaces the file of an earlier one.
class Clipboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // The local file the clipboard holds, or its image saved as above; empty for anything else (text).
    Q_INVOKABLE QUrl fileToAttach() const;
};

} // namespace lumora
