#pragma once

#include <QAbstractSpinBox>

// Numeric spin editor. The value lives in the text: reading parses it (text that
// does not parse reads as MinValue), writing clamps into the range and formats.
class TRxSpinEdit : public QAbstractSpinBox
{
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE setValue NOTIFY OnChange USER true)
    Q_PROPERTY(double MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(double MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(double Increment READ Increment WRITE setIncrement)
public:
    enum ValueTypeKind { vtInt, vtFloat, vtHex };
    Q_ENUM(ValueTypeKind)

    explicit TRxSpinEdit(QWidget *parent = nullptr);

    double Value() const;
    void setValue(double value);
    // The value truncated to an integer, as the windows read it.
    int IntValue() const;

    double MinValue() const { return m_min; }
    void setMinValue(double value);
    double MaxValue() const { return m_max; }
    void setMaxValue(double value);
    double Increment() const { return m_increment; }
    void setIncrement(double value) { m_increment = value; }
    ValueTypeKind ValueType() const { return m_valueType; }
    void setValueType(ValueTypeKind type);
    int Decimal() const { return m_decimal; }
    void setDecimal(int digits);
    bool EditorEnabled() const { return m_editorEnabled; }
    void setEditorEnabled(bool enabled);
    bool CheckOnExit() const { return m_checkOnExit; }
    void setCheckOnExit(bool check) { m_checkOnExit = check; }

    // The range is in force as soon as either bound is not 0.
    bool hasRange() const { return m_min != 0.0 || m_max != 0.0; }
    double clamp(double value) const;
    QString format(double value) const;
    // The range error text, for example "Value must be between 1 and 247".
    QString rangeErrorText() const;

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Raised whenever the text changes: typing, arrows or the program.
    void OnChange();

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool parse(const QString &text, double *value) const;
    // Characters the editor may hold: digits and signs, plus separator/exponent for vtFloat.
    bool acceptsChar(QChar c) const;
    // True when `text` holds only accepted characters, the separator and the exponent at most once.
    bool isWellFormed(const QString &text) const;
    // Typed text after the rules: "." becomes the locale's separator; empty when refused.
    QString typedText(const QString &typed) const;
    void checkOnLeave();
    void reportRange();

    double m_min = 0;
    double m_max = 0;
    double m_increment = 1;
    ValueTypeKind m_valueType = vtInt;
    int m_decimal = 2;
    bool m_editorEnabled = true;
    bool m_checkOnExit = false;
    bool m_reporting = false;
};
