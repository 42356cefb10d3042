#include "TimeText.h"

namespace ostrel {

QString TimeFormatWithoutZone(const QString& format) {
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format.at(i);
    if (c == QLatin1Char('\'')) quoted = !quoted;  // '' inside or outside quotes toggles twice
    if (quoted || c != QLatin1Char('t')) {
      out += c;
      continue;
    }
    while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t')) ++i;  // t, tt, ttt, tttt
    if (out.endsWith(QLatin1Char(' '))) {
      while (out.endsWith(QLatin1Char(' '))) out.chop(1);
    } else {
      while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char(' ')) ++i;
    }
  }
  return out.trimmed();
}

QString LongTimeText(const QTime& time, const QLocale& locale) {
  return locale.toString(time, TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace ostrel
