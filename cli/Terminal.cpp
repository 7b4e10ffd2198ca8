#include "Terminal.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace lumora::Terminal {

namespace {

// Turns terminal echo off for its lifetime, so a typed password never shows.
class EchoOff {
public:
    EchoOff() {
        m_active = tcgetattr(STDIN_FILENO, &m_saved) == 0;
        if (!m_active)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (m_active)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

} // namespace

std::optional<QString> readSecretLine(const QString& prompt) {
    const bool interactive = isatty(STDIN_FILENO);
    std::string line;
    bool gotLine = false;
    if (interactive) {
        std::fputs(prompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
        EchoOff echoOff;
        gotLine = bool(std::getline(std::cin, line));
        std::fputs("\n", stderr);
    } else {
        gotLine = bool(std::getline(std::cin, line));
    }
    if (!gotLine && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r') // a line ending written as CR LF
        line.pop_back();
    return QString::fromStdString(line);
}

namespace {

// Bidirectional embeddings, overrides and isolates, and the line and paragraph separators: they
// reorder or break what follows them on the line, so a sender could make text read otherwise.
bool reordersText(char16_t u) {
    return (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
}

} // namespace

QString inert(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\t' || (u >= 0x20 && u < 0x7f) || (u > 0x9f && !reordersText(u)))
            shown += c;
        else if (u < 0x20)
            shown += QChar(char16_t(0x2400 + u)); // the Control Pictures block
        else if (u == 0x7f)
            shown += QChar(char16_t(0x2421));
        else
            shown += QStringLiteral("<U+%1>").arg(QString::number(u, 16).toUpper().rightJustified(4, u'0'));
    }
    return shown;
}

void printExact(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout); // a following reader (chat --follow into a pipe) sees each line as it comes
}

void printOut(const QString& text) {
    printExact(inert(text));
}

void printError(const QString& text) {
    std::fputs((inert(text) + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

} // namespace lumora::Terminal
