#include "app/portsdialog.h"

#include "bus/portmap.h"
#include "bus/tcp/tcpaddress.h"
#include "bus/tcp/tcpcheck.h"
#include "settings/formstorage.h"
#include "widgets/buttons.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

TFPorts *FPorts = nullptr;

namespace {

QTableWidget *makeGrid(const char *name, const QStringList &headers, QWidget *parent)
{
    auto *grid = new QTableWidget(0, int(headers.size()), parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setHorizontalHeaderLabels(headers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setAlternatingRowColors(true);
    grid->setWordWrap(false);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return grid;
}

void setCell(QTableWidget *grid, int row, int column, const QString &text, const QString &tip = QString())
{
    auto *item = new QTableWidgetItem(text);
    if (!tip.isEmpty())
        item->setToolTip(tip);
    grid->setItem(row, column, item);
}

QString holdersText(const QList<DeviceHolder> &holders)
{
    QStringList named;
    for (const DeviceHolder &holder : holders)
        named << (holder.name.isEmpty() ? QString::number(holder.pid)
                                        : QStringLiteral("%1 (%2)").arg(QString::number(holder.pid), holder.name));
    return QStringLiteral("занят: ") + named.join(QStringLiteral(", "));
}

} // namespace

TFPorts::TFPorts(QWidget *owner, int port) : QDialog(owner), m_check(new TcpCheck(this))
{
    setObjectName(QStringLiteral("FPorts"));
    setWindowTitle(QStringLiteral("Порты"));
    setModal(true);
    resize(1160, 720);

    auto *layout = new QVBoxLayout(this);
    buildDeviceTable(layout);
    buildPortTable(layout);
    buildNetworkPanel(layout);

    LabelHelp = new QLabel(QStringLiteral("Выберите номер порта и устройство и нажмите «Назначить». Устройство "
                                          "запоминается по постоянному имени, поэтому назначение сохраняется "
                                          "при переподключении адаптера. Для шины за преобразователем RS-485/Ethernet "
                                          "введите его адрес и нажмите «Назначить адрес»; «По умолчанию» снимает "
                                          "любое назначение."),
                           this);
    LabelHelp->setObjectName(QStringLiteral("LabelHelp"));
    LabelHelp->setWordWrap(true);
    layout->addWidget(LabelHelp);

    connect(BitBtnAssign, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnAssignClick(); }); });
    connect(BitBtnDefault, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnDefaultClick(); }); });
    connect(BitBtnRefresh, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnRefreshClick(); }); });
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(StringGridDevices, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(StringGridPorts, &QTableWidget::itemSelectionChanged, this, [this] {
        showSelectedAddress();
        updateButtons();
    });
    connect(BitBtnAssignAddress, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { BitBtnAssignAddressClick(); }); });
    connect(BitBtnCheck, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnCheckClick(); }); });
    connect(EditAddress, &QLineEdit::textChanged, this, [this] { updateButtons(); });

    fillDevices();
    fillPorts();
    selectPort(port);
    showSelectedAddress();
    updateButtons();
}

void TFPorts::buildDeviceTable(QVBoxLayout *layout)
{
    auto *devicesLabel = new QLabel(QStringLiteral("Последовательные устройства компьютера:"), this);
    layout->addWidget(devicesLabel);
    StringGridDevices = makeGrid("StringGridDevices",
                                 {QStringLiteral("Устройство"), QStringLiteral("Постоянное имя"),
                                  QStringLiteral("Описание"), QStringLiteral("Изготовитель"),
                                  QStringLiteral("Серийный №"), QStringLiteral("VID:PID"),
                                  QStringLiteral("Состояние"), QStringLiteral("Доступ"),
                                  QStringLiteral("Задержка, мс")},
                                 this);
    StringGridDevices->horizontalHeaderItem(ColById)->setToolTip(
        QStringLiteral("Имя в /dev/serial/by-id: не меняется при переподключении адаптера"));
    StringGridDevices->horizontalHeaderItem(ColAccess)->setToolTip(
        QStringLiteral("Может ли текущий пользователь открыть устройство"));
    StringGridDevices->horizontalHeaderItem(ColLatency)->setToolTip(
        QStringLiteral("Таймер задержки USB-адаптера (latency_timer): столько адаптер держит "
                       "принятые байты, прежде чем передать их компьютеру"));
    devicesLabel->setBuddy(StringGridDevices);
    // by-id names run long; the whole name is in the tooltip.
    StringGridDevices->setTextElideMode(Qt::ElideMiddle);
    layout->addWidget(StringGridDevices, 2);
}

