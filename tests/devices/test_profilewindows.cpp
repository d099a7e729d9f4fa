#include "devices/b7720qmain.h"
#include "devices/m7051main.h"
#include "devices/m7051protocol.h"
#include "devices/mlxmain.h"
#include "devices/zdltmain.h"
#include "settings/formstorage.h"
#include "sim/modules.h"
#include "sim/relays.h"
#include "sim/thermal.h"
#include "support/fakelink.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"
#include "widgets/vrblinkled.h"
#include "widgets/vrdigitgroup.h"

#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");
}

// The ZDLT-1, B-7720Q, M-7051D and temperature sensor windows: what their device
// profiles change in the common window.
class TestProfileWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<SimHost> m_host;

    template <typename T>
    static T *child(QWidget *w, const QString &name)
    {
        return component<T>(w, name);
    }
    static QString text(QWidget *w, const char *name) { return child<QLabel>(w, QString::fromLatin1(name))->text(); }

    void showOnOpenPort(TDeviceWindow &window)
    {
        m_host->comm.Open();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        window.BitBtnStartClick();
        child<QTimer>(&window, QStringLiteral("TimerTest"))->stop();
    }
    [[nodiscard]] bool exchange(TDeviceWindow &window, int answerBytes) { return m_host->exchange(window, answerBytes); }
    void stopExpectingTheSummaryBox(TDeviceWindow &window)
    {
        m_dialogs->expectInformation(Finished);
        window.BitBtnStopClick();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_dialogs = &m_fixture->dialogs;
        m_host = std::make_unique<SimHost>();
    }
    void cleanup()
    {
        m_host.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void zdltVoltagesFollowTheClass()
    {
        auto *zdlt = static_cast<sim::ZdltDevice *>(m_host->bus.addDevice(std::make_unique<sim::ZdltDevice>(1)));
        zdlt->live = false;
        zdlt->registers[sim::ZdltDevice::Ua] = 100;
        zdlt->registers[sim::ZdltDevice::Ub] = 0;
        zdlt->registers[sim::ZdltDevice::Uc] = 65535;
        zdlt->registers[sim::ZdltDevice::Frequency] = 499;
        TFZDLT window(*m_host, nullptr);
        auto *kv = child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditkV"));
        kv->setValue(6);
        showOnOpenPort(window);
        QVERIFY(exchange(window, 33));
        QCOMPARE(text(&window, "StaticTextUa"), QStringLiteral("5900"));
        QCOMPARE(text(&window, "StaticTextUb"), QStringLiteral("0"));
        QCOMPARE(text(&window, "StaticTextF"), QStringLiteral("49,9"));
        kv->stepBy(1); // class 10, read at the next answer
        QCOMPARE(kv->IntValue(), 10);
        QVERIFY(exchange(window, 33));
        QCOMPARE(text(&window, "StaticTextUa"), QStringLiteral("9900"));
        QCOMPARE(text(&window, "StaticTextUc"), QStringLiteral("6487965"));

        stopExpectingTheSummaryBox(window);
        QCOMPARE(text(&window, "StaticTextUa"), QStringLiteral("????????,??"));
        const QStringList j = window.journalLines();
        const int at = j.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ ZDLT-1]"));
        QVERIFY(at > 0);
        QCOMPARE(j.mid(at + 1, 3), (QStringList{QStringLiteral("Класс напряжения: 10"),
                                                QStringLiteral("Сетевой адрес: 1"),
                                                QStringLiteral("Скорость обмена: 19200")}));
        QVERIFY(j.contains(QStringLiteral("[ДИАГНОСТИКА ZDLT-1]")));
    }

    void zdltHasNoIdentificationNorAddressChange()
    {
        TFZDLT window(*m_host, nullptr);
        m_host->comm.Open();
        window.show();
        QCOMPARE(text(&window, "StaticTextCode"), QStringLiteral("нет"));
        QCOMPARE(text(&window, "StaticTextVer"), QStringLiteral("нет"));
        QVERIFY(!child<QPushButton>(&window, QStringLiteral("BitBtnAddr"))->isEnabled());
        QVERIFY(!child<QPushButton>(&window, QStringLiteral("BitBtnBaud"))->isEnabled());
        window.BitBtnStartClick();
        stopExpectingTheSummaryBox(window);
        QVERIFY(!child<QPushButton>(&window, QStringLiteral("BitBtnAddr"))->isEnabled());
        m_dialogs->answerSave(QString());
        m_dialogs->expectInformation(QStringLiteral("Журнал не сохранен!"));
        window.BitBtnReportClick();
        QCOMPARE(m_dialogs->texts("information").last(), QStringLiteral("Журнал не сохранен!"));
        QVERIFY(m_dialogs->lastSaveProposal.contains(QStringLiteral("ZDLT-")));
    }

    void b7720qInputsOnLeds()
    {
        auto *module = static_cast<sim::B7720qDevice *>(m_host->bus.addDevice(std::make_unique<sim::B7720qDevice>(1)));
        module->live = false;
        module->inputs = 0x81;
        TFB7720Q window(*m_host, nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Модуль ввода/вывода B-7720Q (8xDi/8Do)"));
        QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("BitBtnAddr")));
        QCOMPARE(child<QPlainTextEdit>(&window, QStringLiteral("Memo1"))->toolTip(), QString());
        QCOMPARE(child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditTimeOut"))->IntValue(), 1000);
        QCOMPARE(child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditTimeOut"))->MinValue(), 30.0);
        showOnOpenPort(window);
        QVERIFY(exchange(window, 6));
        for (int k = 0; k < 8; ++k) {
            auto *led = child<TVrBlinkLed>(&window, QStringLiteral("VrBlinkLedBit%1").arg(k));
            QCOMPARE(led->Caption(), QStringLiteral("Di%1").arg(k));
            QCOMPARE(led->ColorIndex(), (k == 0 || k == 7) ? 2 : 1);
        }
        module->inputs = 0x00;
        QVERIFY(exchange(window, 6));
        QCOMPARE(child<TVrBlinkLed>(&window, QStringLiteral("VrBlinkLedBit0"))->ColorIndex(), 1);

        stopExpectingTheSummaryBox(window);
        const QStringList j = window.journalLines();
        const int at = j.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ B-7720Q]"));
        QVERIFY(at > 0);
        QCOMPARE(j.mid(at + 1, 3), (QStringList{QStringLiteral("Firmware Version:B3.00"),
                                                QStringLiteral("Сетевой адрес:1"),
                                                QStringLiteral("Скорость обмена:19200")}));
        QCOMPARE(text(&window, "StaticTextCode"), QStringLiteral("нет"));
    }

    void m7051IdentificationAndInputs()
    {
        auto *module = static_cast<sim::M7051Device *>(m_host->bus.addDevice(std::make_unique<sim::M7051Device>(1)));
        module->live = false;
        module->version = {2, 5, 17};
        module->inputs = 0x8001; // data bytes 0x01 and 0x80
        m_host->comm.Open();
        SendModuleCommand(m_host->frames(), 1, 0x20);
        QVERIFY(m_host->probe(8));
        TFM7051 window(*m_host, nullptr);
        window.show();
        QCOMPARE(text(&window, "StaticTextVer"), QStringLiteral("2.5.17"));
        QCOMPARE(text(&window, "StaticTextCode"), QStringLiteral("нет"));
        window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        window.BitBtnStartClick();
        child<QTimer>(&window, QStringLiteral("TimerTest"))->stop();
        QVERIFY(child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditAddr"))->isEnabled());
        QVERIFY(exchange(window, 7));
        for (int n = 0; n < 16; ++n)
            QCOMPARE(child<TVrBlinkLed>(&window, QStringLiteral("VrBlinkLedBit%1").arg(n))->ColorIndex(),
                     (n == 0 || n == 15) ? 2 : 1);
        QCOMPARE(child<TVrBlinkLed>(&window, QStringLiteral("VrBlinkLedBit0"))->Palette(2).High, QColor(Qt::green));
        stopExpectingTheSummaryBox(window);
        QCOMPARE(child<TVrBlinkLed>(&window, QStringLiteral("VrBlinkLedBit15"))->ColorIndex(), 1);
        const QStringList j = window.journalLines();
        const int at = j.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ M-7051D]"));
        QCOMPARE(j.mid(at + 1, 3), (QStringList{QStringLiteral("Firmware Version:2.5.17"),
                                                QStringLiteral("Сетевой адрес:1"),
                                                QStringLiteral("Скорость обмена:19200")}));
    }

    void m7051AddressAndBaudThroughFunction70_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("code");
        QTest::newRow("28800 has no code of its own") << 28800 << 6;
        QTest::newRow("115200") << 115200 << 10;
    }
    void m7051AddressAndBaudThroughFunction70()
    {
        QFETCH(int, baud);
        QFETCH(int, code);
        auto *module = static_cast<sim::M7051Device *>(m_host->bus.addDevice(std::make_unique<sim::M7051Device>(1)));
        TFM7051 window(*m_host, nullptr);
        m_host->comm.Open();
        window.show();
        const QList<QByteArray> &requests = m_host->requestsFromNow();
        child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditAddr"))->setValue(9);
        m_dialogs->answerQuestion(QStringLiteral("Вы действительно хотите изменить сетевой адрес?"), true);
        m_dialogs->expectInformation(QStringLiteral("Новый сетевой адрес записан успешно!"));
        window.BitBtnAddrClick();
        QCOMPARE(requests.value(0).left(7).toHex(), QByteArray("01460409000000"));
        QCOMPARE(text(&window, "StaticTextAddr"), QStringLiteral("9"));
        QCOMPARE(int(module->address()), 9);

        child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditBaud"))->setValue(baud);
        QCOMPARE(child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditBaud"))->IntValue(), baud);
        m_dialogs->answerQuestion(QStringLiteral("Вы действительно хотите изменить скорость обмена?"), true);
        m_dialogs->expectInformation(QStringLiteral("Новое значение скорости обмена записано успешно!\rИзменения "
                                                    "вступят в силу только после выключения питания устройства!"));
        window.BitBtnBaudClick();
        QCOMPARE(requests.value(1).left(11).toHex(),
                 QByteArray("0946060000000000010000").replace(8, 2, QByteArray::number(code, 16).rightJustified(2, '0')));
        QVERIFY(!window.isVisible());
    }

    void m7051Function70WriteRefused()
    {
        auto *module = static_cast<sim::M7051Device *>(m_host->bus.addDevice(std::make_unique<sim::M7051Device>(1)));
        module->faults.exceptionCode = 4;
        module->script.push_back(sim::Action::Refuse);
        TFM7051 window(*m_host, nullptr);
        m_host->comm.Open();
        window.show();
        child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditAddr"))->setValue(9);
        m_dialogs->answerQuestion(QStringLiteral("Вы действительно хотите изменить сетевой адрес?"), true);
        m_dialogs->expectWarning(QStringLiteral("Устройство отклонило запрос!\rКод исключения: 04 (отказ устройства)\r"
                                                "Новый сетевой адрес не записан!"));
        window.BitBtnAddrClick();
        QCOMPARE(text(&window, "StaticTextAddr"), QStringLiteral("1"));
        QVERIFY(window.isVisible());
    }

    void sensorWindow()
    {
        auto *sensor = static_cast<sim::SensorDevice *>(m_host->bus.addDevice(std::make_unique<sim::SensorDevice>(5)));
        sensor->live = false;
        sensor->kt = sensor->ktPending = 80;
        m_host->device.address = 5;
        m_host->comm.Open();
        m_host->frames().SendReadHoldingRegisters(5, 0, 3);
        QVERIFY(m_host->probe(11));
        TFMLX window(*m_host, nullptr);
        window.show();
        QCOMPARE(text(&window, "StaticTextKt"), QStringLiteral("0,8"));
        QCOMPARE(text(&window, "StaticTextModel"), QStringLiteral("x90614"));
        QCOMPARE(text(&window, "StaticTextBaud"), QStringLiteral("19200"));
        QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("BitBtnBaud")));

        // The coefficient already in the sensor: nothing is sent, nothing asked.
        window.BitBtnKtClick();
        QVERIFY(m_dialogs->shown.isEmpty());

        // Every coefficient goes out as exactly its hundredths.
        auto *kt = child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditKt"));
        QCOMPARE(kt->text(), QStringLiteral("0,80"));
        for (int h = 10; h <= 100; ++h) {
            kt->setValue(h / 100.0);
            QCOMPARE(TFMLX::hundredths(kt->Value()), h);
        }

        // Address 5 -> 7 through bus address 0, without a question.
        const QList<QByteArray> &requests = m_host->requestsFromNow();
        child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditAddr"))->setValue(7);
        m_dialogs->expectInformation(QStringLiteral("Новый сетевой адрес записан успешно!"));
        window.BitBtnAddrClick();
        QVERIFY(requests.value(0).startsWith(QByteArray::fromHex("000600000007")));
        QCOMPARE(m_dialogs->texts("question"), QStringList());
        QCOMPARE(m_dialogs->texts("information"), QStringList{QStringLiteral("Новый сетевой адрес записан успешно!")});
        QCOMPARE(text(&window, "StaticTextAddr"), QStringLiteral("7"));

        // The test polls the new address, shows both temperatures, and disables the editors.
        sensor->surface = 2500;
        sensor->air = 0xFFFF;
        window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        window.BitBtnStartClick();
        child<QTimer>(&window, QStringLiteral("TimerTest"))->stop();
        QVERIFY(!kt->isEnabled());
        QVERIFY(!child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditCount"))->isEnabled());
        QVERIFY(exchange(window, 9));
        QCOMPARE(int(m_host->frames().TxFrame[0]), 7);
        QCOMPARE(child<TVrDigitGroup>(&window, QStringLiteral("VrDigitGroupT1"))->text(), QStringLiteral(" 25.00"));
        QCOMPARE(child<TVrDigitGroup>(&window, QStringLiteral("VrDigitGroupT2"))->text(), QStringLiteral("655.35"));
        stopExpectingTheSummaryBox(window);
        QVERIFY(kt->isEnabled());
        QCOMPARE(child<TVrDigitGroup>(&window, QStringLiteral("VrDigitGroupT1"))->Value(), 0.0);
        QCOMPARE(child<TVrDigitGroup>(&window, QStringLiteral("VrDigitGroupT2"))->Value(), 0.0);
        const QStringList j = window.journalLines();
        const int at = j.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ ОРТИКС-Т]"));
        QCOMPARE(j.mid(at + 1, 4), (QStringList{QStringLiteral("Firmware Version:1,0"), QStringLiteral("Сетевой адрес:7"),
                                                QStringLiteral("Скорость обмена:19200"), QString()}));

        // A new coefficient: asked, written, and the window closes.
        kt->setValue(0.53);
        m_dialogs->answerQuestion(QStringLiteral("Вы действительно хотите изменить коэффициент теплоизлучения (для "
                                                 "черненной медной шины: Kt=0,80)?"),
                                  true);
        m_dialogs->expectInformation(QStringLiteral("Новое значение коэффициента теплоизлучения записано успешно!\r"
                                                    "Необходимо перезагрузить датчик температуры по питанию!"));
        window.BitBtnKtClick();
        QCOMPARE(int(sensor->ktPending), 53);
        QCOMPARE(m_dialogs->texts("information").last(),
                 QStringLiteral("Новое значение коэффициента теплоизлучения записано успешно!\rНеобходимо "
                                "перезагрузить датчик температуры по питанию!"));
        QVERIFY(!window.isVisible());
    }

    // Centred on the screen that shows the main window, not over the main window;
    // the ZDLT-1 window keeps its place near the main window's corner.
    void placement_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("centred");
        QTest::newRow("ZDLT-1") << 0 << false;
        QTest::newRow("B-7720Q") << 1 << true;
        QTest::newRow("M-7051D") << 2 << true;
        QTest::newRow("sensor") << 3 << true;
    }
    void placement()
    {
        QFETCH(int, kind);
        QFETCH(bool, centred);
        QWidget owner;
        owner.setGeometry(40, 30, 200, 120);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        std::unique_ptr<TDeviceWindow> window;
        switch (kind) {
        case 0: window = std::make_unique<TFZDLT>(*m_host, &owner); break;
        case 1: window = std::make_unique<TFB7720Q>(*m_host, &owner); break;
        case 2: window = std::make_unique<TFM7051>(*m_host, &owner); break;
        default: window = std::make_unique<TFMLX>(*m_host, &owner); break;
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect frame = window->frameGeometry();
        if (!centred) {
            QCOMPARE(frame.topLeft(), owner.frameGeometry().topLeft() + QPoint(24, 24));
            return;
        }
        const QRect screen = owner.screen()->availableGeometry();
        QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 1);
        // A window taller than the screen keeps its title bar on it.
        const int top = qMax(screen.top(), screen.center().y() - frame.height() / 2);
        QVERIFY2(qAbs(frame.top() - top) <= 1, qPrintable(QStringLiteral("top %1, expected %2").arg(frame.top()).arg(top)));
        QVERIFY(qAbs(frame.center().x() - owner.frameGeometry().center().x()) > 1);
    }

    // One name, one widget: findChild finds the design's component, never a namesake.
    void namesAreUnique_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("ZDLT-1") << 0;
        QTest::newRow("B-7720Q") << 1;
        QTest::newRow("M-7051D") << 2;
        QTest::newRow("sensor") << 3;
    }
    void namesAreUnique()
    {
        QFETCH(int, kind);
        std::unique_ptr<TDeviceWindow> window;
        switch (kind) {
        case 0: window = std::make_unique<TFZDLT>(*m_host, nullptr); break;
        case 1: window = std::make_unique<TFB7720Q>(*m_host, nullptr); break;
        case 2: window = std::make_unique<TFM7051>(*m_host, nullptr); break;
        default: window = std::make_unique<TFMLX>(*m_host, nullptr); break;
        }
        QStringList names;
        for (const QObject *o : window->findChildren<QObject *>())
            if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_")))
                names << o->objectName();
        QStringList twice;
        for (const QString &name : names)
            if (names.count(name) > 1 && !twice.contains(name))
                twice << name;
        QVERIFY2(twice.isEmpty(), qPrintable(twice.join(QLatin1String(", "))));
    }

    // The sensor's Label1 is the coefficient's caption, in the coefficient's row.
    void sensorLabel1IsTheCoefficientCaption()
    {
        TFMLX window(*m_host, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<QLabel *> named = window.findChildren<QLabel *>(QStringLiteral("Label1"));
        QCOMPARE(named.size(), 1);
        QLabel *label = named.first();
        QCOMPARE(label->text(), QStringLiteral("Коэффициент теплоизлучения:"));
        QVERIFY(label->isVisible());
        auto *grid = qobject_cast<QGridLayout *>(label->parentWidget()->layout());
        QVERIFY(grid);
        int labelRow = -1, fieldRow = -2, column = 0, span = 0;
        grid->getItemPosition(grid->indexOf(label), &labelRow, &column, &span, &span);
        QCOMPARE(column, 0);
        grid->getItemPosition(grid->indexOf(child<QLabel>(&window, QStringLiteral("StaticTextKt"))), &fieldRow, &column,
                              &span, &span);
        QCOMPARE(labelRow, fieldRow);
        window.close();
    }

    // What the sensor window leaves in the settings file: whole numbers as they
    // are, however large, and the coefficient as a decimal fraction.
    void sensorEditorsInTheSettingsFile_data()
    {
        QTest::addColumn<double>("count");
        QTest::addColumn<double>("kt");
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("largest count") << 1000000.0 << 0.8 << 300.0
                                       << QStringList{"FormVersion=0", "RxSpinEditAddr_Value=123", "RxSpinEditKt_Value=0.8",
                                                      "RxSpinEditCount_Value=1000000", "RxSpinEditTimeOut_Value=300"};
        QTest::newRow("count of the other windows' largest")
            << 100000.0 << 0.53 << 60000.0
            << QStringList{"FormVersion=0", "RxSpinEditAddr_Value=123", "RxSpinEditKt_Value=0.53",
                           "RxSpinEditCount_Value=100000", "RxSpinEditTimeOut_Value=60000"};
    }
    void sensorEditorsInTheSettingsFile()
    {
        QFETCH(double, count);
        QFETCH(double, kt);
        QFETCH(double, interval);
        {
            TFMLX window(*m_host, nullptr);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditCount"))->setValue(count);
            child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditKt"))->setValue(kt);
            child<TRxSpinEdit>(&window, QStringLiteral("RxSpinEditTimeOut"))->setValue(interval);
            QVERIFY(window.close());
        }
        QFile file(m_fixture->settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString &line : lines)
            line = line.trimmed();
        const int at = lines.indexOf(QStringLiteral("[TFMLX]"));
        QVERIFY(at >= 0);
        QTEST(lines.mid(at + 1, 5), "stored");

        // ... and the next window reads them back.
        TFMLX again(*m_host, nullptr);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(child<TRxSpinEdit>(&again, QStringLiteral("RxSpinEditCount"))->Value(), count);
        QCOMPARE(child<TRxSpinEdit>(&again, QStringLiteral("RxSpinEditKt"))->Value(), kt);
        again.close();
    }

    // A lasting fault in the test ticks (the output buffer stays full): the test
    // stops with its summary, and one box shows the error.
    void faultInATestTickStopsTheTestWithOneBox()
    {
        FakeLinkFactory links;
        links.prepare = [](FakeLink &link) { link.pending = 5000; };
        m_host->channel().setLinkFactory(links.factory());
        TFB7720Q window(*m_host, nullptr);
        showOnOpenPort(window);
        bool stoppedFirst = false;
        m_dialogs->onShown = [&](const ScriptedDialogs::Shown &) {
            stoppedFirst = !child<QTimer>(&window, QStringLiteral("TimerTest"))->isActive();
        };
        child<QTimer>(&window, QStringLiteral("TimerTest"))->start();
        m_dialogs->expectError(QStringLiteral("Output buffer is full. Please check comm status."));
        QTRY_COMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(stoppedFirst);
        QVERIFY(window.journalLines().contains(QStringLiteral("[ДИАГНОСТИКА B-7720Q]")));
        QVERIFY(child<QPushButton>(&window, QStringLiteral("BitBtnStart"))->isEnabled());
        m_dialogs->onShown = nullptr;
    }

    void countersAreKeptPerWindowType()
    {
        m_host->bus.addDevice(std::make_unique<sim::B7720qDevice>(1));
        TFB7720Q window(*m_host, nullptr);
        showOnOpenPort(window);
        QVERIFY(exchange(window, 6));
        QCOMPARE(CountersOf<TFB7720Q>().accepted, 1);
        QVERIFY(CountersOf<TFB7720Q>().monitoring);
        QVERIFY(!CountersOf<TFZDLT>().monitoring);
        QCOMPARE(&CountersOf<TFZDLT>() == &CountersOf<TFB7720Q>(), false);
    }
};

QTEST_MAIN(TestProfileWindows)
#include "test_profilewindows.moc"
