#pragma once

#include "scan/survey.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

// The survey's results as text: the table's columns and the CSV file.
namespace survey {

enum Column { ColumnDevice, ColumnAddress, ColumnRate, ColumnParity, ColumnIdentification, ColumnResponse, ColumnCount };

QStringList columnTitles();
// The text of one cell; numbers with the locale's decimal separator.
QString columnText(const SurveyHit &hit, int column, const QLocale &locale);
// "Код: 12; Модель: 2; Firmware Version: 1,05": caption and value per item.
QString identificationText(const Identification &id);

// Every hit as CSV: a header line, then one line per device in the order found;
// comma-separated, numbers with a decimal point, UTF-8, CR LF line ends.
QByteArray csvBytes(const QList<SurveyHit> &hits);

// "2 ч 05 мин", "4 мин 12 с", "37 с": a time left as the window shows it.
QString durationText(double ms);

} // namespace survey
