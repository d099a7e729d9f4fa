#include "settings/formstorage.h"
#include "support/testfixture.h"
#include "support/testdisk.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

TRxSpinEdit *editor(QWidget *form, const char *name, double min, double max, double value)
{
    auto *edit = new TRxSpinEdit(form);
    edit->setObjectName(QLatin1String(name));
    edit->setMinValue(min);
    edit->setMaxValue(max);
    edit->setValue(value);
    return edit;
}

TRadioGroup *radioGroup(QWidget *form, const char *name, const QStringList &items, int index)
{
    auto *group = new TRadioGroup(QString(), items, 3, form);
    group->setObjectName(QLatin1String(name));
    group->setItemIndex(index);
    return group;
}

int currentPpi()
{
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

QString resolution()
{
    const QSize size = QGuiApplication::primaryScreen()->geometry().size();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

} // namespace

// The main window's stored controls, under the names the main window uses.
class TFStoreMain : public QWidget
{
    Q_OBJECT
public:
    TFStoreMain()
    {
        storage = new TFormStorage(this, 2,
                                   {"RadioGroup1.ItemIndex", "RadioGroup2.ItemIndex", "RxSpinEdit1.Value",
                                    "RxSpinEdit2.Value", "RxSpinEdit3.Value", "RxSpinEdit4.Value"},
                                   true);
        // As the windows do: what the store could not save is shown at the window's edge.
        connect(storage, &TFormStorage::saveFailed, this, [this](const QString &text) { showError(this, text); });
        edit1 = editor(this, "RxSpinEdit1", 1, 16, 1);
        edit2 = editor(this, "RxSpinEdit2", 1, 247, 1);
        edit3 = editor(this, "RxSpinEdit3", 1, 247, 1);
        edit4 = editor(this, "RxSpinEdit4", 100, 1000, 300);
        group1 = radioGroup(this, "RadioGroup1",
                            {"4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200", "128000"}, 3);
        group2 = radioGroup(this, "RadioGroup2", {"нет", "нечетн", "четн"}, 0);
        // The address editors keep first <= last through their change events.
        connect(edit2, &TRxSpinEdit::OnChange, this, [this] { edit3->setMinValue(edit2->Value()); });
        connect(edit3, &TRxSpinEdit::OnChange, this, [this] { edit2->setMaxValue(edit3->Value()); });
        setFixedSize(320, 200);
        move(10, 20);
    }
    bool refuseClose = false;
    bool saveOnClose = false; // as the windows do in their own close handlers
    TFormStorage *storage;
    TRxSpinEdit *edit1, *edit2, *edit3, *edit4;
    TRadioGroup *group1, *group2;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->setAccepted(!refuseClose);
        if (saveOnClose && !refuseClose)
            guarded(this, [this] { storage->save(); });
    }
};

class TFStoreDevice : public QWidget
{
    Q_OBJECT
public:
    TFStoreDevice()
    {
        new TFormStorage(this, 0, {"RxSpinEditKt.Value", "RadioGroupZL.ItemIndex", "TimerSetting.Interval"}, false);
        kt = editor(this, "RxSpinEditKt", 0.1, 1, 0);
        kt->setValueType(TRxSpinEdit::vtFloat);
        kt->setValue(0.8);
        season = radioGroup(this, "RadioGroupZL", {"лето", "зима"}, 0);
        timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("TimerSetting"));
        timer->setInterval(350);
    }
    TRxSpinEdit *kt;
    TRadioGroup *season;
    QTimer *timer;
};

// A control with an integer range that leaves 0 out.
class TLevelControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Level MEMBER level)
    Q_PROPERTY(int MinLevel MEMBER minLevel)
    Q_PROPERTY(int MaxLevel MEMBER maxLevel)
public:
    using QObject::QObject;
    int level = 3;
    int minLevel = 1;
    int maxLevel = 5;
};

