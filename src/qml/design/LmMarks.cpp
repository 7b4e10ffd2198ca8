#include "qml/design/LmMarks.h"

#include "qml/design/IdentityMarks.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace lumora {

QString LmMarks::initials(const QString& name) {
    return lumora::initials(name);
}
QString LmMarks::emojiFlag(const QString& countryCode) {
    return lumora::emojiFlag(countryCode);
}

QString LmMarks::timeOfDay(const QDateTime& instant) {
    if (!instant.isValid())
        return {};
    const QLocale locale;
    // Some locales' short format (the C locale's among them) carries seconds.
    static const QRegularExpression seconds(QStringLiteral("[.:]?s+"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(instant.toLocalTime().time(), format.trimmed());
}

int LmMarks::characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString LmMarks::number(qint64 value) {
    return QLocale().toString(value);
}

} // namespace lumora
