#pragma once

#include <QDialog>
#include <QFont>
#include <QStringList>

// Wiring-diagram window: for every device family, which of its terminals the two
// wires of the bus pair go to on the PC's RS-485 converter. Information only:
// no bus traffic, no stored settings.
class TFSchemes : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 815;
    static constexpr int ClientHeight = 345;

    explicit TFSchemes(QWidget *owner = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
};

// The window while it exists; set and cleared by the main window that shows it.
extern TFSchemes *FSchemes;

// The largest variant of `base` (pixel size from base down to `minPixelSize`, letter
// spacing tightened a little before going a size smaller) in which every text of
// `texts` is at most `width` pixels wide. When none fits, the smallest variant.
// The wiring lines are long ASCII arrows that have to fit a fixed panel width.
QFont fitFont(const QFont &base, const QStringList &texts, int width, int minPixelSize = 8);
