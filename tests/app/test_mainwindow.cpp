#include "app/mainwindow.h"
#include "bus/buschannel.h"
#include "app/picturebutton.h"
#include "devices/c3940fmain.h"
#include "devices/krvmain.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "sim/meter/set4tm_device.h"
#include "sim/modules.h"
#include "sim/thermal.h"
#include "sim/relays.h"
#include "support/fakelink.h"
#include "support/fakeserialtree.h"
#include "support/mainwindowrig.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceWindowKind)

namespace {
// A controller that answers the sensor's register read with its configuration
// byte alone, a 6-byte answer, as the sensor button's fall-back expects.
class OneByteRegisterController : public sim::ControllerDevice
{
public:
    using ControllerDevice::ControllerDevice;
    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override
    {
        if (request.size() == 6 && std::uint8_t(request.at(0)) == address() && request.at(1) == 3)
            return QByteArray(1, char(address())) + QByteArray::fromHex("0301") + QByteArray(1, char(config));
        return ControllerDevice::handle(request, nowMs);
    }
};

struct Opened
{
    DeviceWindowKind kind;
    QString address;
    QByteArray answer;
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<TFOrvekConfigurator> m_main;
    QList<Opened> m_opened;

    TFOrvekConfigurator &main() { return *m_main; }

    template <typename D>
    D *addDevice(int address)
    {
        auto *d = static_cast<D *>(m_bus->addDevice(std::make_unique<D>(static_cast<std::uint8_t>(address))));
        d->live = false;
        return d;
    }

    // Every kind opens a recorder instead of a window, so the search can be watched alone.
    void recordOpenedWindows()
    {
        for (auto kind : {DeviceWindowKind::KRV, DeviceWindowKind::ZDLT, DeviceWindowKind::M7051,
                          DeviceWindowKind::SET4TM, DeviceWindowKind::MLX, DeviceWindowKind::C3940F,
                          DeviceWindowKind::B7720Q}) {
            main().setWindowOpener(kind, [this, kind](DeviceHost &m, QWidget *) {
                QVERIFY(m.port().Active());
                m_opened.append({kind, m.foundAddressText(), m.frames().rxBytes()});
            });
        }
    }

    void setRange(int first, int last)
    {
        main().RxSpinEdit3->setValue(last);
        main().RxSpinEdit2->setValue(first);
    }

    // Starts a search and takes its timer over, so each step runs when the test says.
    void startManual(int tag)
    {
        main().BitBtnKRVClick(tag);
        QVERIFY(main().VaComm1->Active());
        main().Timer1->stop();
    }
    // One search step; then, when an answer is expected, the wait until all of it is in.
    // A probe that gets no answer is waited for until the bus has heard it.
    void step(int expectBytes = 0)
    {
        const int heard = m_bus->counters().frames;
        QSignalSpy probed(&main().search(), &DeviceSearch::probed);
        main().Timer1Timer();
        if (expectBytes > 0)
            QVERIFY(QTest::qWaitFor([&] { return main().frames().RxCount >= expectBytes; }, 3000));
        else if (!probed.isEmpty())
            QVERIFY(QTest::qWaitFor([&] { return m_bus->counters().frames > heard; }, 3000));
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_dialogs = &m_fixture->dialogs;
        m_bus = std::make_unique<sim::Bus>();
        tuneForTests(*m_bus);
        m_main = mainWindowOn(*m_bus);
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        m_opened.clear();
    }

