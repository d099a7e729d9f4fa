#pragma once

#include <QByteArray>
#include <QString>

class QDateTime;

// Writes a file whole or not at all: reports, logs and tables saved by the user.
// An earlier file of that name stays as it was when anything fails (a full disk,
// a folder that forbids writing, a folder of that name). False with the reason,
// as the user reads it, in `error`.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error);

// The name proposed for a saved log: what it is and when, "monitor-9-12-2026-14-05-33.csv".
QString StampedFileName(const QString &what, const QDateTime &time, const QString &suffix);
