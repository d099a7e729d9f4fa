#pragma once

#include "bus/frameprotocol.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <vector>

class RequestLayer;

// The kinds of device the program serves. A kind is also its window: the search
// opens the window of the kind that answered, which the KRV-A button's search may
// find to be a ZDLT-1 and the sensor button's a controller.
enum class DeviceWindowKind { None, KRV, ZDLT, M7051, SET4TM, MLX, C3940F, B7720Q };

// Device button tags of the main window.
enum DeviceTag {
    TagKRV = 1,
    TagZDLT = 2,
    TagM7051 = 3,
    TagSET4TM = 4,
    TagSensor = 5,
    TagController = 6,
    TagB7720Q = 7,
};

// What a window shows of a device from the answer to its probe, as caption and
// text pairs in the window's order ("Код: ", "12"); empty when it shows nothing
// from it.
using Identification = QList<QPair<QString, QString>>;

// Everything the program knows of one kind of device outside its window: how it
// is presented, how a search finds it and how its frames are read.
struct DeviceKind
{
    int tag;                 // of its button in the main window, 1..7
    DeviceWindowKind window; // the kind itself
    const char *buttonName;  // design name of the button, "BitBtnKRV"
    QString caption;         // of the button
    QString hint;            // of the button
    QString windowCaption;
    QString picture;         // resources/images/<picture>.svg
    FrameProtocol protocol;  // the language of its frames
    // The probe framed for an address. A probe that ignores the address (the
    // meter's channel test goes to 0 and any meter answers it) is one frame for
    // every address, and the device it finds is at 0 as far as the search knows.
    bool probeAddressed;
    void (*frameProbe)(RequestLayer &frames, std::uint8_t address);
    // The kind an answer to the probe shows, given at least 4 bytes and a correct
    // CRC; another kind where the button falls back, None when it does not fit.
    // Only the first registers and the length count, not address and function.
    DeviceWindowKind (*accept)(const std::uint8_t *rx, int count);
    Identification (*identify)(const std::uint8_t *rx, int count);
};

// The seven kinds in tag order.
const std::vector<DeviceKind> &DeviceKinds();
// nullptr for a tag without a button.
const DeviceKind *FindDeviceKind(int tag);
// The row of a kind; nullptr for None.
const DeviceKind *FindDeviceKind(DeviceWindowKind kind);

// The caption of a kind's window; empty for None.
QString WindowCaption(DeviceWindowKind kind);

// The probe of a tag for `address`; an unknown tag leaves an empty transmit buffer.
void FrameProbe(RequestLayer &frames, int tag, std::uint8_t address);
DeviceWindowKind AcceptedWindow(int tag, const std::uint8_t *rx, int rxCount);
