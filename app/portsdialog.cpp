#include "app/portsdialog.h"

#include "bus/portmap.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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

TFPorts::TFPorts(QWidget *owner, int port) : QDialog(owner)
{
    setObjectName(QStringLiteral("FPorts"));
    setWindowTitle(QStringLiteral("Порты"));
    setModal(true);
    resize(1160, 640);

    auto *layout = new QVBoxLayout(this);
    buildDeviceTable(layout);
    buildPortTable(layout);

    LabelHelp = new QLabel(QStringLiteral("Выберите номер порта и устройство и нажмите «Назначить». Устройство "
                                          "запоминается по постоянному имени, поэтому назначение сохраняется "
                                          "при переподключении адаптера."),
                           this);
    LabelHelp->setObjectName(QStringLiteral("LabelHelp"));
    LabelHelp->setWordWrap(true);
    layout->addWidget(LabelHelp);

    connect(BitBtnAssign, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnAssignClick(); }); });
    connect(BitBtnDefault, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnDefaultClick(); }); });
    connect(BitBtnRefresh, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnRefreshClick(); }); });
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(StringGridDevices, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(StringGridPorts, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });

    fillDevices();
    fillPorts();
    selectPort(port);
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

void TFPorts::buildPortTable(QVBoxLayout *layout)
{
    auto *portsLabel = new QLabel(QStringLiteral("Номера портов программы:"), this);
    layout->addWidget(portsLabel);
    auto *lower = new QHBoxLayout;
    StringGridPorts = makeGrid("StringGridPorts",
                               {QStringLiteral("Порт"), QStringLiteral("Устройство"), QStringLiteral("Назначение"),
                                QStringLiteral("Сейчас")},
                               this);
    portsLabel->setBuddy(StringGridPorts);
    lower->addWidget(StringGridPorts, 1);

    auto *buttons = new QVBoxLayout;
    const auto makeButton = [this, buttons](const char *name, const QString &caption, const QString &tip) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    BitBtnAssign = makeButton("BitBtnAssign", QStringLiteral("Назначить"),
                              QStringLiteral("Назначить выбранное устройство выбранному номеру порта"));
    BitBtnDefault = makeButton("BitBtnDefault", QStringLiteral("По умолчанию"),
                               QStringLiteral("Вернуть номеру порта устройство по умолчанию"));
    BitBtnRefresh = makeButton("BitBtnRefresh", QStringLiteral("Обновить"),
                               QStringLiteral("Прочитать список устройств заново"));
    buttons->addStretch(1);
    BitBtnClose = makeButton("BitBtnClose", QStringLiteral("Закрыть"), QString());
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
