#include "widgets/radiogroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(caption, parent)
    , m_items(items)
    , m_columns(qMax(1, columns))
    , m_group(new QButtonGroup(this))
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    // Column by column: the first column is filled top to bottom before the next one starts.
    const int rows = (static_cast<int>(items.size()) + m_columns - 1) / m_columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items.at(i), this);
        m_group->addButton(button, i);
        // Left-aligned at their natural width: a click beside the text hits nothing.
        grid->addWidget(button, rows ? i % rows : 0, rows ? i / rows : 0, Qt::AlignLeft);
    }
    for (int c = 0; c < m_columns; ++c)
        grid->setColumnStretch(c, 1);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            emit OnClick();
    });
}

int TRadioGroup::ItemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (index < 0 || index >= m_items.size())
        index = -1;
    if (index == ItemIndex())
        return;
    if (index >= 0) {
        m_group->button(index)->setChecked(true); // OnClick through idToggled
        return;
    }
    // An exclusive group cannot uncheck its last button.
    QAbstractButton *checked = m_group->checkedButton();
    m_group->setExclusive(false);
    checked->setChecked(false);
    m_group->setExclusive(true);
    emit OnClick();
}

QString TRadioGroup::selectedText() const
{
    const int index = ItemIndex();
    return index >= 0 ? m_items.at(index) : QString();
}
