#pragma once
// Time of day as the register table shows it: the user's long time format
// (hours, minutes and seconds in the user's order and style) without the time
// zone that the toolkit's long format carries.
#include <QLocale>
#include <QString>
#include <QTime>

namespace ostrel {

// The format with every time-zone field and the blanks that set it apart
// removed; quoted literal text is kept as it is.
QString TimeFormatWithoutZone(const QString& format);

// time in locale's long time format, without the zone.
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale());

}  // namespace ostrel
