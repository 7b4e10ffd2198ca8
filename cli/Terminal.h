#pragma once

#include <QString>

#include <optional>

namespace lumora::Terminal {

// One line of standard input exactly as typed, without its line ending. When standard input is a
// terminal, `prompt` goes to standard error and the typed text is not echoed. Empty at end of input.
std::optional<QString> readSecretLine(const QString& prompt);

// `text` with every control character but line feed and tab shown as a visible placeholder
// (ESC as U+241B "␛", C1 characters as "<U+009B>"), so text from the network cannot drive the
// terminal: clear it, retitle the window or write the clipboard.
QString inert(const QString& text);

void printOut(const QString& text);   // a line on standard output, made inert
void printError(const QString& text); // a line on standard error, made inert
void printExact(const QString& text); // a line on standard output as it is (JSON, which escapes)

} // namespace lumora::Terminal
