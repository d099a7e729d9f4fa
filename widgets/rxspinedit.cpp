#include "widgets/rxspinedit.h"

#include "widgets/dialogs.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTimer>

#include <climits>
#include <cmath>

namespace {

// The system's number format, without thousands separators: they are neither
// shown nor accepted.
QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QChar decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

bool isExponent(QChar c)
{
    return c == QLatin1Char('e') || c == QLatin1Char('E');
}

} // namespace

TRxSpinEdit::TRxSpinEdit(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    lineEdit()->setText(format(0));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        update(); // the arrows follow the value
        emit OnChange();
    });
    connect(lineEdit(), &QLineEdit::inputRejected, this, [] { QApplication::beep(); });
}

bool TRxSpinEdit::parse(const QString &text, double *value) const
{
    const QString t = text.trimmed();
    bool ok = false;
    switch (m_valueType) {
    case vtInt:
        *value = static_cast<double>(t.toLongLong(&ok, 10));
        break;
    case vtHex:
        *value = static_cast<double>(t.toLongLong(&ok, 16));
        break;
    case vtFloat:
        *value = numberLocale().toDouble(t, &ok);
        ok = ok && std::isfinite(*value);
        break;
    }
    return ok;
}

double TRxSpinEdit::Value() const
{
    double value = 0;
    return parse(lineEdit()->text(), &value) ? value : m_min;
}

void TRxSpinEdit::setValue(double value)
{
    if (std::isnan(value))
        value = m_min;
    const QString shown = format(clamp(value));
    if (shown != lineEdit()->text())
        lineEdit()->setText(shown);
}