class TFStoreLimits : public QWidget
{
    Q_OBJECT
public:
    TFStoreLimits()
    {
        new TFormStorage(this, 0, {"RxSpinEditKt.Value", "TimerSetting.Interval", "Level.Level"}, false);
        kt = editor(this, "RxSpinEditKt", 0.1, 1, 0);
        kt->setValueType(TRxSpinEdit::vtFloat);
        kt->setValue(0.8);
        timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("TimerSetting"));
        timer->setInterval(350);
        level = new TLevelControl(this);
        level->setObjectName(QStringLiteral("Level"));
    }
    TRxSpinEdit *kt;
    QTimer *timer;
    TLevelControl *level;
};

class TestFormStorage : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    QString m_path;

    void writeFile(const QString &text)
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toLatin1());
    }
    QStringList fileLines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(file.readAll()).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }
    QStringList section(const QString &name) const
    {
        const QStringList all = fileLines();
        const int at = all.indexOf(QLatin1Char('[') + name + QLatin1Char(']'));
        QStringList lines;
        for (int i = at + 1; at >= 0 && i < all.size() && !all.at(i).startsWith(QLatin1Char('[')); ++i)
            lines << all.at(i);
        return lines;
    }

private slots:
    void initTestCase()
    {
        // A decimal comma shows that stored reals keep "." whatever the locale.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_path = m_fixture->settingsPath();
    }
    void cleanup()
    {
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void firstRunSavesTheDefaults()
    {
        QRect frame;
        {
            TFStoreMain form;
            form.show();
            QCOMPARE(form.group1->selectedText(), QStringLiteral("19200"));
            QCOMPARE(form.edit4->text(), QStringLiteral("300"));
            frame = form.frameGeometry();
            QVERIFY(form.close());
        }
        const QStringList lines = section(QStringLiteral("TFStoreMain"));
        QCOMPARE(lines.size(), 15);
        QCOMPARE(lines.first(), QStringLiteral("FormVersion=2"));
        const QString norm = QStringLiteral("%1,%2,%3,%4")
                                 .arg(frame.left())
                                 .arg(frame.top())
                                 .arg(frame.left() + frame.width())
                                 .arg(frame.top() + frame.height());
        const QStringList placement{"Flags=0",
                                    "ShowCmd=1",
                                    QStringLiteral("PixelsPerInch=%1").arg(currentPpi()),
                                    "MinMaxPos" + resolution() + "=-1,-1,-1,-1",
                                    "MinMaxPos=-1,-1,-1,-1",
                                    "NormPos" + resolution() + "=" + norm,
                                    "NormPos=" + norm,
                                    "Visible=0"};
        QCOMPARE(lines.mid(1, 8), placement);
        const QStringList values{"RadioGroup1_ItemIndex=3", "RadioGroup2_ItemIndex=0", "RxSpinEdit1_Value=1",
                                 "RxSpinEdit2_Value=1",     "RxSpinEdit3_Value=1",     "RxSpinEdit4_Value=300"};
        QCOMPARE(lines.mid(9), values);
    }

    void restoreSetsValuesThroughChangeEvents()
    {
        writeFile("[TFStoreMain]\nFormVersion=2\nRadioGroup1_ItemIndex=5\nRadioGroup2_ItemIndex=2\n"
                  "RxSpinEdit1_Value=7\nRxSpinEdit2_Value=10\nRxSpinEdit3_Value=20\nRxSpinEdit4_Value=500\n");
        TFStoreMain form;
        QSignalSpy clicks(form.group1, &TRadioGroup::OnClick);
        form.show();
        QCOMPARE(form.group1->ItemIndex(), 5);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(form.group2->ItemIndex(), 2);
        QCOMPARE(form.edit1->text(), QStringLiteral("7"));
        QCOMPARE(form.edit4->text(), QStringLiteral("500"));
        // Only change events can have coupled the address editors.
        QCOMPARE(form.edit3->MinValue(), 10.0);
        QCOMPARE(form.edit2->MaxValue(), 20.0);
    }

    void olderVersionIsIgnoredThenReplaced()
    {
        writeFile("[Other]\nkeep=me\n[TFStoreMain]\nFormVersion=1\nRadioGroup1_ItemIndex=5\nOld=1\n");
        {
            TFStoreMain form;
            form.show();
            QCOMPARE(form.group1->ItemIndex(), 3);
            form.close();
        }
        const QStringList lines = section(QStringLiteral("TFStoreMain"));
        QCOMPARE(lines.at(0), QStringLiteral("FormVersion=2"));
        QCOMPARE(lines.at(1), QStringLiteral("RadioGroup1_ItemIndex=3"));
        QCOMPARE(lines.at(2), QStringLiteral("Old=1"));
        QCOMPARE(section(QStringLiteral("Other")), QStringList{"keep=me"});
    }

    void unparsableValuesAffectOnlyTheirProperty_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baudItem");
        QTest::addColumn<QString>("timeout");
        QTest::newRow("timeout abc keeps design value") << "RxSpinEdit4_Value" << "abc" << 5 << "300";
        QTest::newRow("baud item abc reads 0") << "RadioGroup1_ItemIndex" << "abc" << 0 << "500";
        QTest::newRow("fractional item reads 0") << "RadioGroup1_ItemIndex" << "2.5" << 0 << "500";
        QTest::newRow("blanks trimmed") << "RadioGroup1_ItemIndex" << "  8  " << 8 << "500";
        QTest::newRow("point under decimal comma") << "RxSpinEdit4_Value" << "350.0" << 5 << "350";
        QTest::newRow("exponent") << "RxSpinEdit4_Value" << "4e2" << 5 << "400";
        QTest::newRow("signed exponent of older files") << "RxSpinEdit4_Value" << "1e+03" << 5 << "1000";
        QTest::newRow("empty real") << "RxSpinEdit4_Value" << "" << 5 << "300";
    }
    void unparsableValuesAffectOnlyTheirProperty()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(int, baudItem);
        QFETCH(QString, timeout);
        const QStringList lines = IniFile::applyWrites({}, QStringLiteral("TFStoreMain"),
                                                       {{"FormVersion", "2"},
                                                        {"RadioGroup1_ItemIndex", "5"},
                                                        {"RxSpinEdit1_Value", "7"},
                                                        {"RxSpinEdit4_Value", "500"},
                                                        {key, text}});
        writeFile(lines.join(QLatin1Char('\n')));
        TFStoreMain form;
        form.show();
        QCOMPARE(form.group1->ItemIndex(), baudItem);
        QCOMPARE(form.edit4->text(), timeout);
        QCOMPARE(form.edit1->text(), QStringLiteral("7")); // restored all the same
    }

    // A value the control would not take as it is leaves the value it had: the
    // search must never run at a rate or on a port the window does not offer.
    void outOfRangeValuesKeepTheDesignValue_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("shown");
        QTest::newRow("baud item 99") << "RadioGroup1_ItemIndex=99" << "RadioGroup1" << "3";
        QTest::newRow("baud item -1") << "RadioGroup1_ItemIndex=-1" << "RadioGroup1" << "3";
        QTest::newRow("last baud item") << "RadioGroup1_ItemIndex=8" << "RadioGroup1" << "8";
        QTest::newRow("item past 32 bits") << "RadioGroup1_ItemIndex=4294967301" << "RadioGroup1" << "3";
        QTest::newRow("item of 20 digits") << "RadioGroup1_ItemIndex=99999999999999999999" << "RadioGroup1" << "3";
        QTest::newRow("parity item 3") << "RadioGroup2_ItemIndex=3" << "RadioGroup2" << "0";
        QTest::newRow("port 1e308") << "RxSpinEdit1_Value=1e308" << "RxSpinEdit1" << "1";
        QTest::newRow("port 17") << "RxSpinEdit1_Value=17" << "RxSpinEdit1" << "1";
        QTest::newRow("port 16") << "RxSpinEdit1_Value=16" << "RxSpinEdit1" << "16";
        QTest::newRow("port inf") << "RxSpinEdit1_Value=inf" << "RxSpinEdit1" << "1";
        QTest::newRow("timeout 99.5") << "RxSpinEdit4_Value=99.5" << "RxSpinEdit4" << "300";
        // Judged by the limits before the restore; the coupled editors then narrow as before.
        QTest::newRow("last address below the first") << "RxSpinEdit2_Value=100\nRxSpinEdit3_Value=50"
                                                      << "RxSpinEdit3" << "100";
    }
    void outOfRangeValuesKeepTheDesignValue()
    {
        QFETCH(QString, stored);
        QFETCH(QString, component);
        QFETCH(QString, shown);
        writeFile("[TFStoreMain]\nFormVersion=2\n" + stored + "\nRxSpinEdit4_Value=500\n");
        TFStoreMain form;
        form.show();
        const QObject *control = form.findChild<QObject *>(component);
        QVERIFY(control);
        if (const auto *group = qobject_cast<const TRadioGroup *>(control))
            QCOMPARE(QString::number(group->ItemIndex()), shown);
        else
            QCOMPARE(static_cast<const TRxSpinEdit *>(control)->text(), shown);
        if (component != QLatin1String("RxSpinEdit4"))
            QCOMPARE(form.edit4->text(), QStringLiteral("500")); // the next entry is still restored
    }

    void limitsOfOtherControls_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kt");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("level");
        QTest::newRow("coefficient 1.5") << "RxSpinEditKt_Value" << "1.5" << "0,80" << 350 << 3;
        QTest::newRow("coefficient 0.1") << "RxSpinEditKt_Value" << "0.1" << "0,10" << 350 << 3;
        QTest::newRow("negative interval") << "TimerSetting_Interval" << "-5" << "0,80" << 350 << 3;
        QTest::newRow("interval abc reads 0") << "TimerSetting_Interval" << "abc" << "0,80" << 0 << 3;
        QTest::newRow("level 9") << "Level_Level" << "9" << "0,80" << 350 << 3;
        QTest::newRow("level 1") << "Level_Level" << "1" << "0,80" << 350 << 1;
        QTest::newRow("level abc: 0 is not taken") << "Level_Level" << "abc" << "0,80" << 350 << 3;
    }
    void limitsOfOtherControls()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, kt);
        QFETCH(int, interval);
        QFETCH(int, level);
        writeFile("[TFStoreLimits]\n" + key + "=" + text + "\n");
        TFStoreLimits form;
        form.show();
        QCOMPARE(form.kt->text(), kt);
        QCOMPARE(form.timer->interval(), interval);
        QCOMPARE(form.level->level, level);
    }

    // What the window restores from a damaged or unusable settings file, and
    // that its save never truncates or loses the file.
    void damagedOrUnusableFile_data()
    {
        const QByteArray section = "[TFStoreMain]\nFormVersion=2\nRadioGroup1_ItemIndex=5\n";
        QByteArray junk(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240605);
        random.fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
        const QByteArray nul = QByteArray("Note=a\0b", 8);
        const QByteArray longLine = "Note=" + QByteArray(10 * 1024 * 1024, '7');

        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("place");
        QTest::addColumn<int>("baudItem");
        QTest::addColumn<QByteArray>("kept"); // in the file afterwards, line ends aside
        QTest::newRow("random bytes") << junk << "file" << 3 << junk;
        QTest::newRow("NUL bytes") << section + nul + QByteArray("\nRxSpinEdit4_Value=4\0" "00\n", 24) << "file" << 5
                                   << nul;
        QTest::newRow("10 MB line") << section + longLine + "\n" << "file" << 5 << longLine;
        QTest::newRow("folder in its place") << QByteArray() << "folder" << 3 << QByteArray();
        QTest::newRow("too large to read") << section + QByteArray(IniFile::MaxFileSize, ';') << "file" << 3
                                           << QByteArray();
        QTest::newRow("read-only file") << section << "read-only" << 5 << QByteArray();
        QTest::newRow("full disk") << section << "full disk" << 5 << QByteArray();
    }
    void damagedOrUnusableFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, place);
        QFETCH(int, baudItem);
        QFETCH(QByteArray, kept);
        ScriptedDialogs &dialogs = m_fixture->dialogs;
        std::unique_ptr<TestDisk> disk;
        QString path = m_path;
        if (place == QLatin1String("full disk")) {
            disk = std::make_unique<TestDisk>();
            path = disk->filePath(QStringLiteral("OrvekConfigurator.ini"));
            TFormStorage::setFilePath(path);
        }
        if (place == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), content.size());
        }
        if (place == QLatin1String("read-only"))
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        // Errors only where the file cannot be written; those leave it as it was.
        const bool unwritable = kept.isEmpty();
        if (unwritable)
            dialogs.expectError(QStringLiteral("Unable to write to ") + path);
        {
            TFStoreMain form;
            form.show();
            QCOMPARE(form.group1->ItemIndex(), baudItem);
            QCOMPARE(form.edit4->text(), QStringLiteral("300"));
            if (place == QLatin1String("full disk"))
                disk->whileFull([&] { form.close(); });
            else
                form.close();
        }
        QCOMPARE(dialogs.texts("error"),
                 unwritable ? QStringList{QStringLiteral("Unable to write to ") + path} : QStringList());
        if (place == QLatin1String("folder")) {
            QVERIFY(QFileInfo(path).isDir());
            return;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray after = file.readAll();
        if (unwritable) {
            QCOMPARE(after.size(), content.size());
            QVERIFY(after == content);
            if (disk)
                QCOMPARE(disk->files(), QStringList{QStringLiteral("OrvekConfigurator.ini")});
            return;
        }
        const auto withoutLineEnds = [](QByteArray bytes) { return bytes.replace('\r', "").replace('\n', ""); };
        QVERIFY(withoutLineEnds(after).contains(withoutLineEnds(kept)));
        QVERIFY(after.contains(QByteArray("RadioGroup1_ItemIndex=") + QByteArray::number(baudItem) + "\r\n"));
        QVERIFY(after.contains("RxSpinEdit4_Value=300\r\n"));
    }

    void deviceWindowStoresRealsAndTimers()
    {
        writeFile("[TFStoreDevice]\nRxSpinEditKt_Value=0.85\nRadioGroupZL_ItemIndex=1\nTimerSetting_Interval=500\n");
        {
            TFStoreDevice form;
            form.show();
            QCOMPARE(form.kt->text(), QStringLiteral("0,85"));
            QCOMPARE(form.season->ItemIndex(), 1);
            QCOMPARE(form.timer->interval(), 500);
            form.kt->setValue(0.9);
            form.close();
        }
        // A key new to the section goes to its end.
        QCOMPARE(section(QStringLiteral("TFStoreDevice")),
                 QStringList({"RxSpinEditKt_Value=0.9", "RadioGroupZL_ItemIndex=1", "TimerSetting_Interval=500",
                              "FormVersion=0"}));
    }

    void placement_data()
    {
        const QString ppi = QStringLiteral("PixelsPerInch=%1\n").arg(currentPpi());
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<int>("state");
        QTest::newRow("stored position") << ppi + "NormPos=50,60,450,360\n" << QPoint(50, 60) << 0;
        QTest::newRow("resolution key first") << ppi + "NormPos=50,60,450,360\nNormPos" + resolution() + "=70,80,470,380\n"
                                              << QPoint(70, 80) << 0;
        QTest::newRow("density absent") << "NormPos=50,60,450,360\n" << QPoint(50, 60) << 0;
        QTest::newRow("other density") << QStringLiteral("PixelsPerInch=%1\nNormPos=50,60,450,360\n").arg(currentPpi() + 48)
                                       << QPoint(10, 20) << 0;
        QTest::newRow("empty rectangle") << ppi + "NormPos=50,60,50,360\n" << QPoint(10, 20) << 0;
        QTest::newRow("off every screen") << ppi + "NormPos=9000,9000,9400,9300\n" << QPoint(10, 20) << 0;
        QTest::newRow("no position key") << ppi + "ShowCmd=1\n" << QPoint(10, 20) << 0;
        QTest::newRow("fixed window not maximised") << ppi + "ShowCmd=3\n" << QPoint(10, 20) << 0;
        QTest::newRow("minimised") << ppi + "ShowCmd=7\n" << QPoint(10, 20) << int(Qt::WindowMinimized);
    }
    void placement()
    {
        QFETCH(QString, keys);
        QFETCH(QPoint, position);
        QFETCH(int, state);
        writeFile("[TFStoreMain]\nFormVersion=2\n" + keys);
        TFStoreMain form;
        form.show();
        QCOMPARE(form.pos(), position);
        QCOMPARE(form.storage->placementApplied(), position != QPoint(10, 20));
        QCOMPARE(int(form.windowState()), state);
    }

    void closeRefusedSavesNothing()
    {
        TFStoreMain form;
        form.refuseClose = true;
        form.show();
        QVERIFY(!form.close());
        QVERIFY(!QFile::exists(m_path));
        form.refuseClose = false;
        QVERIFY(form.close());
        QVERIFY(QFile::exists(m_path));
    }

    void neverShownNeverSaved()
    {
        {
            TFStoreMain form;
        }
        QVERIFY(!QFile::exists(m_path));
    }

    void destroyedWhileShownSaves()
    {
        auto *form = new TFStoreMain;
        form->show();
        form->edit4->setValue(700);
        delete form;
        const QStringList lines = section(QStringLiteral("TFStoreMain"));
        QVERIFY(lines.contains(QStringLiteral("RxSpinEdit4_Value=700")));
        QVERIFY(lines.contains(QStringLiteral("Visible=1")));
    }

    void failedSaveIsShownOnceAndTheWindowStillCloses_data()
    {
        QTest::addColumn<bool>("saveOnClose");
        QTest::newRow("store's own save") << false;
        QTest::newRow("window's save, then the store's") << true;
    }
    void failedSaveIsShownOnceAndTheWindowStillCloses()
    {
        QFETCH(bool, saveOnClose);
        ScriptedDialogs &dialogs = m_fixture->dialogs;
        writeFile("[TFStoreMain]\nFormVersion=2\nRxSpinEdit4_Value=500\n");
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner));
        dialogs.expectError(QStringLiteral("Unable to write to ") + m_path);
        {
            TFStoreMain form;
            form.saveOnClose = saveOnClose;
            form.show();
            QVERIFY(form.close());
            QVERIFY(!form.isVisible());
            form.show();
            QVERIFY_THROWS_EXCEPTION(EIniWriteError, form.storage->save());
            form.hide();
        }
        // One box for the close; the explicit save only throws; none at hide or destruction.
        const QStringList expected(1, QStringLiteral("Unable to write to ") + m_path);
        QCOMPARE(dialogs.texts("error"), expected);
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(section(QStringLiteral("TFStoreMain")), QStringList({"FormVersion=2", "RxSpinEdit4_Value=500"}));
    }

    void encodeValue_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole real") << QVariant(300.0) << "300";
        QTest::newRow("fraction") << QVariant(0.8) << "0.8";
        QTest::newRow("round trip") << QVariant(0.1 + 0.2) << "0.30000000000000004";
        QTest::newRow("largest test count") << QVariant(100000.0) << "100000";
        QTest::newRow("sensor's largest count") << QVariant(1000000.0) << "1000000";
        QTest::newRow("integer") << QVariant(350) << "350";
        QTest::newRow("boolean") << QVariant(true) << "1";
    }
    void encodeValue()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(TFormStorage::encodeValue(value), text);
    }
};

QTEST_MAIN(TestFormStorage)
#include "test_formstorage.moc"
