#pragma once

#include <QString>

#include <exception>
#include <optional>

class QWidget;

// Every message box, the text input box and the save-file dialog of the program
// go through this seam, so tests can script the answers. Texts keep the "\r"
// line breaks of the program's messages; the standard implementation shows each
// "\r" (or "\r\n") as a line break.
class UserDialogs
{
public:
    enum class Kind { Information, Warning, Error };

    virtual ~UserDialogs() = default;
    virtual void message(QWidget *parent, Kind kind, const QString &text) = 0;
    // Question box with Yes and No; true only for Yes.
    virtual bool question(QWidget *parent, const QString &text) = 0;
    // Text input box; nullopt when cancelled. `password` hides the typed characters.
    virtual std::optional<QString> inputText(QWidget *parent, const QString &caption, const QString &prompt,
                                             const QString &initial, bool password) = 0;
    // Save-file dialog; empty when cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &title, const QString &filter,
                                 const QString &proposedPath, const QString &defaultSuffix) = 0;
};

// The application's title, "Конфигуратор устройств АСУ": the title of every message box.
QString ApplicationTitle();

// The dialogs in force. Never null: the standard Qt dialogs unless a test set others.
UserDialogs &dialogs();
// Installs `replacement` (not owned); nullptr restores the standard dialogs.
void setDialogs(UserDialogs *replacement);

// Turns the program's "\r" / "\r\n" line breaks into what a Qt label shows as a break.
QString displayText(const QString &text);

void showInformation(QWidget *parent, const QString &text);
void showWarning(QWidget *parent, const QString &text);
void showError(QWidget *parent, const QString &text);
bool askYesNo(QWidget *parent, const QString &text);

// Runs a GUI handler and stops any error at its edge: the error box shows the
// error's text and the handler simply ends, as the toolkit's own error box would.
// Exceptions must never unwind through Qt's frames.
template <typename Handler>
void guarded(QWidget *parent, Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        showError(parent, QString::fromUtf8(e.what()));
    }
}
