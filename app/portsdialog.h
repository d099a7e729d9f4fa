#pragma once

#include "bus/serial/serialdevices.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class TcpCheck;
class TRxSpinEdit;

// "Порты": the serial devices of the computer, and which device each port number
// 1..16 of the main window opens. A device is assigned under its stable by-id name
// where it has one, so the assignment survives re-plugging the adapter. A number
// may instead lead to a serial device server on the network (tcp://host:port),
// which "Проверить" tries to reach; the connect timeout is kept here too.
class TFPorts : public QDialog
{
    Q_OBJECT
public:
    static constexpr int PortCount = 16;

    // `port` is the number the main window uses now; its row is selected first.
    explicit TFPorts(QWidget *owner = nullptr, int port = 1);

    // Columns of the device table.
    enum DeviceColumn {
        ColDevice, ColById, ColDescription, ColManufacturer, ColSerial, ColUsbId, ColState, ColAccess, ColLatency,
        DeviceColumns
    };
    // Columns of the port number table.
    enum PortColumn { ColNumber, ColPortDevice, ColAssignment, ColNow, PortColumns };

    // Handlers, public so the window can be driven step by step.
    void BitBtnAssignClick();  // the selected device to the selected number
    void BitBtnDefaultClick(); // the selected number back to its default device
    void BitBtnRefreshClick(); // the devices read again
    void BitBtnAssignAddressClick(); // the typed network address to the selected number
    void BitBtnCheckClick();         // connects to the typed address and says how it went

    void done(int result) override;

    int selectedPort() const;  // 1..16, 0 when none
    void selectPort(int port);
    const QList<SerialDeviceInfo> &devices() const { return m_devices; }

    QTableWidget *StringGridDevices;
    QTableWidget *StringGridPorts;
    QPushButton *BitBtnAssign, *BitBtnDefault, *BitBtnRefresh, *BitBtnClose;
    QLineEdit *EditAddress;
    QPushButton *BitBtnAssignAddress, *BitBtnCheck;
    TRxSpinEdit *RxSpinEditConnectTimeout;
    QLabel *LabelCheck;
    QLabel *LabelHelp;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildDeviceTable(QVBoxLayout *layout);
    void buildPortTable(QVBoxLayout *layout);
    void buildNetworkPanel(QVBoxLayout *layout);
    void showSelectedAddress();
    void showCheck(bool good, const QString &text);
    void fillDevices();
    void fillPorts();
    void updateButtons();
    int selectedDevice() const;

    QList<SerialDeviceInfo> m_devices;
    bool m_holdersComplete = true;
    TcpCheck *m_check;
    int m_storedTimeout = 0;
};

// The window while it exists; set and cleared by the main window that shows it.
extern TFPorts *FPorts;
