#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// The pictures compiled into the GUI library: device pictures for the main window's
// buttons, the RS-485 converter of the wiring diagrams, the controller photograph and
// the application icon. Every picture is an SVG file ":/images/<name>.svg", rendered
// at the size asked for, so it stays sharp on any button.

// Registers the compiled-in pictures. The GUI library is static, so its resources are
// only linked in when something calls this; main() calls it once before the first
// window. The picture functions below call it too, so forgetting it cannot blank a
// button.
void initOrvekResources();

// Picture names used by the windows.
namespace Pictures {
inline const QString Krva = QStringLiteral("krva");
inline const QString Zdlt = QStringLiteral("zdlt");
inline const QString M7051d = QStringLiteral("m7051d");
inline const QString B7720q = QStringLiteral("b7720q");
inline const QString Set4tm = QStringLiteral("set4tm");
inline const QString Sensor = QStringLiteral("sensor");
inline const QString Controller = QStringLiteral("controller");           // taller than wide
inline const QString ControllerPhoto = QStringLiteral("controller-photo"); // 332 x 426
inline const QString Converter = QStringLiteral("converter");             // 45 x 73
inline const QString Schemes = QStringLiteral("schemes");                 // wiring-diagram button
inline const QString Survey = QStringLiteral("survey");                   // bus survey button
inline const QString Application = QStringLiteral("orvek-configurator");
} // namespace Pictures

// Whether a picture of that name is compiled in.
bool hasPicture(const QString &name);

// The picture scaled to fit inside `box`, proportions kept (so the result may be
// narrower or lower than `box`), transparent background, drawn for the screen's
// pixel ratio. A null pixmap for an unknown name or an empty box.
QPixmap devicePicture(const QString &name, QSize box);

// The picture at its natural size, e.g. 45 x 73 for the converter.
QSize pictureSize(const QString &name);

// An icon of the picture, sharp at the usual button and window-icon sizes; Qt
// derives the greyed look of a disabled button from it. Null for an unknown name.
QIcon pictureIcon(const QString &name);

QIcon applicationIcon();

// The icon of the main window's wiring-diagram button.
QIcon wiringIcon();
