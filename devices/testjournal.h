#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>

// Counters of a device window's communication test; one set per window type,
// kept for the whole run.
struct TestCounters
{
    qint32 sent = 0;
    qint32 accepted = 0; // answers with a correct CRC
    qint32 errors = 0;   // answers with a wrong CRC
    bool monitoring = false; // the monitoring tab is shown
};

// Real values as the windows show them: up to 15 significant digits, no trailing
// zeros, the locale's decimal separator (123,45 on a Russian system).
QString FormatGeneral(double value);

// A journal line of bytes: the prefix ("->", "<-") and two upper-case hex digits a
// byte. A frame longer than JournalHexBytes (a noise flood) is cut there and its
// length added, so one line stays readable.
constexpr int JournalHexBytes = 256;
QString JournalHexLine(const QString &prefix, const std::uint8_t *data, int count);

// Time stamps of the journal lines ("14:05:33").
QString JournalTime(const QTime &time);

// The summary written to the journal when a test stops, from the empty line after
// "Тест остановлен в ..." to the last counter. `configLines` are label caption +
// field text pairs already joined. The last request is left out of "sent" when its
// answer was still outstanding; when more answers than requests were evaluated
// (bytes before the first request) neither the sent nor the lost line is written.
QStringList SummaryLines(const QString &deviceName, const QStringList &configLines, int count, int intervalMs,
                         const TestCounters &counters);

// Proposed report name: prefix + day + "-" + month + "-" + four-digit year + ".log".
QString ReportFileName(const QString &prefix, const QDate &date);

// Writes the journal lines as Windows-1251 text, each line ended by CR LF. The
// new file replaces the old one only once it is complete, so a failed write
// (full disk, read-only folder) leaves an earlier report byte for byte. Returns
// false with the reason, a Russian sentence, in `error` on failure.
bool WriteReport(const QString &path, const QStringList &lines, QString *error);

// The folder proposed for the next report: that of the last report saved in
// this run, one for all device windows, or the working directory before the
// first and once that folder is gone. The working directory itself never follows the user's choice, so a
// removable disk is not kept busy.
QString ReportFolder();
// WriteReport, and once the file is complete its folder becomes ReportFolder().
// On failure `message` gets the text of the error box, naming the file and the reason.
bool SaveReport(const QString &path, const QStringList &lines, QString *message);

// The bytes WriteReport puts in the file (exposed for tests).
QByteArray ReportBytes(const QStringList &lines, bool *ok = nullptr);
