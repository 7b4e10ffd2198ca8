#include "Commands.h"

#include "Crypto.h"
#include "HttpError.h"
#include "Validation.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace lumora::devservice {

namespace {

// One line from stdin, without echo when a person types it.
std::optional<QString> readPassword() {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        std::fprintf(stderr, "Password: ");
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!read && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

void report(const HttpError& error) {
    std::fprintf(stderr, "lumora-devservice: %s\n", error.what());
}

} // namespace

int runAddUser(Store& store, const Options& options) {
    const auto password = readPassword();
    if (!password) {
        std::fprintf(stderr,
                     "lumora-devservice: add-user reads the password as one line on standard input\n");
        return 1;
    }
    if (const auto problem = passwordProblem(*password)) {
        std::fprintf(stderr, "lumora-devservice: %s\n", qPrintable(*problem));
        return 1;
    }
    const NewUser user{
        options.username, hashPassword(*password), options.displayName,       options.countryCode,
        options.role,     options.verified,        options.mustChangePassword};
    try {
        const QString id = store.addUser(user, currentInstant());
        std::printf("Added user %s (%s)\n", qPrintable(options.username), qPrintable(id));
        return 0;
    } catch (const HttpError& error) {
        report(error);
        return 1;
    }
}

int runAddConversation(Store& store, const Options& options) {
    try {
        // The id alone, so scripts can capture it.
        std::printf("%s\n",
                    qPrintable(store.addConversation(options.usernames, options.title, currentInstant())));
        return 0;
    } catch (const HttpError& error) {
        report(error);
        return 1;
    }
}

} // namespace lumora::devservice
