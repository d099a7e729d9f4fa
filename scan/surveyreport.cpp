#include "scan/surveyreport.h"

#include "monitor/framelog.h"
#include "scan/surveyexchange.h"

#include <cmath>

namespace survey {

QStringList columnTitles()
{
    return {QStringLiteral("Устройство"),     QStringLiteral("Адрес"),
            QStringLiteral("Скорость"),       QStringLiteral("Четность"),
            QStringLiteral("Идентификация"), QStringLiteral("Ответ, мс")};
}

QString identificationText(const Identification &id)
{
    QStringList items;
    for (const auto &[caption, value] : id)
        items << caption.trimmed() + QLatin1Char(' ') + value;
    return items.join(QStringLiteral("; "));
}

QString columnText(const SurveyHit &hit, int column, const QLocale &locale)
{
    switch (column) {
    case ColumnDevice: {
        const DeviceKind *kind = FindDeviceKind(hit.found.kind);
        return kind ? kind->caption : QString();
    }
    case ColumnAddress: return QString::number(hit.found.address);
    case ColumnRate: return QString::number(hit.found.line.baudRate);
    case ColumnParity: return parityText(hit.found.line.parity);
    case ColumnIdentification: return identificationText(hit.id);
    case ColumnResponse: return locale.toString(hit.responseMs, 'f', 1);
    default: return {};
    }
}

QByteArray csvBytes(const QList<SurveyHit> &hits)
{
    QStringList fields;
    for (const QString &title : columnTitles())
        fields << monitor::csvField(title);
    QString text = fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    const QLocale c = QLocale::c();
    for (const SurveyHit &hit : hits) {
        fields.clear();
        for (int column = 0; column < ColumnCount; ++column)
            fields << monitor::csvField(columnText(hit, column, c));
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

QString durationText(double ms)
{
    const qint64 seconds = ms > 0 ? static_cast<qint64>(std::ceil(ms / 1000 - 1e-9)) : 0;
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const QString two = QStringLiteral("%1");
    if (hours > 0)
        return QStringLiteral("%1 ч %2 мин").arg(hours).arg(two.arg(minutes, 2, 10, QLatin1Char('0')));
    if (minutes > 0)
        return QStringLiteral("%1 мин %2 с").arg(minutes).arg(two.arg(seconds % 60, 2, 10, QLatin1Char('0')));
    return QStringLiteral("%1 с").arg(seconds);
}

} // namespace survey
