#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <utility>
#include <vector>

// Raised when the settings file cannot be written: "Unable to write to <file>".
class EIniWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A classic INI file with private-profile semantics: section and key names
// match without regard to case, a missing key reads as the default, and writing
// a key keeps every other line of the file as it was. The file is read for each
// group of reads and rewritten for each group of writes, never held open.
// Writes go to a temporary file that is renamed over the old one, so an
// interrupted save never leaves a truncated file. A file that exists but cannot
// be read (not a plain file, unreadable, larger than MaxFileSize) reads as empty
// and is never rewritten: a write would lose what it holds.
// A real number as the file holds it: general format with "." whatever the
// locale, the fewest digits (at most 18) that read back as the same number, and
// an exponent only from 18 integer digits on or below 0.0001: 300, 100000, 0.8,
// 0.30000000000000004, 1e+20.
QString IniReal(double value);

class IniFile
{
public:
    using Entries = std::vector<std::pair<QString, QString>>;

    explicit IniFile(QString path);
    const QString &path() const { return m_path; }

    // Value of section/key with blanks trimmed; `fallback` when absent.
    QString ReadString(const QString &section, const QString &key, const QString &fallback = {}) const;
    // Every key of a section in file order (empty when the section is absent).
    Entries ReadSection(const QString &section) const;

    // EIniWriteError on failure.
    void WriteString(const QString &section, const QString &key, const QString &value);
    // Several keys of one section in one rewrite of the file.
    void WriteStrings(const QString &section, const Entries &entries);

    // Where the program keeps OrvekConfigurator.ini: $XDG_CONFIG_HOME (default ~/.config).
    static QString defaultPath();
    static constexpr const char *FileName = "OrvekConfigurator.ini";
    // Far beyond any settings file; reading is linear, but a larger file is not ours to load whole.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    // The text form of the private-profile edits, usable without a file.
    static QStringList applyWrites(QStringList lines, const QString &section, const Entries &entries);
    static QString lookup(const QStringList &lines, const QString &section, const QString &key, bool *found);

private:
    // The file's lines; false when it exists and cannot be read.
    bool readLines(QStringList *lines) const;
    QString m_path;
};
