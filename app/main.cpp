#include "app/mainwindow.h"
#include "resources/images.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    QApplication::setApplicationName(QStringLiteral("orvek-configurator"));
    // The application's title is the message boxes' title and the desktop entry's
    // name; it is not set as Qt's display name, which would be appended to every
    // window caption.
    QGuiApplication::setDesktopFileName(QStringLiteral("orvek-configurator"));
    QApplication::setWindowIcon(applicationIcon());

    TFOrvekConfigurator window;
    window.show();
    return app.exec();
}
