#include "Validation.h"

#include <algorithm>

namespace lumora::devservice {

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

qsizetype codePointCount(const QString& text) {
    qsizetype count = 0;
    for (QChar c : text)
        if (!c.isLowSurrogate())
            ++count;
    return count;
}

bool hasControlCharacters(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c < u'\x20' || (c >= u'\x7f' && c <= u'\x9f'); });
}

bool isValidUsername(const QString& username) {
    if (username.isEmpty() || username.size() > 32)
        return false;
    if (!isAsciiLetter(username.front()) && !isAsciiDigit(username.front()))
        return false;
    for (QChar c : username)
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'.' && c != u'_' && c != u'-')
            return false;
    return true;
}

std::optional<QString> passwordProblem(const QString& password) {
    if (codePointCount(password) < minPasswordLength)
        return QStringLiteral("The password must be at least %1 characters long").arg(minPasswordLength);
    return std::nullopt;
}

std::optional<QString> normalisedCountryCode(const QString& text) {
    if (text.isEmpty())
        return text;
    if (text.size() != 2 || !isAsciiLetter(text[0]) || !isAsciiLetter(text[1]))
        return std::nullopt;
    return text.toUpper();
}

bool isAcceptableAvatarUrl(const QString& url) {
    if (url.size() > 2048)
        return false;
    return url.startsWith(QLatin1String("https://")) || url.startsWith(QLatin1String("http://")) ||
           url.startsWith(QLatin1String("/media/"));
}

} // namespace lumora::devservice
