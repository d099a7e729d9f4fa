#pragma once

#include <QString>

class QPushButton;
class QWidget;

// A push button with its design name that never becomes the default of its
// window (Enter must not start a write or a search).
QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent, const QString &tip = QString());
