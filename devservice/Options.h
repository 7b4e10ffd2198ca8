#pragma once

#include "wire/WireRecords.h"

#include <QStringList>

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

namespace lumora::devservice {

struct Options {
    enum class Command { serve, addUser, addConversation, help };
    Command command = Command::serve;

    // Shared by every command.
    std::optional<std::string> database;
    bool quiet = false;

    // The service.
    std::string host = "127.0.0.1";
    int port = 3001;
    std::optional<std::string> mediaDirectory;
    std::int64_t maxUploadBytes = 25 * 1024 * 1024;
    int requestDeadlineSeconds = 60;
    bool envelope = false;
    bool seed = false;

    // add-user
    QString username;
    std::optional<QString> displayName;
    std::optional<QString> countryCode;
    UserRole role = UserRole::user;
    bool verified = false;
    bool mustChangePassword = false;

    // add-conversation
    QStringList usernames;
    std::optional<QString> title;
};

// The options, or what is wrong with the command line.
std::expected<Options, std::string> parseOptions(int argc, const char* const* argv);

extern const char* const usageText;

} // namespace lumora::devservice