void TFPorts::buildNetworkPanel(QVBoxLayout *layout)
{
    auto *group = new QGroupBox(QStringLiteral("Сетевой порт: преобразователь RS-485/Ethernet в режиме TCP-сервера"), this);
    group->setObjectName(QStringLiteral("GroupBoxNetwork"));
    auto *grid = new QGridLayout(group);
    auto *addressLabel = new QLabel(QStringLiteral("Адрес:"), group);
    EditAddress = new QLineEdit(group);
    EditAddress->setObjectName(QStringLiteral("EditAddress"));
    EditAddress->setPlaceholderText(tcpAddressExample());
    EditAddress->setToolTip(QStringLiteral("tcp://IP-адрес:порт, tcp://[адрес IPv6]:порт или tcp://имя:порт"));
    EditAddress->setClearButtonEnabled(true);
    EditAddress->installEventFilter(this);
    addressLabel->setBuddy(EditAddress);
    BitBtnAssignAddress = makeButton(QStringLiteral("BitBtnAssignAddress"), QStringLiteral("Назначить адрес"), group,
                                     QStringLiteral("Назначить сетевой адрес выбранному номеру порта"));
    BitBtnCheck = makeButton(QStringLiteral("BitBtnCheck"), QStringLiteral("Проверить"), group,
                             QStringLiteral("Подключиться к адресу и сообщить, сколько это заняло или почему не удалось"));
    auto *timeoutLabel = new QLabel(QStringLiteral("Таймаут подключения, мс:"), group);
    RxSpinEditConnectTimeout = new TRxSpinEdit(group);
    RxSpinEditConnectTimeout->setObjectName(QStringLiteral("RxSpinEditConnectTimeout"));
    RxSpinEditConnectTimeout->setMinValue(ConnectTimeoutMinMs);
    RxSpinEditConnectTimeout->setMaxValue(ConnectTimeoutMaxMs);
    RxSpinEditConnectTimeout->setIncrement(500);
    RxSpinEditConnectTimeout->setCheckOnExit(true);
    m_storedTimeout = ConnectTimeoutMs(TFormStorage::filePath());
    RxSpinEditConnectTimeout->setValue(m_storedTimeout);
    RxSpinEditConnectTimeout->setToolTip(QStringLiteral("Сколько ждать подключения к сетевому порту при поиске и "
                                                        "проверке (для всех сетевых портов)"));
    timeoutLabel->setBuddy(RxSpinEditConnectTimeout);
    LabelCheck = new QLabel(group);
    LabelCheck->setObjectName(QStringLiteral("LabelCheck"));
    LabelCheck->setWordWrap(true);
    LabelCheck->setTextInteractionFlags(Qt::TextSelectableByMouse);

    grid->addWidget(addressLabel, 0, 0);
    grid->addWidget(EditAddress, 0, 1);
    grid->addWidget(BitBtnAssignAddress, 0, 2);
    grid->addWidget(BitBtnCheck, 0, 3);
    grid->addItem(new QSpacerItem(24, 0), 0, 4);
    grid->addWidget(timeoutLabel, 0, 5);
    grid->addWidget(RxSpinEditConnectTimeout, 0, 6);
    grid->addWidget(LabelCheck, 1, 1, 1, 6);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group);
}

void TFPorts::buildPortTable(QVBoxLayout *layout)
{
    auto *portsLabel = new QLabel(QStringLiteral("Номера портов программы:"), this);
    layout->addWidget(portsLabel);
    auto *lower = new QHBoxLayout;
    StringGridPorts = makeGrid("StringGridPorts",
                               {QStringLiteral("Порт"), QStringLiteral("Устройство или адрес"), QStringLiteral("Назначение"),
                                QStringLiteral("Сейчас")},
                               this);
    portsLabel->setBuddy(StringGridPorts);
    lower->addWidget(StringGridPorts, 1);

    auto *buttons = new QVBoxLayout;
    const auto addButton = [this, buttons](const char *name, const QString &caption, const QString &tip) {
        QPushButton *button = makeButton(QString::fromLatin1(name), caption, this, tip);
        buttons->addWidget(button);
        return button;
    };
    BitBtnAssign = addButton("BitBtnAssign", QStringLiteral("Назначить"),
                             QStringLiteral("Назначить выбранное устройство выбранному номеру порта"));
    BitBtnDefault = addButton("BitBtnDefault", QStringLiteral("По умолчанию"),
                              QStringLiteral("Вернуть номеру порта устройство по умолчанию (сетевой адрес удаляется)"));
    BitBtnRefresh = addButton("BitBtnRefresh", QStringLiteral("Обновить"),
                              QStringLiteral("Прочитать список устройств заново"));
    buttons->addStretch(1);
    BitBtnClose = addButton("BitBtnClose", QStringLiteral("Закрыть"), QString());
    BitBtnClose->setDefault(true);
    lower->addLayout(buttons);
    layout->addLayout(lower, 3);
}

