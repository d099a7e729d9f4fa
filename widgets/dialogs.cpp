#include "widgets/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

namespace {

class StandardDialogs final : public UserDialogs
{
public:
    void message(QWidget *parent, Kind kind, const QString &text) override
    {
        const QString title = ApplicationTitle();
        const QString shown = displayText(text);
        switch (kind) {
        case Kind::Information: QMessageBox::information(parent, title, shown); break;
        case Kind::Warning: QMessageBox::warning(parent, title, shown); break;
        case Kind::Error: QMessageBox::critical(parent, title, shown); break;
        }
    }

    bool question(QWidget *parent, const QString &text) override
    {
        return QMessageBox::question(parent, ApplicationTitle(), displayText(text),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
            == QMessageBox::Yes;
    }

    std::optional<QString> inputText(QWidget *parent, const QString &caption, const QString &prompt,
                                     const QString &initial, bool password) override
    {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(caption);
        dialog.setLabelText(prompt);
        dialog.setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
        dialog.setTextValue(initial);
        // Wide enough for the caption, which the window manager would cut short.
        dialog.resize(std::max(dialog.sizeHint().width(), dialog.fontMetrics().horizontalAdvance(caption) + 140),
                      dialog.sizeHint().height());
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }

    QString saveFileName(QWidget *parent, const QString &title, const QString &filter, const QString &proposedPath,
                         const QString &defaultSuffix) override
    {
        QFileDialog dialog(parent, title, proposedPath, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        // The report dialog asks nothing before replacing a file of the same name.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
};

StandardDialogs standardDialogs;
UserDialogs *current = nullptr;

} // namespace

QString ApplicationTitle()
{
    return QStringLiteral("Конфигуратор устройств АСУ");
}

UserDialogs &dialogs()
{
    return current ? *current : standardDialogs;
}

void setDialogs(UserDialogs *replacement)
{
    current = replacement;
}

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void showInformation(QWidget *parent, const QString &text)
{
    dialogs().message(parent, UserDialogs::Kind::Information, text);
}

void showWarning(QWidget *parent, const QString &text)
{
    dialogs().message(parent, UserDialogs::Kind::Warning, text);
}

void showError(QWidget *parent, const QString &text)
{
    dialogs().message(parent, UserDialogs::Kind::Error, text);
}

bool askYesNo(QWidget *parent, const QString &text)
{
    return dialogs().question(parent, text);
}
