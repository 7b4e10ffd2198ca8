#pragma once

#include <QDateTime>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// The identity-mark rules and the locale-dependent short texts the screens show.
class LmMarks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static QString initials(const QString& name);
    Q_INVOKABLE static QString emojiFlag(const QString& countryCode);
    // A count in the interface's locale's digits.
    Q_INVOKABLE static QString number(qint64 value);
    // Characters as a person counts them (an emoji or an accented letter is one).
    Q_INVOKABLE static int characterCount(const QString& text);
};

} // namespace lumora
