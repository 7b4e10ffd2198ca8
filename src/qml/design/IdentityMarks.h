#pragma once

#include <QString>

namespace lumora {

// Up to two initials from the first two space-separated words, upper-cased with the full Unicode
// mapping (ß becomes SS); "?" when the name has no word.
QString initials(const QString& name);

// The regional-indicator pair for a two-letter country code; the white flag for anything else.
QString emojiFlag(const QString& countryCode);

} // namespace lumora
