#include "qml/design/IdentityMarks.h"

#include <QStringList>
#include <QTextBoundaryFinder>

namespace lumora {

namespace {
// The first user-perceived character, so a flag emoji or an accented letter stays whole.
QString firstGrapheme(const QString& word) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    const qsizetype end = finder.toNextBoundary();
    return end > 0 ? word.left(end) : word;
}
} // namespace

QString initials(const QString& name) {
    // Only U+0020 separates words: a tab or line break stays inside a word.
    const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString result;
    for (qsizetype i = 0; i < words.size() && i < 2; ++i)
        result += firstGrapheme(words[i]);
    return result.isEmpty() ? QStringLiteral("?") : result.toUpper();
}

QString emojiFlag(const QString& countryCode) {
    QList<char32_t> letters;
    for (char32_t scalar : countryCode.toUpper().toUcs4())
        if (QChar::isLetter(scalar))
            letters.append(scalar);
    if (letters.size() != 2)
        return QStringLiteral("\U0001F3F3\uFE0F");
    QString flag;
    for (char32_t letter : letters) {
        const char32_t shifted = letter + 127397;
        // Letters far up the code space would land outside Unicode; those are dropped.
        if (shifted <= 0x10FFFF && (shifted < 0xD800 || shifted > 0xDFFF))
            flag += QString::fromUcs4(&shifted, 1);
    }
    return flag;
}

} // namespace lumora
