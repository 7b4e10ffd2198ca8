#include "wire/Timestamp.h"

#include <cstdio>

namespace lumora {

namespace {

using namespace std::chrono;

// Reads exactly `count` decimal digits starting at `pos`.
bool readDigits(std::string_view text, size_t pos, size_t count, int& out) {
    if (pos + count > text.size())
        return false;
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

bool expect(std::string_view text, size_t pos, char c) {
    return pos < text.size() && text[pos] == c;
}

} // namespace

std::optional<Instant> parseTimestamp(std::string_view text) {
    int y, mo, d, h, mi, s;
    if (!readDigits(text, 0, 4, y) || !expect(text, 4, '-') || !readDigits(text, 5, 2, mo) ||
        !expect(text, 7, '-') || !readDigits(text, 8, 2, d))
        return std::nullopt;
    if (!(expect(text, 10, 'T') || expect(text, 10, 't')))
        return std::nullopt;
    if (!readDigits(text, 11, 2, h) || !expect(text, 13, ':') || !readDigits(text, 14, 2, mi) ||
        !expect(text, 16, ':') || !readDigits(text, 17, 2, s))
        return std::nullopt;
    if (h > 23 || mi > 59 || s > 59)
        return std::nullopt;

    const year_month_day date{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!date.ok())
        return std::nullopt;

    size_t pos = 19;
    int millis = 0;
    if (expect(text, pos, '.')) {
        ++pos;
        const size_t first = pos;
        int scale = 100;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            millis += (text[pos] - '0') * scale; // digits past the millisecond are dropped
            scale /= 10;
            ++pos;
        }
        if (pos == first)
            return std::nullopt;
    }

    int offsetMinutes = 0;
    if (expect(text, pos, 'Z') || expect(text, pos, 'z')) {
        ++pos;
    } else if (expect(text, pos, '+') || expect(text, pos, '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        int oh, om;
        if (!readDigits(text, pos + 1, 2, oh) || !expect(text, pos + 3, ':') ||
            !readDigits(text, pos + 4, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offsetMinutes = sign * (oh * 60 + om);
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != text.size())
        return std::nullopt;

    const Instant instant =
        sys_days{date} + hours{h} + minutes{mi} + seconds{s} + milliseconds{millis} - minutes{offsetMinutes};
    // An offset can carry a year-0000 or year-9999 date outside what four year digits can write back.
    static constexpr Instant earliest = sys_days{year{0} / January / 1};
    static constexpr Instant latest = sys_days{year{10000} / January / 1} - milliseconds{1};
    if (instant < earliest || instant > latest)
        return std::nullopt;
    return instant;
}

QString formatTimestamp(Instant instant) {
    const auto dayStart = floor<days>(instant);
    const year_month_day date{dayStart};
    const hh_mm_ss time{instant - dayStart};
    char buffer[40];
    const int millis = int(time.subseconds().count());
    if (millis != 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                      unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                      int(time.minutes().count()), int(time.seconds().count()), millis);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                      unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                      int(time.minutes().count()), int(time.seconds().count()));
    return QString::fromLatin1(buffer);
}

QDateTime toDateTime(Instant instant) {
    return QDateTime::fromMSecsSinceEpoch(instant.time_since_epoch().count(), Qt::UTC);
}

} // namespace lumora