void TFPorts::fillDevices()
{
    const SerialSystem &system = serialSystem();
    const QString previous = selectedDevice() >= 0 ? m_devices.at(selectedDevice()).deviceFile : QString();
    m_devices = listSerialDevices(system, &m_holdersComplete);

    QTableWidget *grid = StringGridDevices;
    grid->clearContents();
    grid->setRowCount(int(m_devices.size()));
    for (int row = 0; row < m_devices.size(); ++row) {
        const SerialDeviceInfo &device = m_devices.at(row);
        setCell(grid, row, ColDevice, device.deviceFile);
        setCell(grid, row, ColById, QFileInfo(device.byIdPath).fileName(), device.byIdPath);
        setCell(grid, row, ColDescription, device.description);
        setCell(grid, row, ColManufacturer, device.manufacturer);
        setCell(grid, row, ColSerial, device.serialNumber);
        setCell(grid, row, ColUsbId, device.usbId);
        if (!device.holders.isEmpty())
            setCell(grid, row, ColState, holdersText(device.holders));
        else if (m_holdersComplete)
            setCell(grid, row, ColState, QStringLiteral("свободен"));
        else
            setCell(grid, row, ColState, QStringLiteral("не открыт вашими программами"),
                    QStringLiteral("Программы других пользователей видны только администратору"));
        if (device.accessible)
            setCell(grid, row, ColAccess, QStringLiteral("есть"));
        else if (device.file.type == DeviceFile::Type::Missing)
            setCell(grid, row, ColAccess, QStringLiteral("нет"));
        else
            setCell(grid, row, ColAccess, QStringLiteral("нет (группа %1)").arg(system.groupName(device.file.group)));
        setCell(grid, row, ColLatency, device.latencyMs >= 0 ? QString::number(device.latencyMs) : QString());
        if (device.deviceFile == previous)
            grid->selectRow(row);
    }
    grid->resizeColumnsToContents();
    for (const auto &[column, width] : {std::pair{ColById, 210}, std::pair{ColDescription, 170}})
        grid->setColumnWidth(column, qMin(grid->columnWidth(column), width));
    grid->horizontalHeader()->setStretchLastSection(true);
}

