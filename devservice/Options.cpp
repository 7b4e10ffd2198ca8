#include "Options.h"

#include "Validation.h"

#include <charconv>
#include <string_view>
#include <vector>

namespace lumora::devservice {

const char* const usageText = R"(Usage:
  lumora-devservice [OPTIONS]
  lumora-devservice [--db PATH] add-user USERNAME [--display-name NAME] [--country-code CC]
                    [--admin] [--verified] [--must-change-password]   (password: one line on stdin)
  lumora-devservice [--db PATH] add-conversation USERNAME USERNAME... [--title TITLE]

The Lumora reference messaging service, for demos and end-to-end tests.

Options:
  --host HOST               address to listen on (default 127.0.0.1)
  --port N                  port to listen on, 0 for any free one (default 3001)
  --db PATH                 SQLite database, or :memory: (default
                            $XDG_DATA_HOME/lumora-devservice/lumora.db)
  --media-dir PATH          where uploaded files go (default: media/ beside the database)
  --max-upload-bytes N      largest accepted upload (default 26214400, 25 MiB)
  --request-deadline-seconds N
                            time a request's line, headers and body have to arrive in,
                            from its first byte (default 60)
  --envelope                wrap every successful reply but the upload's as {"data": ...}
  --seed                    add demo accounts and conversations to an empty database
  --quiet                   do not log requests
  --help                    show this text
)";

namespace {

using Error = std::unexpected<std::string>;

template <class T> bool parseNumber(std::string_view text, T& out, T min, T max) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return false;
    out = value;
    return true;
}

class Parser {
public:
    explicit Parser(std::vector<std::string_view> args)
        : m_args(std::move(args)) {}

    std::expected<Options, std::string> run();

private:
    bool take(std::string_view& out); // the next argument, as an option's value
    std::string commandName() const {
        return m_options.command == Options::Command::addUser ? "add-user" : "add-conversation";
    }
    std::optional<std::string> sharedOption(std::string_view arg, bool& handled);
    std::optional<std::string> serviceOption(std::string_view arg, bool& handled);
    std::optional<std::string> commandOption(std::string_view arg, bool& handled);

    std::vector<std::string_view> m_args;
    size_t m_next = 0;
    Options m_options;
};

bool Parser::take(std::string_view& out) {
    if (m_next >= m_args.size())
        return false;
    out = m_args[m_next++];
    return true;
}

std::string needsValue(std::string_view option) {
    return std::string(option) + " needs a value";
}

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::optional<std::string> Parser::sharedOption(std::string_view arg, bool& handled) {
    handled = true;
    if (arg == "--db") {
        std::string_view path;
        if (!take(path))
            return needsValue(arg);
        m_options.database = std::string(path);
    } else if (arg == "--quiet") {
        m_options.quiet = true;
    } else {
        handled = false;
    }
    return std::nullopt;
}

std::optional<std::string> Parser::serviceOption(std::string_view arg, bool& handled) {
    handled = true;
    if (arg == "--host") {
        std::string_view host;
        if (!take(host))
            return needsValue(arg);
        m_options.host = std::string(host);
    } else if (arg == "--port") {
        std::string_view port;
        if (!take(port))
            return needsValue(arg);
        if (!parseNumber(port, m_options.port, 0, 65535))
            return "--port needs a number from 0 to 65535";
    } else if (arg == "--media-dir") {
        std::string_view path;
        if (!take(path))
            return needsValue(arg);
        m_options.mediaDirectory = std::string(path);
    } else if (arg == "--max-upload-bytes") {
        std::string_view limit;
        if (!take(limit))
            return needsValue(arg);
        if (!parseNumber<std::int64_t>(limit, m_options.maxUploadBytes, 1, std::int64_t{1} << 32))
            return "--max-upload-bytes needs a positive number of bytes, at most 4 GiB";
    } else if (arg == "--request-deadline-seconds") {
        std::string_view seconds;
        if (!take(seconds))
            return needsValue(arg);
        if (!parseNumber(seconds, m_options.requestDeadlineSeconds, 1, 3600))
            return "--request-deadline-seconds needs a number from 1 to 3600";
    } else if (arg == "--envelope") {
        m_options.envelope = true;
    } else if (arg == "--seed") {
        m_options.seed = true;
    } else {
        handled = false;
    }
    return std::nullopt;
}

std::optional<std::string> Parser::commandOption(std::string_view arg, bool& handled) {
    handled = true;
    const bool addUser = m_options.command == Options::Command::addUser;
    if (addUser && arg == "--display-name") {
        std::string_view name;
        if (!take(name))
            return needsValue(arg);
        m_options.displayName = toQString(name);
        if (hasControlCharacters(*m_options.displayName))
            return "--display-name must not contain control characters";
    } else if (addUser && arg == "--country-code") {
        std::string_view code;
        if (!take(code))
            return needsValue(arg);
        m_options.countryCode = normalisedCountryCode(toQString(code));
        if (!m_options.countryCode || m_options.countryCode->isEmpty())
            return "--country-code needs two letters, such as EG";
    } else if (addUser && arg == "--admin") {
        m_options.role = UserRole::admin;
    } else if (addUser && arg == "--verified") {
        m_options.verified = true;
    } else if (addUser && arg == "--must-change-password") {
        m_options.mustChangePassword = true;
    } else if (!addUser && arg == "--title") {
        std::string_view title;
        if (!take(title))
            return needsValue(arg);
        m_options.title = toQString(title);
        if (hasControlCharacters(*m_options.title))
            return "--title must not contain control characters";
    } else {
        handled = false;
    }
    return std::nullopt;
}

std::expected<Options, std::string> Parser::run() {
    using Command = Options::Command;
    while (m_next < m_args.size()) {
        const std::string_view arg = m_args[m_next++];
        const bool serving = m_options.command == Command::serve;
        bool handled = false;
        if (arg == "--help" || arg == "-h") {
            m_options.command = Command::help;
            return m_options;
        }
        if (auto error = sharedOption(arg, handled))
            return Error(*error);
        if (!handled && serving)
            if (auto error = serviceOption(arg, handled))
                return Error(*error);
        if (!handled && !serving)
            if (auto error = commandOption(arg, handled))
                return Error(*error);
        if (handled)
            continue;
        if (arg.starts_with("-"))
            return Error("Unknown option " + std::string(arg) + (serving ? "" : " for " + commandName()));
        if (serving && arg == "add-user")
            m_options.command = Command::addUser;
        else if (serving && arg == "add-conversation")
            m_options.command = Command::addConversation;
        else if (m_options.command == Command::addUser && m_options.username.isEmpty())
            m_options.username = toQString(arg);
        else if (m_options.command == Command::addConversation)
            m_options.usernames.append(toQString(arg));
        else
            return Error("Unexpected argument " + std::string(arg));
    }

    if (m_options.command == Command::addUser && !isValidUsername(m_options.username))
        return Error("add-user needs a USERNAME of 1 to 32 letters, digits, '.', '_' or '-'");
    if (m_options.command == Command::addConversation && m_options.usernames.size() < 2)
        return Error("add-conversation needs at least two usernames");
    return m_options;
}

} // namespace

std::expected<Options, std::string> parseOptions(int argc, const char* const* argv) {
    std::vector<std::string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return Parser(std::move(args)).run();
}

} // namespace lumora::devservice
