#include "widgets/radiogroup.h"
#include "widgets/rxclock.h"
#include "widgets/vrblinkled.h"
#include "widgets/vrdigitgroup.h"
#include "widgets/vrweblabel.h"

#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

// Receives what a link label opens, instead of the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void ledColourSets()
    {
        TVrBlinkLed led(QStringLiteral("Di0"));
        const QColor face = led.palette().color(QPalette::Button);
        const QColor expected[4] = {face, QColor(Qt::red), QColor(Qt::yellow), QColor(0, 255, 0)};
        for (int index = 1; index <= 4; ++index) {
            led.setColorIndex(index);
            QCOMPARE(led.lampColor(), expected[index - 1]);
        }
        QCOMPARE(led.Palette(3).Low, QColor(Qt::black));
        led.setActive(true); // Active shows the set's Low colour
        QCOMPARE(led.lampColor(), QColor(Qt::black));
    }

    void ledRefusesColourIndexOutsideTheSets_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("0") << 0;
        QTest::newRow("5") << 5;
        QTest::newRow("negative") << -1;
    }
    void ledRefusesColourIndexOutsideTheSets()
    {
        QFETCH(int, index);
        TVrBlinkLed led;
        led.setColorIndex(2);
        try {
            led.setColorIndex(index);
            QFAIL("no error");
        } catch (const ERangeError &e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Out of range! ColorIndex=[1..4]"));
        }
        QCOMPARE(led.ColorIndex(), 2);
        QCOMPARE(led.lampColor(), QColor(Qt::red));
    }

    void ledLayoutPlacesLampAndCaption()
    {
        TVrBlinkLed left(QStringLiteral("Токовая отсечка в фазах"));
        left.resize(left.sizeHint());
        QCOMPARE(left.lampRect().left(), 0);
        QVERIFY(left.captionRect().left() >= left.lampRect().right() + 1 + left.Spacing());
        QVERIFY(qAbs(left.lampRect().center().y() - left.captionRect().center().y()) <= 1);
        QVERIFY(left.rect().contains(left.captionRect()));

        TVrBlinkLed top(QStringLiteral("Di15"));
        top.setLayout(TVrBlinkLed::ImageTop);
        top.setBlinkLedType(TVrBlinkLed::ltRectangle);
        top.resize(top.sizeHint());
        QVERIFY(top.captionRect().top() >= top.lampRect().bottom() + 1 + top.Spacing());
        QVERIFY(qAbs(top.lampRect().center().x() - top.rect().center().x()) <= 1);
        QVERIFY(top.lampRect().width() > top.lampRect().height());
        QVERIFY(top.rect().contains(top.lampRect()));
        QVERIFY(top.sizeHint().height() >= top.lampRect().height() + top.Spacing() + top.fontMetrics().height());
    }

    void digitGroupFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<bool>("leadingZero");
        QTest::addColumn<QString>("text");
        QTest::newRow("fills the cells") << 655.35 << 5 << 2 << false << "655.35";
        QTest::newRow("blank padded") << 3.5 << 5 << 2 << false << "  3.50";
        QTest::newRow("temperature 25") << 25.0 << 5 << 2 << false << " 25.00";
        QTest::newRow("zero padded") << 3.5 << 5 << 2 << true << "003.50";
        QTest::newRow("zeros after the sign") << -3.5 << 5 << 2 << true << "-03.50";
        QTest::newRow("no decimals") << 42.0 << 4 << 0 << false << "  42";
        QTest::newRow("rounds") << 2.345 << 4 << 1 << false << "  2.3";
    }
    void digitGroupFormat()
    {
        QFETCH(double, value);
        QFETCH(int, digits);
        QFETCH(int, decimals);
        QFETCH(bool, leadingZero);
        QFETCH(QString, text);
        QCOMPARE(TVrDigitGroup::formatValue(value, digits, decimals, leadingZero), text);
    }

    void digitGroupShowsWhatFitsItsCells_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fits") << 999.99 << "999.99";
        QTest::newRow("one decimal less") << 1234.56 << "1234.6";
        QTest::newRow("no decimals") << 65535.0 << "65535";
        QTest::newRow("too large") << 123456.0 << "-----";
        QTest::newRow("not a number") << qQNaN() << "-----";
    }
    void digitGroupShowsWhatFitsItsCells()
    {
        QFETCH(double, value);
        QFETCH(QString, shown);
        TVrDigitGroup group;
        group.setDigits(5);
        group.setDecimals(2);
        group.setLeadingZero(false);
        QSignalSpy overflow(&group, &QLCDNumber::overflow);
        group.setValue(value);
        QCOMPARE(group.displayedText(), shown);
        QCOMPARE(group.digitCount(), 5);
        QCOMPARE(overflow.count(), 0);
    }

    void radioGroupFillsColumnByColumn()
    {
        const QStringList rates{"4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200", "128000"};
        TRadioGroup group(QStringLiteral("Скорость обмена (бит/сек):"), rates, 3);
        group.resize(group.sizeHint());
        group.show();
        const QList<QRadioButton *> buttons = group.findChildren<QRadioButton *>();
        QCOMPARE(buttons.size(), 9);
        // 4800 9600 14400 down the first column, 19200 heads the second.
        QCOMPARE(buttons[3]->y(), buttons[0]->y());
        QVERIFY(buttons[3]->x() > buttons[0]->x());
        QVERIFY(buttons[1]->y() > buttons[0]->y());
        QCOMPARE(buttons[1]->x(), buttons[0]->x());
        QCOMPARE(buttons[8]->y(), buttons[2]->y());
    }

    void radioGroupItemIndex()
    {
        TRadioGroup group(QStringLiteral("Четность:"), {"нет", "нечетн", "четн"});
        QSignalSpy clicks(&group, &TRadioGroup::OnClick);
        QCOMPARE(group.ItemIndex(), -1);
        QVERIFY(group.setProperty("ItemIndex", 2));
        QCOMPARE(group.selectedText(), QStringLiteral("четн"));
        group.setItemIndex(2); // no change, no click
        QCOMPARE(clicks.count(), 1);
        group.show();
        QTest::mouseClick(group.findChildren<QRadioButton *>().at(1), Qt::LeftButton);
        QCOMPARE(group.ItemIndex(), 1);
        QCOMPARE(clicks.count(), 2);
        group.setItemIndex(7);
        QCOMPARE(group.ItemIndex(), -1);
        QCOMPARE(group.selectedText(), QString());
        QCOMPARE(clicks.count(), 3);
        group.setItemIndex(0);
        QCOMPARE(group.ItemIndex(), 0);
        QCOMPARE(clicks.count(), 4);
    }

    void linkResolvesLocalFiles_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QUrl>("opened");
        QTest::newRow("web address") << "https://example.org/a?b=1" << QUrl("https://example.org/a?b=1");
        QTest::newRow("relative file") << "docs/wiring.html"
                                       << QUrl::fromLocalFile(QDir::current().absoluteFilePath("docs/wiring.html"));
        QTest::newRow("absolute file") << "/tmp/a b.html" << QUrl::fromLocalFile("/tmp/a b.html");
        QTest::newRow("nothing") << "  " << QUrl();
    }
    void linkResolvesLocalFiles()
    {
        QFETCH(QString, url);
        QFETCH(QUrl, opened);
        QCOMPARE(TVrWebLabel::resolveUrl(url), opened);
    }

    void linkOpensOnLeftClickAndBoldensOnHover()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        TVrWebLabel label;
        label.setText(QStringLiteral("www.example.org"));
        label.setURL(QStringLiteral("https://example.org/"));
        label.show();
        QVERIFY(label.font().underline());
        QVERIFY(!label.font().bold());
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&label, &enter);
        QVERIFY(label.font().bold());
        QTest::mouseClick(&label, Qt::RightButton);
        QVERIFY(catcher.opened.isEmpty());
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl("https://example.org/")});
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&label, &leave);
        QVERIFY(!label.font().bold());
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void clockShowsTheTimeAndKeepsGoing()
    {
        TRxClock clock;
        const QRegularExpression format(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
        QVERIFY(format.match(clock.text()).hasMatch());
        const QString first = clock.text();
        QTRY_VERIFY_WITH_TIMEOUT(clock.text() != first, 5000);
    }
};

QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
