#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>
#include <string_view>

namespace lumora {

// An instant on the wire, kept to the millisecond.
using Instant = std::chrono::sys_time<std::chrono::milliseconds>;

// Strict RFC 3339 date-time: full date, 'T', hh:mm:ss, optional fraction, then 'Z' or ±hh:mm.
// Qt's ISO parser also takes bare dates and missing zones, which the service never means.
std::optional<Instant> parseTimestamp(std::string_view text);

// UTC with 'Z'; milliseconds are written only when they are not zero.
QString formatTimestamp(Instant instant);

// The same instant for Qt's date and time APIs (QML, locale formatting), in UTC.
QDateTime toDateTime(Instant instant);

} // namespace lumora
