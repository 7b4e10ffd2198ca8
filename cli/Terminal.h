#pragma once

#include <QString>

#include <optional>

namespace lumora::Terminal {

// One line of standard input exactly as typed, without its line ending. When standard input is a
// terminal, `prompt` goes to standard error and the typed text is not echoed. Empty at end of input.
std::optional<QString> readSecretLine(const QString& prompt);

void printOut(const QString& text);   // a line on standard output
void printError(const QString& text); // a line on standard error

} // namespace lumora::Terminal
