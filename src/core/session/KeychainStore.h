#pragma once

#include <QString>

#include <QCoroTask>

#include <expected>
#include <optional>

namespace lumora {

// A failed save in the operating system's secret store, with the store's own code and message.
struct KeychainError {
    int code = 0;
    QString message;

    QString text() const; // what the sign-in screen shows
};

// The two session tokens in the operating system's secret store (Secret Service, Keychain or
// Credential Manager), never anywhere else: there is no plaintext fallback. Every call goes to the
// store; nothing is cached.
namespace KeychainStore {

inline constexpr auto serviceName = "org.lumora.app";
inline constexpr auto accessTokenAccount = "accessToken";
inline constexpr auto refreshTokenAccount = "refreshToken";
// The origin of the service that issued the tokens ("https://host:443"), so they go to no other.
inline constexpr auto tokenOriginAccount = "tokenOrigin";

// Replaces any stored item (delete, then add). A failed save leaves no token under that account.
QCoro::Task<std::expected<void, KeychainError>> saveAccessToken(QString token);
QCoro::Task<std::expected<void, KeychainError>> saveRefreshToken(QString token);
QCoro::Task<std::expected<void, KeychainError>> saveTokenOrigin(QString origin);

// Absent when nothing is stored or the store cannot be read.
QCoro::Task<std::optional<QString>> loadAccessToken();
QCoro::Task<std::optional<QString>> loadRefreshToken();
QCoro::Task<std::optional<QString>> loadTokenOrigin();

// Removes both tokens and their origin; a missing item is not an error.
QCoro::Task<> clearTokens();

} // namespace KeychainStore

} // namespace lumora
