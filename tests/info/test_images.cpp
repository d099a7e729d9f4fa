#include "devices/devicecatalogue.h"
#include "resources/images.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSvgRenderer>
#include <QtTest>

namespace {

// Share of pixels that are not fully transparent.
double coverage(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    qint64 painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return double(painted) / (image.width() * image.height());
}

} // namespace

class TestImages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initOrvekResources(); }

    // A broken drawing would show as an empty button, so every compiled-in file
    // must parse, have a size and paint a good part of its area.
    void everyPictureRenders()
    {
        const QDir dir(QStringLiteral(":/images"));
        const QStringList files = dir.entryList({QStringLiteral("*.svg")}, QDir::Files);
        QVERIFY(files.size() >= 11);
        for (const QString &file : files) {
            QSvgRenderer renderer(dir.filePath(file));
            QVERIFY2(renderer.isValid(), qPrintable(file));
            QVERIFY2(!renderer.defaultSize().isEmpty(), qPrintable(file));
            const QString name = QFileInfo(file).completeBaseName();
            QVERIFY2(coverage(devicePicture(name, QSize(64, 64))) > 0.15, qPrintable(file));
        }
    }

    void deviceIcons_data()
    {
        QTest::addColumn<QString>("name");
        for (const DeviceKind &kind : DeviceKinds())
            QTest::addRow("tag %d", kind.tag) << kind.picture;
    }

    void deviceIcons()
    {
        QFETCH(QString, name);
        QVERIFY(hasPicture(name));
        const QIcon icon = pictureIcon(name);
        QVERIFY(!icon.isNull());
        for (int edge : {32, 64, 96}) {
            const QPixmap pixmap = icon.pixmap(QSize(edge, edge));
            QVERIFY(!pixmap.isNull());
            QVERIFY(pixmap.width() <= edge && pixmap.height() <= edge);
            QVERIFY(qMax(pixmap.width(), pixmap.height()) == edge);
        }
    }

    void unknownNames()
    {
        QSet<QString> names;
        for (const DeviceKind &kind : DeviceKinds())
            names.insert(kind.picture);
        QCOMPARE(names.size(), 7); // each button its own picture

        QVERIFY(!hasPicture(QString()));
        QVERIFY(!hasPicture(QStringLiteral("no-such-picture")));
        QVERIFY(devicePicture(QStringLiteral("no-such-picture"), QSize(64, 64)).isNull());
        QVERIFY(pictureIcon(QStringLiteral("no-such-picture")).isNull());
        QVERIFY(!applicationIcon().isNull());
        QVERIFY(!wiringIcon().isNull());
        QVERIFY(devicePicture(Pictures::Krva, QSize()).isNull());
        QVERIFY(devicePicture(Pictures::Krva, QSize(0, 64)).isNull());
    }

    void fittedKeepingProportions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("box");
        QTest::newRow("converter in a square") << Pictures::Converter << QSize(90, 90);
        QTest::newRow("converter in a wide box") << Pictures::Converter << QSize(200, 73);
        QTest::newRow("controller in a square") << Pictures::Controller << QSize(64, 64);
        QTest::newRow("photo in its own size") << Pictures::ControllerPhoto << QSize(332, 426);
        QTest::newRow("meter in a tall box") << Pictures::Set4tm << QSize(40, 200);
    }

    void fittedKeepingProportions()
    {
        QFETCH(QString, name);
        QFETCH(QSize, box);
        const QSize natural = pictureSize(name);
        const QSize size = devicePicture(name, box).deviceIndependentSize().toSize();
        QVERIFY(size.width() <= box.width() && size.height() <= box.height());
        QVERIFY(size.width() == box.width() || size.height() == box.height());
        const double expected = double(natural.width()) / natural.height();
        QVERIFY(qAbs(size.width() - expected * size.height()) <= 1.0);
    }

    void naturalSizes()
    {
        QCOMPARE(pictureSize(Pictures::Converter), QSize(45, 73));
        QCOMPARE(pictureSize(Pictures::ControllerPhoto), QSize(332, 426));
        // The controller sits on the double-height button.
        const QSize controller = pictureSize(Pictures::Controller);
        QVERIFY(controller.height() > controller.width());
    }
};

QTEST_MAIN(TestImages)
#include "test_images.moc"