    void cleanup()
    {
        m_main.reset();
        m_bus.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void defaults()
    {
        QCOMPARE(main().windowTitle(), QStringLiteral("Конфигуратор интеллектуальных устройств АСУ ТП"));
        TFOrvekConfigurator fresh;
        QCOMPARE(fresh.RadioGroup1->selectedText(), QStringLiteral("19200"));
        QCOMPARE(fresh.RadioGroup2->ItemIndex(), 0);
        QCOMPARE(fresh.RxSpinEdit1->IntValue(), 1);
        QCOMPARE(fresh.RxSpinEdit2->IntValue(), 1);
        QCOMPARE(fresh.RxSpinEdit3->IntValue(), 1);
        QCOMPARE(fresh.RxSpinEdit4->IntValue(), 300);
        QCOMPARE(fresh.ProgressBar1->minimum(), 1);
        QCOMPARE(fresh.BitBtnCET->text(), QStringLiteral("Счетчик эл.энергии СЭТ-4ТМ (10/0,4кВ)"));
        QCOMPARE(fresh.BitBtnKRV->property("Tag").toInt(), 1);
        QCOMPARE(fresh.BitBtn2->property("Tag").toInt(), 7);
        QCOMPARE(fresh.BitBtn1->toolTip(), QStringLiteral("Схемы подключений устройств АСУ к ПК"));
        // Keyboard order: tags 1 to 7.
        QWidget *w = fresh.BitBtnKRV;
        QStringList order;
        for (int i = 0; i < 7; ++i, w = w->nextInFocusChain())
            order << QString::number(w->property("Tag").toInt());
        QCOMPARE(order.join(','), QStringLiteral("1,2,3,4,5,6,7"));
    }

    void addressEditorsStayOrdered()
    {
        setRange(5, 10);
        QCOMPARE(main().RxSpinEdit2->MaxValue(), 10.0);
        QCOMPARE(main().RxSpinEdit3->MinValue(), 5.0);
        main().RxSpinEdit2->stepBy(20);
        QCOMPARE(main().RxSpinEdit2->IntValue(), 10);
        main().RxSpinEdit3->stepBy(-20);
        QCOMPARE(main().RxSpinEdit3->IntValue(), 10);
    }

    // The coupling holds from the moment the window is shown, also when the stored
    // range equals the defaults and no change event runs.
    void addressEditorsAreOrderedAtStartUp_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("defaults, nothing stored") << QString() << QString();
        QTest::newRow("both stored at 1") << "1" << "1";
        QTest::newRow("5 to 9") << "5" << "9";
    }
    void addressEditorsAreOrderedAtStartUp()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        m_main.reset();
        if (!first.isEmpty()) {
            IniFile ini(TFormStorage::filePath());
            ini.WriteString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("FormVersion"), QStringLiteral("2"));
            ini.WriteString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("RxSpinEdit2_Value"), first);
            ini.WriteString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("RxSpinEdit3_Value"), last);
        }
        TFOrvekConfigurator fresh;
        fresh.show();
        const int from = first.isEmpty() ? 1 : first.toInt();
        const int to = last.isEmpty() ? 1 : last.toInt();
        QCOMPARE(fresh.RxSpinEdit2->MaxValue(), double(to));
        QCOMPARE(fresh.RxSpinEdit3->MinValue(), double(from));
        fresh.RxSpinEdit2->stepBy(20);
        QCOMPARE(fresh.RxSpinEdit2->IntValue(), to);
        fresh.RxSpinEdit3->stepBy(-20);
        QCOMPARE(fresh.RxSpinEdit3->IntValue(), to);
    }

    void deviceAnsweringTheThirdProbeIsFound()
    {
        recordOpenedWindows();
        auto *krv = addDevice<sim::KrvDevice>(1);
        krv->script = {sim::Action::Drop, sim::Action::Drop};
        startManual(TagKRV);
        step();
        step();
        step(11); // third probe: answered
        QVERIFY(m_opened.isEmpty());
        step(); // judged at the next tick
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0].kind, DeviceWindowKind::KRV);
        QCOMPARE(m_opened[0].address, QStringLiteral("1"));
        QCOMPARE(m_opened[0].answer.left(5).toHex(), QByteArray("010406000c"));
        QCOMPARE(krv->requestsSeen, 3);
        // Back to idle with the port closed.
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(main().DeviceGroup->isEnabled());
        QCOMPARE(main().StaticTextAddr->text(), QString());
        QCOMPARE(main().StaticTextMsg->text(), QString());
    }

    void noiseGivesCrcErrorAndTheNextProbeSucceeds()
    {
        recordOpenedWindows();
        auto *krv = addDevice<sim::KrvDevice>(1);
        krv->script = {sim::Action::Noise};
        startManual(TagKRV);
        step(12); // noise byte + 11-byte answer
        QCOMPARE(main().StaticTextMsg->text(), QStringLiteral("не отвечает"));
        step();
        QCOMPARE(main().StaticTextMsg->text(), QStringLiteral("ошибка CRC"));
        QCOMPARE(main().frames().RxCount, 0);
        QVERIFY(m_opened.isEmpty());
        step(11);
        step();
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0].kind, DeviceWindowKind::KRV);
    }

    void krvButtonFindingAnotherDeviceOpensTheZdltPath()
    {
        recordOpenedWindows();
        addDevice<sim::ZdltDevice>(1);
        startManual(TagKRV);
        step(5); // exception answer: illegal data address
        step();
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0].kind, DeviceWindowKind::ZDLT);
        QVERIFY(!main().VaComm1->Active());
    }

    void deviceWithoutAWindowIsNamedThenTheSearchEnds()
    {
        main().setWindowOpener(DeviceWindowKind::SET4TM, {}); // every kind has a window now
        addDevice<sim::Set4tmDevice>(4);
        setRange(4, 4);
        startManual(TagSET4TM);
        step(4); // the channel test answered: address, status, CRC
        m_dialogs->expectInformation(QStringLiteral("По адресу 4 найдено устройство \"Счетчик электрической энергии СЭТ-4ТМ\".\r"
                                                    "Окно этого устройства в данной версии программы не предусмотрено."));
        step();
        QCOMPARE(m_dialogs->texts("information"),
                 QStringList{QStringLiteral("По адресу 4 найдено устройство \"Счетчик электрической энергии СЭТ-4ТМ\".\r"
                                            "Окно этого устройства в данной версии программы не предусмотрено.")});
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(main().DeviceGroup->isEnabled());
    }

    // The controller button, and the sensor button when a 6-byte answer fails the
    // sensor's test, open the controller window with the set-up of the answer.
    void foundControllerWindowOpens_data()
    {
        QTest::addColumn<int>("tag");
        QTest::newRow("controller button") << int(TagController);
        QTest::newRow("sensor button") << int(TagSensor);
    }
    void foundControllerWindowOpens()
    {
        QFETCH(int, tag);
        sim::ControllerDevice *controller = tag == TagSensor ? addDevice<OneByteRegisterController>(3)
                                                             : addDevice<sim::ControllerDevice>(3);
        controller->config = 0x0A; // ТРАВ, UT4 - UT6
        setRange(3, 3);
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (FC3940F && FC3940F->isVisible()) {
                shown = FC3940F->findChild<QComboBox *>(QStringLiteral("ComboBox2"))->currentText() + '/'
                        + FC3940F->findChild<QComboBox *>(QStringLiteral("ComboBox1"))->currentText() + '/'
                        + FC3940F->findChild<QLabel *>(QStringLiteral("StaticTextAddr"))->text();
                FC3940F->close();
            }
        });
        poll.start(20);
        main().BitBtnKRVClick(tag);
        QTRY_COMPARE_WITH_TIMEOUT(shown, QStringLiteral("ТРАВ/UT4 - UT6/3"), 5000);
        QTRY_VERIFY(!main().VaComm1->Active());
        QVERIFY(FC3940F == nullptr);
        QVERIFY(main().DeviceGroup->isEnabled());
    }

    void emptyRangeSendsFourProbesThenReports()
    {
        setRange(5, 5);
        int probes = 0;
        connect(m_bus.get(), &sim::Bus::frameLogged, this,
                [&](qint64, sim::Direction d, const QByteArray &bytes, const QString &) {
                    if (d == sim::Direction::Request) {
                        ++probes;
                        QCOMPARE(int(std::uint8_t(bytes.at(0))), 5);
                    }
                });
        m_dialogs->expectWarning(QStringLiteral("Устройства в заданном даипазоне адресов (от 5 до 5) не обнаружены!\r"
                                                "Проверьте параметры подключения и повторите поиск."));
        main().BitBtnKRVClick(TagKRV);
        QVERIFY(!main().DeviceGroup->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->texts("warning").isEmpty(), 5000);
        QCOMPARE(probes, 4);
        QCOMPARE(m_dialogs->texts("warning"),
                 QStringList{QStringLiteral("Устройства в заданном даипазоне адресов (от 5 до 5) не обнаружены!\r"
                                            "Проверьте параметры подключения и повторите поиск.")});
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(main().DeviceGroup->isEnabled());
        QCOMPARE(main().ProgressBar1->value(), main().ProgressBar1->minimum());
    }

    void meterProbeGoesToAddressZero()
    {
        recordOpenedWindows();
        setRange(3, 4);
        QList<QByteArray> requests;
        connect(m_bus.get(), &sim::Bus::frameLogged, this,
                [&](qint64, sim::Direction d, const QByteArray &bytes, const QString &) {
                    if (d == sim::Direction::Request)
                        requests << bytes;
                });
        startManual(TagSET4TM);
        for (int i = 0; i < 5; ++i)
            step();
        QTRY_COMPARE(requests.size(), 5);
        for (const QByteArray &r : requests)
            QCOMPARE(r.toHex(), QByteArray("000001b0"));
        QCOMPARE(main().StaticTextAddr->text(), QStringLiteral("4"));
    }

    void ctrlCStopsTheSearch()
    {
        setRange(1, 50);
        main().BitBtnKRVClick(TagKRV);
        QTRY_COMPARE_WITH_TIMEOUT(main().StaticTextMsg->text(), QStringLiteral("не отвечает"), 2000);
        main().RxSpinEdit2->setFocus(); // an editor would take Ctrl+C as "copy"
        QTest::keyClick(main().RxSpinEdit2, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(!main().Timer1->isActive());
        QCOMPARE(main().StaticTextAddr->text(), QString());
        QCOMPARE(main().StaticTextMsg->text(), QString());
        QCOMPARE(main().ProgressBar1->value(), main().ProgressBar1->minimum());
        QVERIFY(main().DeviceGroup->isEnabled());
        QVERIFY(m_dialogs->shown.isEmpty());
        // While idle it does nothing.
        QTest::keyClick(&main(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void raisingTheLastAddressDoesNotPassTheOldEnd()
    {
        setRange(1, 1);
        startManual(TagKRV);
        for (int i = 0; i < 4; ++i)
            step();
        main().RxSpinEdit3->setValue(3);
        for (int i = 0; i < 8; ++i)
            step();
        QCOMPARE(main().StaticTextAddr->text(), QStringLiteral("2"));
        QVERIFY(main().VaComm1->Active());
        main().Action1Execute();
        QVERIFY(!main().VaComm1->Active());
    }

    void portThatCannotBeOpened()
    {
        // A system with no serial devices, so the hint under the component's text is known.
        FakeSerialTree empty;
        const SerialSystem system = empty.system();
        setSerialSystem(&system);
        main().channel().setLinkFactory(LinkFactory());
        main().channel().setPortResolver([](int) { return QStringLiteral("/nonexistent/ttyORVEK"); });
        m_dialogs->expectError(QStringLiteral("Specified device not found (/nonexistent/ttyORVEK).\r\r"
                                              "Последовательные порты не найдены: проверьте, подключен ли "
                                              "преобразователь RS-485."));
        QTest::mouseClick(main().BitBtnKRV, Qt::LeftButton);
        setSerialSystem(nullptr);
        QCOMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(main().DeviceGroup->isEnabled());
        QVERIFY(!main().Timer1->isActive());
    }

    // A lasting fault: the output buffer stays full. One box, with the search already over.
    void faultInASearchStepGivesOneBox()
    {
        FakeLinkFactory links;
        links.prepare = [](FakeLink &link) { link.pending = 5000; };
        main().channel().setLinkFactory(links.factory());
        bool stoppedFirst = false;
        m_dialogs->onShown = [&](const ScriptedDialogs::Shown &) {
            stoppedFirst = !main().Timer1->isActive() && !main().VaComm1->Active();
        };
        m_dialogs->expectError(QStringLiteral("Output buffer is full. Please check comm status."));
        main().BitBtnKRVClick(TagKRV);
        QTRY_COMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(stoppedFirst);
        QVERIFY(main().DeviceGroup->isEnabled());
    }

    void lostAdapterEndsTheSearchWithOneMessage()
    {
        setRange(1, 50);
        main().BitBtnKRVClick(TagKRV);
        QTRY_COMPARE(main().StaticTextMsg->text(), QStringLiteral("не отвечает"));
        m_dialogs->expectError(QStringLiteral("Связь с портом /dev/ttyUSB0 потеряна: адаптер отключен или порт закрыт.\r"
                                              "Поиск устройств остановлен. Проверьте подключение и повторите поиск."));
        m_bus->unplug();
        QTRY_COMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(!main().Timer1->isActive());
        QVERIFY(main().DeviceGroup->isEnabled());
        QCOMPARE(main().StaticTextMsg->text(), QString());
        // The adapter is back: the next search runs.
        main().BitBtnKRVClick(TagKRV);
        QVERIFY(main().VaComm1->Active());
        QTRY_COMPARE(main().StaticTextMsg->text(), QStringLiteral("не отвечает"));
        main().Action1Execute();
    }

    void portMappingFromTheSettingsFile()
    {
        IniFile ini(TFormStorage::filePath());
        ini.WriteString(QStringLiteral("Ports"), QStringLiteral("COM3"), QStringLiteral("/dev/ttyS7"));
        main().RxSpinEdit1->setValue(3);
        QCOMPARE(main().RxSpinEdit1->toolTip(), QStringLiteral("/dev/ttyS7"));
        main().RxSpinEdit1->setValue(2);
        QCOMPARE(main().RxSpinEdit1->toolTip(), QStringLiteral("/dev/ttyUSB1"));
    }

    void foundKrvWindowOpensAndClosingReturnsToIdle()
    {
        addDevice<sim::KrvDevice>(1);
        QString code;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (FKRV && FKRV->isVisible()) {
                code = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextCode"))->text();
                FKRV->close();
            }
        });
        poll.start(20);
        QTest::mouseClick(main().BitBtnKRV, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(code, QStringLiteral("12"), 5000);
        QTRY_VERIFY(!main().VaComm1->Active());
        QVERIFY(FKRV == nullptr);
        QVERIFY(main().DeviceGroup->isEnabled());
    }

    void firstRunSavesTheDefaultSection()
    {
        main().RadioGroup1->setItemIndex(3); // undo the test's own choice
        main().RxSpinEdit4->setValue(300);
        main().close();
        QFile file(TFormStorage::filePath());
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
        const int at = lines.indexOf(QStringLiteral("[TFOrvekConfigurator]"));
        QVERIFY(at >= 0);
        const QStringList section = lines.mid(at, 16);
        QCOMPARE(section.value(1), QStringLiteral("FormVersion=2"));
        const QStringList placement = section.mid(2, 8);
        const QStringList keys = {"Flags=", "ShowCmd=", "PixelsPerInch=", "MinMaxPos(", "MinMaxPos=", "NormPos(",
                                  "NormPos=", "Visible="};
        for (int i = 0; i < keys.size(); ++i)
            QVERIFY2(placement.value(i).startsWith(keys[i]), qPrintable(placement.join('|')));
        QCOMPARE(section.mid(10), (QStringList{"RadioGroup1_ItemIndex=3", "RadioGroup2_ItemIndex=0",
                                               "RxSpinEdit1_Value=1", "RxSpinEdit2_Value=1", "RxSpinEdit3_Value=1",
                                               "RxSpinEdit4_Value=300"}));
    }

    void settingsThatCannotBeWrittenAreReportedAndTheWindowCloses()
    {
        main().close();
        QVERIFY(QFile::setPermissions(TFormStorage::filePath(), QFileDevice::ReadOwner));
        m_dialogs->expectError(QStringLiteral("Unable to write to ") + TFormStorage::filePath());
        TFOrvekConfigurator again;
        again.show();
        QVERIFY(again.close());
        QFile::setPermissions(TFormStorage::filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(m_dialogs->texts("error"), QStringList{QStringLiteral("Unable to write to ") + TFormStorage::filePath()});
        QVERIFY(!again.isVisible());
    }

    // A stored index or value the window cannot take keeps the design default: the
    // search must not open at a rate the window does not offer, nor a clamped port.
    void outOfRangeSettingsOpenThePortAtTheDefaults()
    {
        main().close();
        QFile file(TFormStorage::filePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[TFOrvekConfigurator]\nFormVersion=2\nRadioGroup1_ItemIndex=99\nRxSpinEdit1_Value=1e308\n");
        file.close();
        TFOrvekConfigurator again;
        FakeLinkFactory links;
        again.channel().setLinkFactory(links.factory());
        again.show();
        QCOMPARE(again.RadioGroup1->selectedText(), QStringLiteral("19200"));
        QCOMPARE(again.RxSpinEdit1->IntValue(), 1);
        again.BitBtnKRVClick(TagKRV);
        QVERIFY(again.VaComm1->Active());
        QCOMPARE(links.last()->settingsApplied.value(0).baudRate, 19200);
        QCOMPARE(links.devicesRequested, QStringList{QStringLiteral("/dev/ttyUSB0")});
        again.Action1Execute();
    }

    void settingsSavedOnClose()
    {
        main().RadioGroup1->setItemIndex(2);
        main().RxSpinEdit4->setValue(450);
        main().close();
        IniFile ini(TFormStorage::filePath());
        QCOMPARE(ini.ReadString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("FormVersion")),
                 QStringLiteral("2"));
        QCOMPARE(ini.ReadString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("RadioGroup1_ItemIndex")),
                 QStringLiteral("2"));
        QCOMPARE(ini.ReadString(QStringLiteral("TFOrvekConfigurator"), QStringLiteral("RxSpinEdit4_Value")),
                 QStringLiteral("450"));
        TFOrvekConfigurator again;
        again.show();
        QCOMPARE(again.RxSpinEdit4->IntValue(), 450);
        QCOMPARE(again.RadioGroup1->selectedText(), QStringLiteral("14400"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
