#include "LmMarks.h"

#include "IdentityMarks.h"

namespace lumora {

QString LmMarks::initials(const QString& name) {
    return lumora::initials(name);
}
QString LmMarks::emojiFlag(const QString& countryCode) {
    return lumora::emojiFlag(countryCode);
}

} // namespace lumora
