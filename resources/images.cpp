#include "resources/images.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// Q_INIT_RESOURCE must be expanded outside any namespace.
void initOrvekResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

QString picturePath(const QString &name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

qreal screenRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

} // namespace

bool hasPicture(const QString &name)
{
    initOrvekResources();
    return !name.isEmpty() && QFile::exists(picturePath(name));
}

QSize pictureSize(const QString &name)
{
    if (!hasPicture(name))
        return {};
    return QSvgRenderer(picturePath(name)).defaultSize();
}

namespace {

QPixmap renderPicture(const QString &name, QSize box, qreal ratio)
{
    if (!hasPicture(name) || box.isEmpty())
        return {};
    QSvgRenderer renderer(picturePath(name));
    if (!renderer.isValid())
        return {};
    const QSize fitted = renderer.defaultSize().scaled(box, Qt::KeepAspectRatio);
    if (fitted.isEmpty())
        return {};
    QPixmap pixmap(fitted * ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(fitted) * ratio));
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

QPixmap devicePicture(const QString &name, QSize box)
{
    return renderPicture(name, box, screenRatio());
}

QIcon pictureIcon(const QString &name)
{
    if (!hasPicture(name))
        return {};
    // Pixmaps for the sizes buttons and title bars ask for; QIcon picks by pixel
    // size (also on high-density screens) and scales the nearest one in between.
    static const int edges[] = {16, 24, 32, 48, 64, 96, 128, 192, 256};
    QIcon icon;
    for (int edge : edges)
        icon.addPixmap(renderPicture(name, QSize(edge, edge), 1.0));
    return icon;
}

QIcon applicationIcon()
{
    return pictureIcon(Pictures::Application);
}

QIcon wiringIcon()
{
    return pictureIcon(Pictures::Schemes);
}