int TRxSpinEdit::IntValue() const
{
    const double value = Value();
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

void TRxSpinEdit::setMinValue(double value)
{
    m_min = value;
    update();
    updateGeometry();
}

void TRxSpinEdit::setMaxValue(double value)
{
    m_max = value;
    update();
    updateGeometry();
}

void TRxSpinEdit::setValueType(ValueTypeKind type)
{
    if (type == m_valueType)
        return;
    const double value = Value(); // read in the old format
    m_valueType = type;
    setValue(value);
    updateGeometry();
}

void TRxSpinEdit::setDecimal(int digits)
{
    digits = qBound(0, digits, 255);
    if (digits == m_decimal)
        return;
    const double value = Value();
    m_decimal = digits;
    setValue(value);
    updateGeometry();
}

void TRxSpinEdit::setEditorEnabled(bool enabled)
{
    m_editorEnabled = enabled;
    // Read-only also keeps paste, cut and drops out; the arrows still work.
    lineEdit()->setReadOnly(!enabled || isReadOnly());
}

double TRxSpinEdit::clamp(double value) const
{
    if (!hasRange())
        return value;
    // Not std::clamp: the coupled address editors can briefly have max < min.
    if (value < m_min)
        return m_min;
    if (value > m_max)
        return m_max;
    return value;
}

QString TRxSpinEdit::format(double value) const
{
    switch (m_valueType) {
    case vtHex:
        if (std::fabs(value) < 9.0e18)
            return QString::number(std::llround(value), 16).toUpper();
        return QString::number(value, 'f', 0);
    case vtFloat: {
        QString text = numberLocale().toString(value, 'f', m_decimal);
        double back = 0;
        // No "-0,00" for a tiny negative value.
        if (text.startsWith(QLocale().negativeSign()) && parse(text, &back) && back == 0.0)
            text.remove(0, QLocale().negativeSign().size());
        return text;
    }
    case vtInt:
        break;
    }
    // Adding 0.0 turns a rounded -0 into 0.
    return QString::number(std::round(value) + 0.0, 'f', 0);
}

QString TRxSpinEdit::rangeErrorText() const
{
    // Up to 15 significant digits, so a bound of a million reads 1000000, not 1e+06.
    return QStringLiteral("Value must be between %1 and %2")
        .arg(QString::number(m_min, 'g', 15), QString::number(m_max, 'g', 15));
}

bool TRxSpinEdit::acceptsChar(QChar c) const
{
    if (c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-'))
        return true;
    if (QLocale().negativeSign() == QString(c) || QLocale().positiveSign() == QString(c))
        return true;
    if (m_valueType == vtHex)
        return QStringLiteral("abcdefABCDEF").contains(c);
    if (m_valueType == vtFloat)
        return c == decimalSeparator() || isExponent(c);
    return false;
}

bool TRxSpinEdit::isWellFormed(const QString &text) const
{
    int separators = 0;
    int exponents = 0;
    for (const QChar c : text) {
        if (!acceptsChar(c))
            return false;
        if (m_valueType == vtFloat) {
            separators += c == decimalSeparator() ? 1 : 0;
            exponents += isExponent(c) ? 1 : 0;
        }
    }
    return separators <= 1 && exponents <= 1;
}

QString TRxSpinEdit::typedText(const QString &typed) const
{
    QString accepted;
    for (const QChar c : typed) {
        if (m_valueType == vtFloat && (c == QLatin1Char('.') || c == decimalSeparator()))
            accepted += decimalSeparator();
        else if (acceptsChar(c))
            accepted += c;
        else
            return {};
    }
    // Once only: judge the text as it would read after the keystroke.
    const QLineEdit *edit = lineEdit();
    QString after = edit->text();
    if (edit->hasSelectedText())
        after.replace(edit->selectionStart(), edit->selectedText().size(), accepted);
    else
        after.insert(edit->cursorPosition(), accepted);
    return isWellFormed(after) ? accepted : QString();
}

void TRxSpinEdit::stepBy(int steps)
{
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    setValue(Value() + steps * m_increment);
    if (style()->styleHint(QStyle::SH_SpinBox_SelectOnStep, nullptr, this))
        selectAll();
}

QAbstractSpinBox::StepEnabled TRxSpinEdit::stepEnabled() const
{
    if (isReadOnly())
        return StepUpEnabled | StepDownEnabled; // so that a click can beep
    if (!hasRange())
        return StepUpEnabled | StepDownEnabled;
    const double value = Value();
    StepEnabled enabled = StepNone;
    if (value < m_max)
        enabled |= StepUpEnabled;
    if (value > m_min)
        enabled |= StepDownEnabled;
    return enabled;
}

QValidator::State TRxSpinEdit::validate(QString &input, int &) const
{
    if (!isWellFormed(input))
        return QValidator::Invalid;
    double value = 0;
    return parse(input, &value) ? QValidator::Acceptable : QValidator::Intermediate;
}

void TRxSpinEdit::fixup(QString &) const
{
    // The text stays as typed; leaving the field normalises it (checkOnLeave).
}

void TRxSpinEdit::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // The window's default and cancel buttons.
        event->ignore();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!m_editorEnabled && !isReadOnly()) {
            QApplication::beep();
            event->accept();
            return;
        }
        break;
    default:
        break;
    }

    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (printable && !isReadOnly()) {
        const QString accepted = m_editorEnabled ? typedText(typed) : QString();
        if (accepted.isEmpty()) {
            QApplication::beep();
            event->accept();
            return;
        }
        QKeyEvent replaced(event->type(), event->key(), event->modifiers(), accepted, event->isAutoRepeat(),
                           static_cast<quint16>(event->count()));
        QAbstractSpinBox::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TRxSpinEdit::focusOutEvent(QFocusEvent *event)
{
    QAbstractSpinBox::focusOutEvent(event);
    // Switching to another window or opening a menu is not leaving the field.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    checkOnLeave();
}

void TRxSpinEdit::checkOnLeave()
{
    if (m_reporting)
        return;
    if (m_checkOnExit && hasRange()) {
        const double value = Value();
        if (value < m_min || value > m_max) {
            // Reported once the focus change is over: a modal box inside it would fight it.
            QTimer::singleShot(0, this, &TRxSpinEdit::reportRange);
            return;
        }
    }
    setValue(Value());
}

void TRxSpinEdit::reportRange()
{
    if (!isVisible() || !isEnabled() || m_reporting)
        return;
    const double value = Value();
    if (value >= m_min && value <= m_max)
        return;
    m_reporting = true;
    setFocus(Qt::OtherFocusReason);
    selectAll();
    QPointer<TRxSpinEdit> self(this);
    showError(this, rangeErrorText());
    if (!self)
        return;
    m_reporting = false;
    if (isVisible()) {
        setFocus(Qt::OtherFocusReason);
        selectAll();
    }
}

QSize TRxSpinEdit::sizeHint() const
{
    ensurePolished();
    const QFontMetrics fm(fontMetrics());
    int width = fm.horizontalAdvance(QStringLiteral("000"));
    for (const QString &s : {format(clamp(m_min)), format(clamp(m_max)), text()})
        width = qMax(width, fm.horizontalAdvance(s));
    width += 2 + fm.horizontalAdvance(QLatin1Char(' ')); // room for the cursor
    const int height = lineEdit()->sizeHint().height();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(width, height), this);
}

QSize TRxSpinEdit::minimumSizeHint() const
{
    ensurePolished();
    const QFontMetrics fm(fontMetrics());
    const int width = fm.horizontalAdvance(QStringLiteral("00")) + 2;
    const int height = lineEdit()->minimumSizeHint().height();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(width, height), this);
}
