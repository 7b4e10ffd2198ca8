#include "qml/design/LmMarks.h"

#include "qml/design/IdentityMarks.h"

#include <QLocale>
#include <QTextBoundaryFinder>

namespace lumora {

QString LmMarks::initials(const QString& name) {
    return lumora::initials(name);
}
QString LmMarks::emojiFlag(const QString& countryCode) {
    return lumora::emojiFlag(countryCode);
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
