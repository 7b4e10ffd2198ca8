#pragma once

#include "core/api/APIClientError.h"

#include <QString>

#include <QCoroTask>

#include <optional>

namespace lumora {

// The two session tokens in the operating system's secret store (Secret Service, Keychain or
// Credential Manager), never anywhere else: there is no plaintext fallback. Every call goes to the
// store; nothing is cached.
namespace KeychainStore {

inline constexpr auto serviceName = "org.lumora.app";
inline constexpr auto accessTokenAccount = "accessToken";
inline constexpr auto refreshTokenAccount = "refreshToken";
// The origin of the service that issued the tokens ("https://host:443"), so they go to no other.
inline constexpr auto tokenOriginAccount = "tokenOrigin";

// Replaces any stored item (delete, then add). A failed save leaves no token under that account and
// answers a `SecretStore` error with the store's own description.
QCoro::Task<APIResult<void>> saveAccessToken(QString token);
QCoro::Task<APIResult<void>> saveRefreshToken(QString token);
QCoro::Task<APIResult<void>> saveTokenOrigin(QString origin);

// Absent when nothing is stored or the store cannot be read.
QCoro::Task<std::optional<QString>> loadAccessToken();
QCoro::Task<std::optional<QString>> loadRefreshToken();
QCoro::Task<std::optional<QString>> loadTokenOrigin();

// Removes both tokens and their origin; a missing item is not an error.
QCoro::Task<> clearTokens();

} // namespace KeychainStore

} // namespace lumora
