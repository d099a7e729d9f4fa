#include "widgets/buttons.h"

#include <QPushButton>

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent, const QString &tip)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    return button;
}
