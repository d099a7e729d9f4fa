#pragma once

#include <QDialog>
#include <QPalette>

class DeviceHost;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// The ТРАВ/ЖНКТ multi-sensor controller window: shows which sensor groups and
// which variant the controller is set up for and writes a new set-up into its
// non-volatile memory with one function-15 request. No tabs, no test, no stored
// settings: of the common device window it shares only the hand-over from the
// search and the address and baud texts.
class TFC3940F : public QDialog
{
    Q_OBJECT
public:
    TFC3940F(DeviceHost &host, QWidget *parent);
    ~TFC3940F() override;

    // Handlers, public so the window can be driven step by step.
    void FormShow();
    void ComboBox1Change();
    void ComboBox2Change();
    void BitBtnWriteToPLCClick();

    void done(int result) override;

    // Selector indexes of the set-up last read from or written to the controller.
    int StoredGroupIndex = -1;
    int StoredVariantIndex = 0;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setGroupSelectorYellow(bool yellow);

    DeviceHost &m_host;
    QPalette m_normalPalette; // of ComboBox1 as built
    bool m_writing = false;   // an exchange is waiting for its answer
    bool m_closed = false;    // the window closed, possibly during the wait

    QFrame *Panel1;
    QLabel *StaticText6, *Label45, *Label1;
    QComboBox *ComboBox2, *ComboBox1;
    QPushButton *BitBtnWriteToPLC;
    QLabel *Image1;
    QLabel *LabelVer, *StaticTextVer, *LabelAddr, *StaticTextAddr, *LabelBaud, *StaticTextBaud;
};

extern TFC3940F *FC3940F;
