// The settings file: whatever an older version, an editor or a damaged disk left
// there. The input is the file's bytes. Each run parses them, reads a grid of
// keys, writes one key, and parses again, both on the text (applyWrites,
// lookup) and through a real file. Promises: the written key reads back, no
// other key changes, writing the same again changes nothing, and the file
// says what the text says.
#include "fuzzsupport.h"
#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>

namespace {

// Names as the program writes them (window class and component names), in
// other cases too, since the file's names match without regard to case.
const std::array<const char *, 5> Sections = {"TFOrvekConfigurator", "tforvekconfigurator", "Ports", "TFKRV", "X"};
const std::array<const char *, 5> Keys = {"FormVersion", "formversion", "RxSpinEdit1_Value", "COM1",
                                          "NormPos(1920x1080)"};
const std::array<const char *, 4> Values = {"300", "0.8", "/dev/serial/by-id/usb-A B=1;x", ""};

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The lines of the file's text, as an 8-bit file is read: any line end.
QStringList linesOf(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

struct Reading
{
    bool found = false;
    QString value;
    bool operator==(const Reading &o) const { return found == o.found && (!found || value == o.value); }
};

using Grid = std::array<std::array<Reading, Keys.size()>, Sections.size()>;

Grid readGrid(const QStringList &lines)
{
    Grid grid;
    for (std::size_t s = 0; s < Sections.size(); ++s)
        for (std::size_t k = 0; k < Keys.size(); ++k)
            grid[s][k].value = IniFile::lookup(lines, QLatin1String(Sections[s]), QLatin1String(Keys[k]),
                                               &grid[s][k].found);
    return grid;
}

// Through the file: ReadString with a fallback that no file can hold tells "absent".
Grid readGrid(const IniFile &ini)
{
    const QString absent = QStringLiteral("\n");
    Grid grid;
    for (std::size_t s = 0; s < Sections.size(); ++s)
        for (std::size_t k = 0; k < Keys.size(); ++k) {
            const QString value = ini.ReadString(QLatin1String(Sections[s]), QLatin1String(Keys[k]), absent);
            grid[s][k] = {value != absent, value};
        }
    return grid;
}

// Every key but the written one reads as before; the written one reads back.
void checkWrite(const Grid &before, const Grid &after, const QString &section, const QString &key,
                const QString &value)
{
    for (std::size_t s = 0; s < Sections.size(); ++s)
        for (std::size_t k = 0; k < Keys.size(); ++k) {
            const bool written = sameName(QLatin1String(Sections[s]), section) && sameName(QLatin1String(Keys[k]), key);
            if (written)
                FUZZ_CHECK(after[s][k].found && after[s][k].value == value);
            else
                FUZZ_CHECK(after[s][k] == before[s][k]);
        }
}

QTemporaryDir *folder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt();
    // In memory where there is such a folder: every save syncs its file to disk.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    folder = new QTemporaryDir(base + QStringLiteral("/orvek-fuzz-ini-XXXXXX"));
    return folder->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // Which key to write: from the last byte, so the whole input is also the file.
    const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    const QString section = QLatin1String(Sections[choice % Sections.size()]);
    const QString key = QLatin1String(Keys[(choice / Sections.size()) % Keys.size()]);
    const QString value = QLatin1String(Values[(choice / (Sections.size() * Keys.size())) % Values.size()]);
    const IniFile::Entries write = {{key, value}};

    // On the text.
    const QStringList lines = linesOf(bytes);
    const Grid before = readGrid(lines);
    const QStringList written = IniFile::applyWrites(lines, section, write);
    checkWrite(before, readGrid(written), section, key, value);
    FUZZ_CHECK(IniFile::applyWrites(written, section, write) == written);

    // Through a file: what it reads is what the text says, and the rewrite parses again.
    const QString path = QDir(folder->path()).filePath(QString::fromLatin1(IniFile::FileName));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes) == bytes.size());
    }
    IniFile ini(path);
    FUZZ_CHECK(readGrid(ini) == before);
    const IniFile::Entries entries = ini.ReadSection(section);
    try {
        ini.WriteStrings(section, write);
    } catch (const EIniWriteError &) {
        FUZZ_CHECK(!"a plain writable file could not be written");
    }
    const Grid reread = readGrid(ini);
    checkWrite(before, reread, section, key, value);
    FUZZ_CHECK(reread == readGrid(written));
    // The section keeps its keys, in order; only the written one may be new or changed.
    const IniFile::Entries entriesAfter = ini.ReadSection(section);
    FUZZ_CHECK(entriesAfter.size() == entries.size() || entriesAfter.size() == entries.size() + 1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(sameName(entries[i].first, entriesAfter[i].first));
        FUZZ_CHECK(entries[i].second == entriesAfter[i].second || sameName(entries[i].first, key));
    }
    return 0;
}
