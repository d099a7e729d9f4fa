#include "app/mainwindow.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "monitor/monitorwindow.h"
#include "sim/relays.h"
#include "support/mainwindowrig.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"
#include "support/wire.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace monitor;

class TestMonitorWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<TFOrvekConfigurator> m_main;

    TFOrvekConfigurator &main() { return *m_main; }

    void addKrv(int address)
    {
        auto *d = m_bus->addDevice(std::make_unique<sim::KrvDevice>(static_cast<std::uint8_t>(address)));
        d->live = false;
    }

    void setRange(int first, int last)
    {
        main().RxSpinEdit3->setValue(last);
        main().RxSpinEdit2->setValue(first);
    }

    TFMonitor *openMonitor()
    {
        main().BitBtnMonitorClick();
        TFMonitor *monitor = main().monitor();
        return monitor && QTest::qWaitForWindowExposed(monitor) ? monitor : nullptr;
    }

    static QString cell(const QAbstractItemModel *model, int row, int column)
    {
        return model->index(row, column).data().toString();
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_bus = std::make_unique<sim::Bus>();
        tuneForTests(*m_bus);
        m_main = mainWindowOn(*m_bus);
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    }

    void cleanup()
    {
        m_main.reset();
        m_bus.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void searchShowsEachProbeAndItsAnswer()
    {
        addKrv(2);
        setRange(1, 2);
        main().setWindowOpener(DeviceWindowKind::KRV, [](DeviceHost &, QWidget *) {});
        TFMonitor *monitor = openMonitor();
        QVERIFY(monitor);
        main().BitBtnKRVClick(TagKRV);
        QTRY_VERIFY_WITH_TIMEOUT(!main().VaComm1->Active(), 5000);
        const QAbstractItemModel *rows = &monitor->frames();
        QTRY_COMPARE(rows->rowCount(), 6);
        const QString probe = QStringLiteral("чтение входных регистров 0x0000..0x0002 (3)");
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(cell(rows, row, ColumnDirection), QStringLiteral("->"));
            QCOMPARE(cell(rows, row, ColumnAddress), QStringLiteral("1"));
            QCOMPARE(cell(rows, row, ColumnBytes), QStringLiteral("01 04 00 00 00 03 B0 0B"));
            QCOMPARE(cell(rows, row, ColumnMeaning), probe + QStringLiteral("; нет ответа"));
        }
        QCOMPARE(cell(rows, 4, ColumnAddress), QStringLiteral("2"));
        QCOMPARE(cell(rows, 4, ColumnMeaning), probe);
        QCOMPARE(cell(rows, 5, ColumnDirection), QStringLiteral("<-"));
        QCOMPARE(cell(rows, 5, ColumnBytes), QString::fromLatin1(wireHex("020406000C00020069").toHex(' ').toUpper()));
        QCOMPARE(cell(rows, 5, ColumnCrc), QStringLiteral("верна"));
        QCOMPARE(cell(rows, 5, ColumnMeaning), QStringLiteral("входные регистры 0x0000..0x0002 (3): 12 2 105"));
        QVERIFY(!cell(rows, 5, ColumnResponse).isEmpty());

        const auto &statistics = monitor->statistics().rows();
        QCOMPARE(statistics.size(), std::size_t(2));
        QCOMPARE(statistics[0].requests, quint64(4));
        QCOMPARE(statistics[0].lost, quint64(4));
        QCOMPARE(statistics[1].requests, quint64(1));
        QCOMPARE(statistics[1].answers, quint64(1));
        QVERIFY(statistics[1].medianUs.has_value());

        // Only the errors, and only they are saved.
        monitor->CheckBoxErrors->click();
        QCOMPARE(rows->rowCount(), 4);
        const QString path = m_fixture->path(QStringLiteral("errors.csv"));
        m_fixture->dialogs.answerSave(path);
        monitor->BitBtnSaveCsv->click();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 6); // header, four frames, the empty rest after the last line end
        QVERIFY(lines.at(1).contains(",->,1,01 04 00 00 00 03 B0 0B,верна,"));

        monitor->BitBtnClear->click();
        QCOMPARE(rows->rowCount(), 0);
        QVERIFY(monitor->statistics().rows().empty());
    }

    void pausedViewCatchesUpOnContinue()
    {
        TFMonitor *monitor = openMonitor();
        QVERIFY(monitor);
        monitor->BitBtnPause->click();
        QVERIFY(monitor->isPaused());
        m_fixture->dialogs.expectWarning(QStringLiteral("Устройства в заданном даипазоне адресов (от 1 до 1) не "
                                                        "обнаружены!\rПроверьте параметры подключения и повторите поиск."));
        main().BitBtnKRVClick(TagKRV);
        QTRY_VERIFY_WITH_TIMEOUT(!main().VaComm1->Active(), 5000);
        monitor->TimerBatchTimer();
        QCOMPARE(monitor->frames().rowCount(), 0);
        monitor->BitBtnPause->click();
        QCOMPARE(monitor->frames().rowCount(), 4);
        // The last probe found unanswered when the port closed.
        QCOMPARE(monitor->statistics().rows().at(0).lost, quint64(4));
    }

    // A device window blocks the main window only: the monitor opens by Ctrl+M
    // from the device window and takes a click while the device window runs.
    void monitorTakesInputWhileADeviceWindowIsOpen()
    {
        addKrv(1);
        bool opened = false, paused = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!FKRV || !FKRV->isVisible() || opened)
                return;
            opened = true;
            QTest::keyClick(FKRV, Qt::Key_M, Qt::ControlModifier);
            TFMonitor *monitor = main().monitor();
            if (monitor && QTest::qWaitForWindowExposed(monitor)) {
                QWindow *window = monitor->windowHandle();
                const QPoint centre = monitor->BitBtnPause->mapTo(monitor, monitor->BitBtnPause->rect().center());
                QTest::mouseClick(window, Qt::LeftButton, {}, centre);
                paused = monitor->isPaused();
            }
            FKRV->close();
        });
        poll.start(20);
        main().BitBtnKRVClick(TagKRV);
        QTRY_VERIFY_WITH_TIMEOUT(opened && !main().VaComm1->Active(), 5000);
        QVERIFY(main().monitor());
        QVERIFY(paused);
    }

    void modelDropsTheOldestRows()
    {
        FrameTableModel model(3);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        std::vector<BusFrame> frames(5);
        for (quint64 i = 0; i < frames.size(); ++i)
            frames[i].seq = i;
        model.append({frames[0], frames[1]});
        model.append({frames[2], frames[3], frames[4]});
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(model.log().at(0).seq, quint64(2));
        model.markUnanswered({1, 3}); // 1 is gone already
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.index(1, 0).data(FrameTableModel::ProblemRole).toInt(), int(Problem::NoAnswer));

        // Errors only: the rows are the frames with a problem, in order, however they became one.
        model.setErrorsOnly(true);
        QCOMPARE(model.rowCount(), 1);
        BusFrame damaged;
        damaged.seq = 5;
        damaged.problem = Problem::Crc;
        model.append({damaged}); // pushes out seq 2
        QCOMPARE(model.rowCount(), 2);
        model.markUnanswered({4});
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.frameAt(0).seq, quint64(3));
        QCOMPARE(model.frameAt(1).seq, quint64(4));
        QCOMPARE(model.frameAt(2).seq, quint64(5));
        BusFrame good;
        good.seq = 6;
        model.append({good}); // pushes out seq 3, an error row
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.frameCount(), 3);
    }
};

QTEST_MAIN(TestMonitorWindow)
#include "test_monitorwindow.moc"
