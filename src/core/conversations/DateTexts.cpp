#include "core/conversations/DateTexts.h"

#include "core/settings/TextCatalogue.h"

#include <QRegularExpression>

namespace lumora::DateTexts {

namespace {

std::function<QDateTime()>& clock() {
    static std::function<QDateTime()> fixed;
    return fixed;
}

// Within the 6 days before yesterday's eve, a weekday names one day without doubt.
bool withinTheWeek(QDate day, QDate today) {
    const qint64 daysAgo = day.daysTo(today);
    return daysAgo >= 2 && daysAgo <= 6;
}

} // namespace

QDateTime now() {
    return clock() ? clock()() : QDateTime::currentDateTime();
}

void setClockForTesting(std::function<QDateTime()> fixed) {
    clock() = std::move(fixed);
}

QString timeOfDay(const QTime& time, const QLocale& locale) {
    if (!time.isValid())
        return {};
    static const QRegularExpression seconds(QStringLiteral("[.:]?s+"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

QString mediumDate(QDate day, const QLocale& locale) {
    // The long format without its weekday and with the month's short name: the locale's own order.
    static const QRegularExpression weekday(QStringLiteral("d{4}[,،]?\\s*|[,،]?\\s*d{4}"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(day, format.trimmed());
}

QString dayHeading(QDate day, QDate today, const QLocale& locale) {
    if (day == today)
        return catalogueText("date.today");
    if (day == today.addDays(-1))
        return catalogueText("date.yesterday");
    if (withinTheWeek(day, today))
        return locale.dayName(day.dayOfWeek(), QLocale::LongFormat);
    return mediumDate(day, locale);
}

QDate dayOf(const QDateTime& instant, const QDateTime& now) {
    return instant.toTimeZone(now.timeZone()).date();
}

QString inboxTime(const QDateTime& instant, const QDateTime& now, const QLocale& locale) {
    if (!instant.isValid())
        return {};
    const QDate day = dayOf(instant, now), today = now.date();
    if (day == today)
        return timeOfDay(instant.toTimeZone(now.timeZone()).time(), locale);
    if (day == today.addDays(-1))
        return catalogueText("date.yesterday");
    if (withinTheWeek(day, today))
        return locale.dayName(day.dayOfWeek(), QLocale::LongFormat);
    return locale.toString(day, QLocale::ShortFormat);
}

QString fullDateTime(const QDateTime& instant, const QDateTime& now, const QLocale& locale) {
    if (!instant.isValid())
        return {};
    const QDateTime shown = instant.toTimeZone(now.timeZone());
    return catalogueText("date.atTime")
        .arg(locale.toString(shown.date(), QLocale::LongFormat), timeOfDay(shown.time(), locale));
}

} // namespace lumora::DateTexts
