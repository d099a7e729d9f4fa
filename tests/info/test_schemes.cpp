#include "info/schemes.h"
#include "resources/images.h"
#include "widgets/vrweblabel.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestSchemes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initOrvekResources(); }

    void windowIsFixedAndTitled()
    {
        TFSchemes window;
        QCOMPARE(QString::fromLatin1(window.metaObject()->className()), QStringLiteral("TFSchemes"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Схемы подключения устройств АСУ по интерфейсу RS-485"));
        const QSize client(TFSchemes::ClientWidth, TFSchemes::ClientHeight);
        QCOMPARE(client, QSize(815, 345));
        QCOMPARE(window.minimumSize(), client);
        QCOMPARE(window.maximumSize(), client);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), client);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *text) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text);
        };
        row("StaticText1", "Блоки релейной защиты: KRV-A (ZDLT-1)");
        row("StaticText2", "Модули серии: M-7000");
        row("StaticText3", "Счетчики эл.энергии СЭТ-4ТМ-02.02");
        row("StaticText4", "Модули серии: B-7720");
        row("StaticText5", "Датчики температуры: Ортикс-Т");
        row("StaticText6", "Система многоканального температур.контроля:");
        row("Label1", "клеммы: 13 (-)  <----------- синий ----------> 4 (Data-)");
        row("Label2", "клеммы: 14 (+) <------ бело-синий ------> 3 (Data+)");
        row("Label4", "клеммы: 9 (Data-)  <----------- синий ----------> 4 (Data-)");
        row("Label5", "клеммы: 8 (Data+) <------ бело-синий ------> 3 (Data+)");
        row("Label23", "клеммы: 1 (Data-)  <----------- синий ----------> 4 (Data-)");
        row("Label24", "клеммы: 2 (Data+) <------ бело-синий ------> 3 (Data+)");
        row("Label3", "клеммы: 16 (линия В) <----------- синий ----------> 4 (Data-)");
        row("Label6", "клеммы: 12 (линия А) <------ бело-синий ------> 3 (Data+)");
        row("Label7", "клемма 11 (Data-) <----------- синий ----------> 4 (Data-)");
        row("Label8", "клемма 10 (Data+) <------ бело-синий ------> 3 (Data+)");
        row("Label9", "клемма 11 (Data-) <----------- синий ----------> 4 (Data-)");
        row("Label10", "клемма 10 (Data+) <------ бело-синий ------> 3 (Data+)");
        row("Label27", "Версия программы: 1.2.0.4");
    }

    // Every text is present, exact, and shown whole: a line cut off by its label's
    // width would hide the terminal number it is there to give.
    void texts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        TFSchemes window;
        auto *label = window.findChild<QLabel *>(name);
        QVERIFY2(label, qPrintable(name));
        QCOMPARE(label->text(), text);
        const QRect inner = label->contentsRect();
        QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= inner.width(), qPrintable(name));
        QVERIFY(label->fontMetrics().height() <= inner.height());
        QVERIFY(window.rect().contains(QRect(label->mapTo(&window, QPoint(0, 0)), label->size())));
    }

    // Upper row Panel1, Panel2, Panel5; lower row Panel3, Panel4, Panel6; 140 and
    // 171 pixels high, side by side without overlapping.
    void panelArrangement()
    {
        TFSchemes window;
        const QStringList upper{"Panel1", "Panel2", "Panel5"};
        const QStringList lower{"Panel3", "Panel4", "Panel6"};
        QList<QRect> all;
        for (const QStringList &row : {upper, lower}) {
            int previousRight = -1;
            for (const QString &name : row) {
                auto *panel = window.findChild<QFrame *>(name);
                QVERIFY2(panel, qPrintable(name));
                QCOMPARE(panel->parentWidget(), &window);
                QCOMPARE(panel->height(), row == upper ? 140 : 171);
                QVERIFY2(panel->x() > previousRight, qPrintable(name));
                QVERIFY(window.rect().contains(panel->geometry()));
                previousRight = panel->geometry().right();
                all << panel->geometry();
            }
        }
        for (int i = 0; i < 3; ++i)
            QVERIFY(all[i].bottom() < all[i + 3].top());
        QVERIFY(!all[0].intersects(all[3]));
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("converter");
        QTest::newRow("Panel1") << "Panel1" << "ProgramIcon" << "Image1";
        QTest::newRow("Panel2") << "Panel2" << "Image2" << "Image3";
        QTest::newRow("Panel5") << "Panel5" << "Image9" << "Image8";
        QTest::newRow("Panel3") << "Panel3" << "Image5" << "Image4";
        QTest::newRow("Panel4") << "Panel4" << "Image6" << "Image7";
        QTest::newRow("Panel6") << "Panel6" << "Image10" << "Image11";
    }

    // Device picture on the left, the same 45 x 73 converter on the right, both in
    // their own panel, above its two wiring lines.
    void pictures()
    {
        QFETCH(QString, panel);
        QFETCH(QString, device);
        QFETCH(QString, converter);
        TFSchemes window;
        auto *frame = window.findChild<QFrame *>(panel);
        QVERIFY(frame);
        auto *devicePic = frame->findChild<QLabel *>(device);
        auto *converterPic = frame->findChild<QLabel *>(converter);
        QVERIFY2(devicePic && converterPic, qPrintable(panel));

        const QPixmap devicePixmap = devicePic->pixmap();
        const QPixmap converterPixmap = converterPic->pixmap();
        QVERIFY(!devicePixmap.isNull());
        QVERIFY(!converterPixmap.isNull());
        const QSize deviceSize = devicePixmap.deviceIndependentSize().toSize();
        QVERIFY(deviceSize.width() <= 80 && deviceSize.height() <= 80);
        QVERIFY(deviceSize.width() >= 48 || deviceSize.height() >= 48);
        QCOMPARE(converterPixmap.deviceIndependentSize().toSize(), QSize(45, 73));

        QVERIFY(devicePic->geometry().right() < converterPic->geometry().left());
        QVERIFY(frame->rect().contains(devicePic->geometry()));
        QVERIFY(frame->rect().contains(converterPic->geometry()));
        const QList<QLabel *> labels = frame->findChildren<QLabel *>();
        for (QLabel *label : labels) {
            if (label->text().contains(QStringLiteral("Data"))) {
                QVERIFY(!label->geometry().intersects(devicePic->geometry()));
                QVERIFY(!label->geometry().intersects(converterPic->geometry()));
            }
        }
    }

    void okAcceptsAndIsDefault()
    {
        TFSchemes window;
        auto *ok = window.findChild<QPushButton *>(QStringLiteral("OKButton"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());

        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());
    }

    void enterAcceptsEscapeCloses()
    {
        TFSchemes window;
        window.open();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());

        window.open();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(!window.isVisible());
    }

    void linkLabel()
    {
        TFSchemes window;
        auto *link = window.findChild<TVrWebLabel *>(QStringLiteral("VrWebLabel1"));
        QVERIFY(link);
        QVERIFY(!link->text().isEmpty());
        const QUrl url(link->URL());
        QVERIFY(url.isValid());
        QVERIFY(url.scheme().startsWith(QStringLiteral("http")));
        // Bottom right, right of the OK button.
        auto *ok = window.findChild<QPushButton *>(QStringLiteral("OKButton"));
        QVERIFY(link->geometry().left() > ok->geometry().right());
        QVERIFY(window.rect().contains(link->geometry()));
        QFont bold = link->font();
        bold.setBold(true);
        QVERIFY(QFontMetrics(bold).horizontalAdvance(link->text()) <= link->width());
    }

    void fitFont_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("canFit");
        QTest::newRow("fits at once") << "OK" << 400 << true;
        QTest::newRow("needs shrinking") << "клеммы: 16 (линия В) <----------- синий ----------> 4 (Data-)" << 240
                                         << true;
        QTest::newRow("never fits") << "a long line that cannot fit" << 10 << false;
    }

    void fitFont()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(bool, canFit);
        QFont base(QStringLiteral("DejaVu Sans"));
        base.setPixelSize(12);
        const QFont fitted = ::fitFont(base, {text}, width, 8);
        if (!canFit) {
            QCOMPARE(fitted.pixelSize(), 8); // the smallest variant
            return;
        }
        QVERIFY(QFontMetrics(fitted).horizontalAdvance(text) <= width);
        QVERIFY(fitted.pixelSize() >= 8 && fitted.pixelSize() <= 12);
        if (QFontMetrics(base).horizontalAdvance(text) <= width) {
            QCOMPARE(fitted.pixelSize(), 12);
            QCOMPARE(fitted.letterSpacing(), 0.0);
        }
    }
};

QTEST_MAIN(TestSchemes)
#include "test_schemes.moc"
