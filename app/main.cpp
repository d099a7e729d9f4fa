#include "app/mainwindow.h"
#include "resources/images.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    QApplication::setApplicationName(QStringLiteral("orvek-configurator"));
    QApplication::setApplicationDisplayName(QStringLiteral("Конфигуратор устройств АСУ"));
    QApplication::setWindowIcon(applicationIcon());

    TFOrvekConfigurator window;
    window.show();
    return app.exec();
}
