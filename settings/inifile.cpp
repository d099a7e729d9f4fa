#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace {

// Most significant digits IniReal writes; a double needs 17 at most.
constexpr int IniRealDigits = 18;

// "[name]" (blanks around the name allowed) gives the name; anything else gives a null string.
QString sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const int close = t.indexOf(QLatin1Char(']'));
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

// The key of a "key=value" line, or a null string for blank, comment and other lines.
QString keyName(const QString &line, QString *value = nullptr)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('[')))
        return {};
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return {};
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return t.left(eq).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Lines of the first section called `section`: [first key line, end) after the header, or -1.
int findSection(const QStringList &lines, const QString &section, int *end)
{
    for (int i = 0; i < lines.size(); ++i) {
        const QString name = sectionName(lines.at(i));
        if (name.isNull() || !sameName(name, section))
            continue;
        int j = i + 1;
        while (j < lines.size() && sectionName(lines.at(j)).isNull())
            ++j;
        *end = j;
        return i + 1;
    }
    return -1;
}

bool hasNoWriteBits(const QString &path)
{
    const QFileDevice::Permissions perms = QFile::permissions(path);
    return !(perms & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

} // namespace

IniFile::IniFile(QString path)
    : m_path(std::move(path))
{
}

bool IniFile::readLines(QStringList *lines) const
{
    lines->clear();
    const QFileInfo info(m_path);
    if (!info.exists())
        return true;
    QFile file(m_path);
    if (!info.isFile() || info.size() > MaxFileSize || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    // 8-bit text: Latin-1 keeps every byte, so lines we do not touch are written back unchanged.
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    *lines = text.split(QLatin1Char('\n'));
    if (!lines->isEmpty() && lines->constLast().isEmpty())
        lines->removeLast();
    return true;
}

QString IniFile::lookup(const QStringList &lines, const QString &section, const QString &key, bool *found)
{
    *found = false;
    int end = 0;
    const int begin = findSection(lines, section, &end);
    if (begin < 0)
        return {};
    for (int i = begin; i < end; ++i) {
        QString value;
        const QString name = keyName(lines.at(i), &value);
        if (!name.isNull() && sameName(name, key)) {
            *found = true;
            return value;
        }
    }
    return {};
}

QString IniFile::ReadString(const QString &section, const QString &key, const QString &fallback) const
{
    QStringList lines;
    readLines(&lines); // unreadable: every key reads as its default
    bool found = false;
    const QString value = lookup(lines, section, key, &found);
    return found ? value : fallback;
}

IniFile::Entries IniFile::ReadSection(const QString &section) const
{
    QStringList lines;
    readLines(&lines);
    Entries entries;
    int end = 0;
    const int begin = findSection(lines, section, &end);
    if (begin < 0)
        return entries;
    for (int i = begin; i < end; ++i) {
        QString value;
        const QString name = keyName(lines.at(i), &value);
        if (!name.isNull())
            entries.emplace_back(name, value);
    }
    return entries;
}

QStringList IniFile::applyWrites(QStringList lines, const QString &section, const Entries &entries)
{
    for (const auto &[key, value] : entries) {
        const QString line = key + QLatin1Char('=') + value;
        int end = 0;
        const int begin = findSection(lines, section, &end);
        if (begin < 0) {
            lines << QLatin1Char('[') + section + QLatin1Char(']') << line;
            continue;
        }
        bool replaced = false;
        for (int i = begin; i < end && !replaced; ++i) {
            const QString name = keyName(lines.at(i));
            if (!name.isNull() && sameName(name, key)) {
                lines[i] = line;
                replaced = true;
            }
        }
        if (replaced)
            continue;
        // After the section's last non-blank line, so a blank line before the next section stays there.
        int at = end;
        while (at > begin && lines.at(at - 1).trimmed().isEmpty())
            --at;
        lines.insert(at, line);
    }
    return lines;
}

void IniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    WriteStrings(section, {{key, value}});
}

void IniFile::WriteStrings(const QString &section, const Entries &entries)
{
    const auto fail = [this] { throw EIniWriteError(("Unable to write to " + m_path).toUtf8().toStdString()); };
    QStringList old;
    if (!readLines(&old))
        fail();
    const QStringList lines = applyWrites(old, section, entries);

    const QFileInfo info(m_path);
    // Checked by the permission bits, since the rename below would replace a
    // read-only file, and root may write anything.
    if (info.exists() && (!info.isFile() || hasNoWriteBits(m_path)))
        fail();
    if (!QDir().mkpath(info.absolutePath()))
        fail();

    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";

    // The new text goes to a temporary file renamed over the old one: a failed
    // save leaves the old file as it was.
    QSaveFile file(m_path);
    // Unbuffered, so a short write (full disk, size limit) shows in write()'s
    // count: a buffered one can reach commit() unnoticed and rename a truncated file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        fail();
    }
    if (!file.commit())
        fail();
}

QString IniFile::defaultPath()
{
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative setting is to be ignored.
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return QDir(folder).filePath(QString::fromLatin1(FileName));
}

QString IniReal(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0"); // -0 too
    // The shortest digits that read back as the value, and the decimal exponent.
    const QString scientific = QString::number(std::fabs(value), 'e', QLocale::FloatingPointShortest);
    const int e = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(e).remove(QLatin1Char('.'));
    const int exponent = scientific.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    QString text = value < 0 ? QStringLiteral("-") : QString();
    if (exponent < -4 || exponent >= IniRealDigits) {
        text += digits.left(1);
        if (digits.size() > 1)
            text += QLatin1Char('.') + digits.mid(1);
        text += QString::asprintf("e%+03d", exponent);
    } else if (exponent < 0) {
        text += QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + digits;
    } else if (digits.size() <= exponent + 1) {
        text += digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
    } else {
        text += digits.left(exponent + 1) + QLatin1Char('.') + digits.mid(exponent + 1);
    }
    return text;
}