void TFPorts::fillPorts()
{
    const SerialSystem &system = serialSystem();
    const QString settings = TFormStorage::filePath();
    const int selected = selectedPort();
    QTableWidget *grid = StringGridPorts;
    grid->clearContents();
    grid->setRowCount(PortCount);
    for (int port = 1; port <= PortCount; ++port) {
        const int row = port - 1;
        const QString device = ResolvePort(settings, port);
        setCell(grid, row, ColNumber, QString::number(port));
        setCell(grid, row, ColPortDevice, device);
        setCell(grid, row, ColAssignment,
                ConfiguredPort(settings, port).isEmpty() ? QStringLiteral("по умолчанию") : QStringLiteral("назначено"));
        if (isNetworkAddress(device)) {
            // Whether the server answers only "Проверить" can tell; a typo in the file shows here.
            QString error;
            if (TcpAddress::parse(device, &error))
                setCell(grid, row, ColNow, QStringLiteral("сетевой порт"));
            else
                setCell(grid, row, ColNow, QStringLiteral("ошибка в адресе"), displayText(error));
            continue;
        }
        QString now = QStringLiteral("нет устройства");
        if (statDevice(system, device).type != DeviceFile::Type::Missing) {
            const QString resolved = resolveDevicePath(system, device);
            now = resolved == device ? QStringLiteral("есть") : resolved;
        }
        setCell(grid, row, ColNow, now);
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    if (selected > 0)
        selectPort(selected);
}

void TFPorts::updateButtons()
{
    const int port = selectedPort();
    const int device = selectedDevice();
    const QString configured = port > 0 ? ConfiguredPort(TFormStorage::filePath(), port) : QString();
    BitBtnAssign->setEnabled(port > 0 && device >= 0 && m_devices.at(device).stablePath() != configured);
    BitBtnDefault->setEnabled(port > 0 && !configured.isEmpty());
    const QString typed = EditAddress->text().trimmed();
    BitBtnAssignAddress->setEnabled(port > 0 && !typed.isEmpty() && typed != configured && !m_check->isRunning());
    BitBtnCheck->setEnabled(!typed.isEmpty() && !m_check->isRunning());
}

int TFPorts::selectedPort() const
{
    const QList<QTableWidgetSelectionRange> ranges = StringGridPorts->selectedRanges();
    return ranges.isEmpty() ? 0 : ranges.first().topRow() + 1;
}

void TFPorts::selectPort(int port)
{
    if (port >= 1 && port <= PortCount)
        StringGridPorts->selectRow(port - 1);
}

int TFPorts::selectedDevice() const
{
    const QList<QTableWidgetSelectionRange> ranges = StringGridDevices->selectedRanges();
    if (ranges.isEmpty())
        return -1;
    const int row = ranges.first().topRow();
    return row < m_devices.size() ? row : -1;
}

void TFPorts::BitBtnAssignClick()
{
    const int port = selectedPort();
    const int device = selectedDevice();
    if (port <= 0 || device < 0)
        return;
    AssignPort(TFormStorage::filePath(), port, m_devices.at(device).stablePath());
    fillPorts();
    updateButtons();
}

void TFPorts::BitBtnDefaultClick()
{
    const int port = selectedPort();
    if (port <= 0)
        return;
    AssignPort(TFormStorage::filePath(), port, QString());
    fillPorts();
    updateButtons();
}

void TFPorts::BitBtnRefreshClick()
{
    fillDevices();
    fillPorts();
    updateButtons();
}

void TFPorts::showSelectedAddress()
{
    const int port = selectedPort();
    const QString configured = port > 0 ? ConfiguredPort(TFormStorage::filePath(), port) : QString();
    // The selected number's address is there to be edited; a serial port leaves the field for a new one.
    EditAddress->setText(isNetworkAddress(configured) ? configured.trimmed() : QString());
}

void TFPorts::BitBtnAssignAddressClick()
{
    const int port = selectedPort();
    if (port <= 0)
        return;
    QString error;
    const std::optional<TcpAddress> address = TcpAddress::parse(EditAddress->text(), &error);
    if (!address) {
        showError(this, error);
        EditAddress->setFocus();
        return;
    }
    AssignPort(TFormStorage::filePath(), port, address->text());
    fillPorts();
    showSelectedAddress();
    updateButtons();
}

void TFPorts::BitBtnCheckClick()
{
    if (m_check->isRunning())
        return;
    QString error;
    const std::optional<TcpAddress> address = TcpAddress::parse(EditAddress->text(), &error);
    if (!address) {
        showCheck(false, error);
        return;
    }
    showCheck(true, QStringLiteral("Подключение к %1...").arg(address->hostPort()));
    LabelCheck->setStyleSheet(QString());
    // The window stays live while it connects; these wait for the answer.
    BitBtnCheck->setEnabled(false);
    BitBtnAssignAddress->setEnabled(false);
    const TcpCheck::Result result = m_check->run(address->text(), RxSpinEditConnectTimeout->IntValue());
    updateButtons();
    if (result.cancelled)
        LabelCheck->clear();
    else
        showCheck(result.connected, result.text);
}

void TFPorts::showCheck(bool good, const QString &text)
{
    LabelCheck->setText(displayText(text));
    LabelCheck->setStyleSheet(good ? QStringLiteral("color: #106010;") : QStringLiteral("color: #b00000;"));
}

bool TFPorts::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the address field assigns it rather than closing the window.
    if (watched == EditAddress && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (BitBtnAssignAddress->isEnabled())
                guarded(this, [this] { BitBtnAssignAddressClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFPorts::done(int result)
{
    // Closing while a check connects ends it; it reports nothing then.
    m_check->cancel();
    const int timeout = RxSpinEditConnectTimeout->IntValue();
    if (timeout != m_storedTimeout) {
        guarded(this, [&] { SetConnectTimeoutMs(TFormStorage::filePath(), timeout); });
        m_storedTimeout = timeout;
    }
    QDialog::done(result);
}
