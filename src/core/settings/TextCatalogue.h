#pragma once

#include <QLocale>
#include <QString>

namespace lumora {

// The text of a catalogue key in the language in use (English until one is chosen); a key without
// an entry shows as itself.
QString catalogueText(const char* key);
// The plural form of `key` for `n`, with `n` in place of %n.
QString catalogueText(const char* key, int n);

// The English and Arabic tables compiled into the program. One of them is installed at a time,
// so every lookup, in C++ (qtTrId) and in QML (qsTrId), follows the same language.
namespace TextCatalogue {

// Installs the table for `locale`: Arabic for Arabic, English for every other language.
void use(const QLocale& locale);

// The language code of the table in use ("en" or "ar"); empty before the first `use`.
QString languageInUse();

} // namespace TextCatalogue

} // namespace lumora
