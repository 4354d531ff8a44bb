#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Texts of the main window's status line.

// The clock: the locale's short date, two spaces, the locale's long time with seconds.
QString ClockText(const QDateTime& now, const QLocale& locale);
// The contact mail link for an address, with its fixed subject and body.
QString MailtoLink(const QString& address);
