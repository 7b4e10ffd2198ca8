#pragma once

#include <QString>

#include <optional>

// Input rules shared by the HTTP routes and the command-line subcommands.
namespace lumora::devservice {

inline constexpr qsizetype minPasswordLength = 8;
inline constexpr qsizetype maxDisplayNameLength = 64;
inline constexpr qsizetype maxBioLength = 500;
inline constexpr qsizetype maxMessageLength = 10000;
inline constexpr qsizetype maxAttachmentsPerMessage = 10;

// Unicode code points, so "أمينة" is 5 long and an emoji 1, whatever their UTF-16 or UTF-8 size.
qsizetype codePointCount(const QString& text);

// C0 and C1 controls and DEL: in a stored name they could break the lines and layouts it is shown in.
bool hasControlCharacters(const QString& text);

// 1 to 32 ASCII letters, digits, '.', '_' or '-', starting with a letter or digit.
bool isValidUsername(const QString& username);

// Why the password is not acceptable, or nothing when it is.
std::optional<QString> passwordProblem(const QString& password);

// Two ASCII letters upper-cased, or the empty string; nothing when the text is neither.
std::optional<QString> normalisedCountryCode(const QString& text);

// An avatar is an http(s) URL or a file stored by this service.
bool isAcceptableAvatarUrl(const QString& url);

} // namespace lumora::devservice
