#include "monitor/framelog.h"

#include <QDateTime>

#include <algorithm>

namespace monitor {

std::size_t FrameLog::overflowFor(std::size_t incoming) const
{
    const std::size_t total = m_frames.size() + incoming;
    return total > m_capacity ? std::min(total - m_capacity, m_frames.size()) : 0;
}

void FrameLog::dropOldest(std::size_t count)
{
    m_frames.erase(m_frames.begin(), m_frames.begin() + static_cast<long>(std::min(count, m_frames.size())));
}

void FrameLog::append(BusFrame frame)
{
    if (m_frames.size() >= m_capacity)
        m_frames.pop_front();
    m_frames.push_back(std::move(frame));
}

long long FrameLog::indexOf(quint64 seq) const
{
    const auto it = std::lower_bound(m_frames.begin(), m_frames.end(), seq,
                                     [](const BusFrame &f, quint64 s) { return f.seq < s; });
    if (it == m_frames.end() || it->seq != seq)
        return -1;
    return it - m_frames.begin();
}

namespace {
QString milliseconds(qint64 us, const QLocale &locale)
{
    return us < 0 ? QString() : locale.toString(us / 1000.0, 'f', 1);
}

QString noAnswerText()
{
    return QStringLiteral("нет ответа");
}
} // namespace

QStringList columnTitles()
{
    return {QStringLiteral("Время"), QStringLiteral("Напр."),  QStringLiteral("Адрес"),  QStringLiteral("Байты"),
            QStringLiteral("CRC"),   QStringLiteral("Значение"), QStringLiteral("Δt, мс"), QStringLiteral("Ответ, мс")};
}

QString columnText(const BusFrame &frame, int column, const QLocale &locale)
{
    switch (column) {
    case ColumnTime: return QDateTime::fromMSecsSinceEpoch(frame.wallMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    case ColumnDirection: return frame.direction == Direction::Sent ? QStringLiteral("->") : QStringLiteral("<-");
    case ColumnAddress: return frame.address() < 0 ? QString() : QString::number(frame.address());
    case ColumnBytes: return QString::fromLatin1(frame.bytes.toHex(' ').toUpper());
    case ColumnCrc: return frame.crcOk ? QStringLiteral("верна") : QStringLiteral("ошибка");
    case ColumnMeaning:
        if (frame.problem != Problem::NoAnswer)
            return frame.meaning;
        return frame.meaning.isEmpty() ? noAnswerText() : frame.meaning + QStringLiteral("; ") + noAnswerText();
    case ColumnSince: return milliseconds(frame.sinceUs, locale);
    case ColumnResponse: return milliseconds(frame.responseUs, locale);
    default: return {};
    }
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvHeader()
{
    QStringList fields;
    for (const QString &title : columnTitles())
        fields << csvField(title);
    return fields.join(QLatin1Char(','));
}

QString csvLine(const BusFrame &frame)
{
    QStringList fields;
    for (int column = 0; column < ColumnCount; ++column)
        fields << csvField(columnText(frame, column, QLocale::c()));
    return fields.join(QLatin1Char(','));
}

QString textLine(const BusFrame &frame)
{
    const QLocale c = QLocale::c();
    QString line = columnText(frame, ColumnTime, c) + QLatin1Char(' ') + columnText(frame, ColumnDirection, c)
        + QLatin1Char(' ') + columnText(frame, ColumnBytes, c) + QStringLiteral("  CRC ")
        + columnText(frame, ColumnCrc, c) + QStringLiteral("  ") + columnText(frame, ColumnMeaning, c);
    if (frame.sinceUs >= 0)
        line += QStringLiteral("  Δt ") + columnText(frame, ColumnSince, c) + QStringLiteral(" мс");
    if (frame.responseUs >= 0)
        line += QStringLiteral("  ответ через ") + columnText(frame, ColumnResponse, c) + QStringLiteral(" мс");
    return line;
}

QStringList statisticsTitles()
{
    return {QStringLiteral("Адрес"),      QStringLiteral("Запросов"),   QStringLiteral("Ответов"),
            QStringLiteral("Ошибки CRC"), QStringLiteral("Исключения"), QStringLiteral("Нет ответа"),
            QStringLiteral("Мин., мс"),   QStringLiteral("Медиана, мс"), QStringLiteral("Макс., мс")};
}

QStringList statisticsCells(const AddressStatistics &row, const QLocale &locale)
{
    const auto time = [&locale](const std::optional<qint64> &us) {
        return us ? milliseconds(*us, locale) : QStringLiteral("—");
    };
    return {QString::number(row.address), QString::number(row.requests),   QString::number(row.answers),
            QString::number(row.crcErrors), QString::number(row.exceptions), QString::number(row.lost),
            time(row.minUs),                time(row.medianUs),              time(row.maxUs)};
}

QStringList statisticsText(const std::vector<AddressStatistics> &rows)
{
    QStringList lines;
    if (rows.empty())
        return lines;
    const QStringList titles = statisticsTitles();
    lines << QStringLiteral("Статистика по адресам:");
    for (const AddressStatistics &row : rows) {
        const QStringList cells = statisticsCells(row, QLocale::c());
        QStringList parts;
        for (int i = 0; i < titles.size(); ++i)
            parts << titles.at(i) + QStringLiteral(": ") + cells.at(i);
        lines << parts.join(QStringLiteral(", "));
    }
    return lines;
}

} // namespace monitor
