#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <functional>

// How the screens write when something happened, in the interface's language. Each function takes
// "now", whose time zone is the one shown, so the rules can be checked on any day in any zone.
namespace lumora::DateTexts {

// The moment the screens count from: the local time, unless a test fixed the clock.
QDateTime now();
void setClockForTesting(std::function<QDateTime()> clock); // an empty function: the real clock again

// Hours and minutes, without seconds (some locales' short format has them); empty when invalid.
QString timeOfDay(const QTime& time, const QLocale& locale = QLocale());
// The date with the month abbreviated and no weekday: "7 Dec 2026", "Dec 7, 2026", "٧ ديسمبر ٢٠٢٦".
QString mediumDate(QDate day, const QLocale& locale = QLocale());
// A chat's day heading: "Today", "Yesterday", the weekday for the 6 days before, else the medium date.
QString dayHeading(QDate day, QDate today, const QLocale& locale = QLocale());
// An inbox row's time: the time of day for today, "Yesterday", the weekday within the week, else the
// short date.
QString inboxTime(const QDateTime& instant, const QDateTime& now, const QLocale& locale = QLocale());
// The whole date and time, for a tooltip or a screen reader: "Monday, 7 December 2026 at 10:04".
QString fullDateTime(const QDateTime& instant, const QDateTime& now, const QLocale& locale = QLocale());

// `instant` as a day in `now`'s time zone.
QDate dayOf(const QDateTime& instant, const QDateTime& now);

} // namespace lumora::DateTexts
