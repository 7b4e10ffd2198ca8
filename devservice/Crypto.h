#pragma once

#include <QString>

#include <string>

namespace lumora::devservice {

// Must run once before any other function here; throws when libsodium cannot start.
void initCrypto();

// Argon2id in libsodium's self-describing string form (salt and limits included).
std::string hashPassword(const QString& password);
bool verifyPassword(const std::string& hash, const QString& password);

// 128 random bits as 32 lower-case hex digits: record ids and unguessable media ids.
QString randomId();

// 256 random bits, base64url without padding.
QString randomToken();

// 128 bits of BLAKE2b over `data` as 32 hex digits: a short, stable name for a state (reply tags).
QByteArray shortDigest(const QByteArray& data);

// What the database keeps instead of a token, so a copied database file opens no sessions.
std::string tokenDigest(const QString& token);

} // namespace lumora::devservice
