#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

struct Range
{
    double min, max, increment;
};

void setUp(TRxSpinEdit &edit, const Range &range, double value)
{
    edit.setMinValue(range.min);
    edit.setMaxValue(range.max);
    edit.setIncrement(range.increment);
    edit.setValue(value);
}

QLineEdit *lineOf(TRxSpinEdit &edit)
{
    return edit.findChild<QLineEdit *>();
}

// A shown, active window with two editors, so Tab has somewhere to go.
struct TwoEditors
{
    QWidget window;
    TRxSpinEdit *first = new TRxSpinEdit(&window);
    TRxSpinEdit *second = new TRxSpinEdit(&window);

    bool show()
    {
        auto *layout = new QHBoxLayout(&window);
        layout->addWidget(first);
        layout->addWidget(second);
        window.show();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        first->setFocus(Qt::OtherFocusReason);
        return QTest::qWaitFor([this] { return first->hasFocus(); });
    }
    void retype(const QString &text)
    {
        lineOf(*first)->selectAll();
        QTest::keyClick(first, Qt::Key_Delete);
        QTest::keyClicks(first, text);
    }
};

} // namespace

class TestRxSpinEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Decimal comma: shows that the system's separator, not ".", is used.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }

    void arrowsStopAtTheBounds_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("increment");
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("steps"); // one arrow click each, up when positive
        QTest::addColumn<QStringList>("shown"); // text after each click
        QTest::newRow("port number at 16") << 1.0 << 16.0 << 1.0 << 16.0 << 2 << QStringList{"16", "16"};
        QTest::newRow("port number at 1") << 1.0 << 16.0 << 1.0 << 1.0 << -1 << QStringList{"1"};
        QTest::newRow("relay baud rate") << 9600.0 << 19200.0 << 9600.0 << 9600.0 << 3
                                         << QStringList{"19200", "19200", "19200"};
        QTest::newRow("module baud rate")
            << 9600.0 << 115200.0 << 9600.0 << 9600.0 << 12
            << QStringList{"19200", "28800", "38400", "48000", "57600", "67200", "76800", "86400", "96000", "105600",
                           "115200", "115200"};
        QTest::newRow("test count down to 50") << 50.0 << 100000.0 << 50.0 << 120.0 << -3
                                               << QStringList{"70", "50", "50"};
    }
    void arrowsStopAtTheBounds()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, increment);
        QFETCH(double, start);
        QFETCH(int, steps);
        QFETCH(QStringList, shown);
        TRxSpinEdit edit;
        setUp(edit, {min, max, increment}, start);
        edit.setEditorEnabled(false); // the arrows work all the same
        QStringList seen;
        for (int i = 0; i < std::abs(steps); ++i) {
            QTest::keyClick(&edit, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
            seen << edit.text();
        }
        QCOMPARE(seen, shown);
    }

    void stepAtTheBoundRaisesNoChange()
    {
        TRxSpinEdit edit;
        setUp(edit, {1, 16, 1}, 16);
        QSignalSpy changes(&edit, &TRxSpinEdit::OnChange);
        edit.stepBy(1);
        QCOMPARE(edit.Value(), 16.0);
        QCOMPARE(changes.count(), 0);
    }

    void emissivityStepsInHundredths()
    {
        TRxSpinEdit edit;
        edit.setValueType(TRxSpinEdit::vtFloat);
        edit.setDecimal(2);
        setUp(edit, {0.1, 1.0, 0.01}, 0.8);
        QCOMPARE(edit.text(), QStringLiteral("0,80"));
        edit.stepBy(1);
        QCOMPARE(edit.text(), QStringLiteral("0,81"));
        QCOMPARE(edit.Value(), 0.81);
        // Ninety steps from the minimum land on the maximum, not a hair short of it.
        edit.setValue(0.1);
        for (int i = 0; i < 90; ++i)
            edit.stepBy(1);
        QCOMPARE(edit.text(), QStringLiteral("1,00"));
        edit.stepBy(1);
        QCOMPARE(edit.text(), QStringLiteral("1,00"));
        edit.setValue(0.1);
        edit.stepBy(-1);
        QCOMPARE(edit.text(), QStringLiteral("0,10"));
    }

    void settingClampsAndFormats_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("below range") << int(TRxSpinEdit::vtInt) << 100.0 << 1000.0 << 5.0 << "100";
        QTest::newRow("above range") << int(TRxSpinEdit::vtInt) << 100.0 << 1000.0 << 5000.0 << "1000";
        QTest::newRow("rounds to nearest") << int(TRxSpinEdit::vtInt) << 0.0 << 0.0 << 7.6 << "8";
        QTest::newRow("rounds negative") << int(TRxSpinEdit::vtInt) << 0.0 << 0.0 << -7.6 << "-8";
        QTest::newRow("no range when both 0") << int(TRxSpinEdit::vtInt) << 0.0 << 0.0 << -123456.0 << "-123456";
        QTest::newRow("one bound makes a range") << int(TRxSpinEdit::vtInt) << 0.0 << 10.0 << -3.0 << "0";
        QTest::newRow("single-point range") << int(TRxSpinEdit::vtInt) << 1.0 << 1.0 << 5.0 << "1";
        QTest::newRow("no group separator") << int(TRxSpinEdit::vtFloat) << 0.0 << 0.0 << 12345.678 << "12345,68";
        QTest::newRow("no negative zero") << int(TRxSpinEdit::vtFloat) << 0.0 << 0.0 << -0.001 << "0,00";
        QTest::newRow("float clamps") << int(TRxSpinEdit::vtFloat) << 0.1 << 1.0 << 0.05 << "0,10";
    }
    void settingClampsAndFormats()
    {
        QFETCH(int, type);
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, value);
        QFETCH(QString, shown);
        TRxSpinEdit edit;
        edit.setValueType(TRxSpinEdit::ValueTypeKind(type));
        setUp(edit, {min, max, 1}, value);
        QCOMPARE(edit.text(), shown);
    }

    void unparsableTextReadsAsMinValue_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << int(TRxSpinEdit::vtInt) << "";
        QTest::newRow("sign only") << int(TRxSpinEdit::vtInt) << "-";
        QTest::newRow("two signs") << int(TRxSpinEdit::vtInt) << "+-5";
        QTest::newRow("letters") << int(TRxSpinEdit::vtInt) << "abc";
        QTest::newRow("point in an integer") << int(TRxSpinEdit::vtInt) << "12.5";
        QTest::newRow("bare exponent") << int(TRxSpinEdit::vtFloat) << "1e";
        QTest::newRow("point, not comma") << int(TRxSpinEdit::vtFloat) << "0.5";
    }
    void unparsableTextReadsAsMinValue()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        TRxSpinEdit edit;
        edit.setValueType(TRxSpinEdit::ValueTypeKind(type));
        setUp(edit, {50, 1000, 1}, 300);
        lineOf(edit)->setText(text);
        QCOMPARE(edit.Value(), edit.MinValue());
    }

    void typingRules_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("editorEnabled");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letters dropped") << int(TRxSpinEdit::vtInt) << true << "12a3" << "123";
        QTest::newRow("signs kept") << int(TRxSpinEdit::vtInt) << true << "-5+" << "-5+";
        QTest::newRow("no separator in an integer") << int(TRxSpinEdit::vtInt) << true << "1,5.0" << "150";
        QTest::newRow("no exponent in an integer") << int(TRxSpinEdit::vtInt) << true << "2e3" << "23";
        QTest::newRow("point becomes comma") << int(TRxSpinEdit::vtFloat) << true << "0.5" << "0,5";
        QTest::newRow("separator once") << int(TRxSpinEdit::vtFloat) << true << "1,2.3" << "1,23";
        QTest::newRow("exponent once") << int(TRxSpinEdit::vtFloat) << true << "1e5E2" << "1e52";
        QTest::newRow("no typing when disabled") << int(TRxSpinEdit::vtInt) << false << "77" << "16";
    }
    void typingRules()
    {
        QFETCH(int, type);
        QFETCH(bool, editorEnabled);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        TRxSpinEdit edit;
        edit.setValueType(TRxSpinEdit::ValueTypeKind(type));
        edit.setDecimal(2);
        edit.setValue(16);
        edit.setEditorEnabled(editorEnabled);
        if (editorEnabled)
            lineOf(edit)->clear();
        QTest::keyClicks(&edit, typed);
        QCOMPARE(edit.text(), shown);
    }

    void disabledEditorRefusesDeletingButSteps()
    {
        TRxSpinEdit edit;
        setUp(edit, {1, 16, 1}, 12);
        edit.setEditorEnabled(false);
        lineOf(edit)->end(false);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        lineOf(edit)->home(false);
        QTest::keyClick(&edit, Qt::Key_Delete);
        lineOf(edit)->selectAll();
        QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit.text(), QStringLiteral("12"));
        QTest::keyClick(&edit, Qt::Key_Up);
        QCOMPARE(edit.text(), QStringLiteral("13"));
    }

    void readOnlyEditorDoesNotStep()
    {
        TRxSpinEdit edit;
        setUp(edit, {1, 16, 1}, 5);
        edit.setReadOnly(true);
        edit.stepBy(1);
        QTest::keyClick(&edit, Qt::Key_Down);
        QCOMPARE(edit.text(), QStringLiteral("5"));
    }

    void onChangeFollowsEveryTextChange()
    {
        TRxSpinEdit edit;
        setUp(edit, {1, 247, 1}, 1);
        QSignalSpy changes(&edit, &TRxSpinEdit::OnChange);
        edit.setValue(5);
        edit.setValue(5); // same text: no change
        QCOMPARE(changes.count(), 1);
        QTest::keyClicks(&edit, "7"); // "57"
        QCOMPARE(changes.count(), 2);
        edit.stepBy(1);
        QCOMPARE(changes.count(), 3);
        QCOMPARE(edit.text(), QStringLiteral("58"));
    }

    void rangeErrorUsesGeneralFormat_data()
    {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<QString>("text");
        QTest::newRow("address") << 1.0 << 247.0 << "Value must be between 1 and 247";
        QTest::newRow("coefficient") << 0.1 << 1.0 << "Value must be between 0.1 and 1";
        QTest::newRow("sensor's count") << 50.0 << 1000000.0 << "Value must be between 50 and 1000000";
        QTest::newRow("count") << 50.0 << 100000.0 << "Value must be between 50 and 100000";
        QTest::newRow("15 digits") << -1.0 << 999999999999999.0 << "Value must be between -1 and 999999999999999";
        QTest::newRow("beyond 15 digits") << 0.0 << 1e15 << "Value must be between 0 and 1e+15";
        QTest::newRow("fraction cut at 15 digits") << 0.0 << 0.1 + 0.2 << "Value must be between 0 and 0.3";
    }
    void rangeErrorUsesGeneralFormat()
    {
        QFETCH(double, min);
        QFETCH(double, max);
        TRxSpinEdit edit;
        setUp(edit, {min, max, 1}, min);
        QTEST(edit.rangeErrorText(), "text");
    }

    void checkOnExitKeepsTheFocusOnError()
    {
        TestFixture fixture;
        ScriptedDialogs &dialogs = fixture.dialogs;
        TwoEditors form;
        for (TRxSpinEdit *edit : {form.first, form.second}) {
            setUp(*edit, {1, 247, 1}, 1);
            edit->setCheckOnExit(true);
        }
        QVERIFY(form.show());
        form.retype(QStringLiteral("300"));
        dialogs.expectError(QStringLiteral("Value must be between 1 and 247"));
        QTest::keyClick(form.first, Qt::Key_Tab);
        QTRY_COMPARE(dialogs.texts("error"), QStringList{"Value must be between 1 and 247"});
        QTRY_VERIFY(form.first->hasFocus());
        QCOMPARE(form.first->text(), QStringLiteral("300")); // kept as typed until corrected
        QCOMPARE(lineOf(*form.first)->selectedText(), QStringLiteral("300"));

        form.retype(QStringLiteral("12"));
        QTest::keyClick(form.first, Qt::Key_Tab);
        QTRY_VERIFY(form.second->hasFocus());
        QCOMPARE(form.first->text(), QStringLiteral("12"));
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY2(fixture.clean(), fixture.report());
    }

    void pressingAButtonToLeaveDoesNotClickIt()
    {
        TestFixture fixture;
        ScriptedDialogs &dialogs = fixture.dialogs;
        QWidget window;
        auto *edit = new TRxSpinEdit(&window);
        setUp(*edit, {1, 247, 1}, 1);
        edit->setCheckOnExit(true);
        auto *button = new QPushButton(QStringLiteral("KRV-A"), &window);
        auto *layout = new QHBoxLayout(&window);
        layout->addWidget(edit);
        layout->addWidget(button);
        QSignalSpy clicked(button, &QPushButton::clicked);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        lineOf(*edit)->setText(QStringLiteral("300"));
        dialogs.expectError(QStringLiteral("Value must be between 1 and 247"));
        QTest::mousePress(button, Qt::LeftButton);
        QTRY_COMPARE(dialogs.texts("error").size(), 1);
        QTRY_VERIFY(edit->hasFocus());
        QVERIFY(!button->isDown()); // the focus taken back releases it
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        QVERIFY2(fixture.clean(), fixture.report());
    }

    void leavingNormalisesTheText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("below the range") << "5" << "100";
        QTest::newRow("above the range") << "5000" << "1000";
        QTest::newRow("leading zero") << "0300" << "300";
        QTest::newRow("explicit plus") << "+400" << "400";
        QTest::newRow("nothing left") << "" << "100";
    }
    void leavingNormalisesTheText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        TestFixture fixture;
        ScriptedDialogs &dialogs = fixture.dialogs;
        TwoEditors form;
        setUp(*form.first, {100, 1000, 1}, 300);
        QVERIFY(form.show());
        form.retype(typed);
        QTest::keyClick(form.first, Qt::Key_Tab);
        QTRY_VERIFY(form.second->hasFocus());
        QCOMPARE(form.first->text(), shown);
        QVERIFY(dialogs.shown.isEmpty());
        QVERIFY2(fixture.clean(), fixture.report());
    }

    void enterAndEscapeReachTheWindow()
    {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            QDialog dialog;
            auto *edit = new TRxSpinEdit(&dialog);
            auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
            ok->setDefault(true);
            connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
            auto *layout = new QHBoxLayout(&dialog);
            layout->addWidget(edit);
            layout->addWidget(ok);
            QSignalSpy finished(&dialog, &QDialog::finished);
            dialog.open();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            edit->setFocus();
            QTest::keyClick(edit, key);
            QCOMPARE(finished.count(), 1);
            QCOMPARE(dialog.result(), key == Qt::Key_Return ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
    }
};

QTEST_MAIN(TestRxSpinEdit)
#include "test_rxspinedit.moc"
