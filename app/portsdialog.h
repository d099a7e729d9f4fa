#pragma once

#include "bus/serial/serialdevices.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

// "Порты": the serial devices of the computer, and which device each port number
// 1..16 of the main window opens. A device is assigned under its stable by-id name
// where it has one, so the assignment survives re-plugging the adapter.
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

    int selectedPort() const;  // 1..16, 0 when none
    void selectPort(int port);
    const QList<SerialDeviceInfo> &devices() const { return m_devices; }

    QTableWidget *StringGridDevices;
    QTableWidget *StringGridPorts;
    QPushButton *BitBtnAssign, *BitBtnDefault, *BitBtnRefresh, *BitBtnClose;
    QLabel *LabelHelp;

private:
    void buildDeviceTable(QVBoxLayout *layout);
    void buildPortTable(QVBoxLayout *layout);
    void fillDevices();
    void fillPorts();
    void updateButtons();
    int selectedDevice() const;

    QList<SerialDeviceInfo> m_devices;
    bool m_holdersComplete = true;
};

// The window while it exists; set and cleared by the main window that shows it.
extern TFPorts *FPorts;
