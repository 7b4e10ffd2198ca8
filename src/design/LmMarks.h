#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// The identity-mark rules, for the avatar and flag components.
class LmMarks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static QString initials(const QString& name);
    Q_INVOKABLE static QString emojiFlag(const QString& countryCode);
};

} // namespace lumora
