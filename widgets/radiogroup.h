#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;

// A framed group of radio buttons in columns with one selected item.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex NOTIFY OnClick)
    Q_PROPERTY(QStringList Items READ Items)
public:
    explicit TRadioGroup(const QString &caption, const QStringList &items, int columns = 1,
                         QWidget *parent = nullptr);

    int ItemIndex() const;
    // An index outside the items selects nothing (-1).
    void setItemIndex(int index);
    QStringList Items() const { return m_items; }
    int Columns() const { return m_columns; }
    // Text of the selected item, empty when nothing is selected.
    QString selectedText() const;

signals:
    void OnClick();

private:
    QStringList m_items;
    int m_columns;
    QButtonGroup *m_group;
};
