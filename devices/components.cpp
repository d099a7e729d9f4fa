#include "devices/components.h"

#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QPushButton>

TRxSpinEdit *makeSpinEditor(const QString &name, double min, double max, double step, double value, bool typing,
                            QWidget *parent)
{
    auto *editor = new TRxSpinEdit(parent);
    editor->setObjectName(name);
    editor->setMinValue(min);
    editor->setMaxValue(max);
    editor->setIncrement(step);
    editor->setValue(value);
    editor->setEditorEnabled(typing);
    return editor;
}

QLabel *makeField(const QString &name, const QString &text, QWidget *parent)
{
    auto *field = new QLabel(text, parent);
    field->setObjectName(name);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setMinimumWidth(70);
    return field;
}

QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}
