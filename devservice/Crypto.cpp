#include "Crypto.h"

#include <sodium.h>

#include <stdexcept>

namespace lumora::devservice {

void initCrypto() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

std::string hashPassword(const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, utf8.constData(), size_t(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("Out of memory while hashing a password");
    return hash;
}

bool verifyPassword(const std::string& hash, const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(hash.c_str(), utf8.constData(), size_t(utf8.size())) == 0;
}

QString randomId() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return QString::fromLatin1(hex);
}

QString randomToken() {
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    constexpr int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    char text[sodium_base64_ENCODED_LEN(sizeof bytes, variant)];
    sodium_bin2base64(text, sizeof text, bytes, sizeof bytes, variant);
    return QString::fromLatin1(text);
}

QByteArray shortDigest(const QByteArray& data) {
    unsigned char digest[16];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(data.constData()),
                       size_t(data.size()), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return QByteArray(hex);
}

std::string tokenDigest(const QString& token) {
    const QByteArray utf8 = token.toUtf8();
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(utf8.constData()),
                       size_t(utf8.size()), nullptr, 0);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

} // namespace lumora::devservice
