#include "StatusLine.h"

namespace {

// The locale's long time format without its time-zone part, which the clock leaves out.
QString LongTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        }
        if (quoted || c != QLatin1Char('t')) {
            kept += c;
        }
    }
    return kept.simplified();
}

}  // namespace

QString ClockText(const QDateTime& now, const QLocale& locale) {
    return locale.toString(now.date(), QLocale::ShortFormat) + QStringLiteral("  ") +
           locale.toString(now.time(), LongTimeFormat(locale));
}

QString MailtoLink(const QString& address) {
    return QStringLiteral("mailto:") + address +
           QStringLiteral("?&cc=&bcc=&subject=欢迎使用 VR7C_20NP&body=使用报告:%0d");
}
