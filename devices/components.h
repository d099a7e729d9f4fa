#pragma once

#include "widgets/buttons.h"

#include <QString>

class QLabel;
class QPushButton;
class QWidget;
class TRxSpinEdit;

// The pieces every device window is built of, each with its design name.

// A numeric spin editor; `typing` false leaves only the arrows.
TRxSpinEdit *makeSpinEditor(const QString &name, double min, double max, double step, double value, bool typing,
                            QWidget *parent);
// A framed read-only value field whose text can be selected and copied.
QLabel *makeField(const QString &name, const QString &text, QWidget *parent);
QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent);
