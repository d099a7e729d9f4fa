#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class RequestLayer;

// Which device window a search opens. The values are not the button tags: the
// KRV-A button can lead to the ZDLT-1 window and the sensor button to the controller's.
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

// One device button of the main window and what its search does: the probe
// framed for an address, and the acceptance test of an answer of at least 4
// bytes whose CRC is correct (the window to open, or None when it does not fit).
// Only the first registers and the length count; address and function are not checked.
struct DeviceKind
{
    int tag;
    const char *buttonName; // design name of the button, "BitBtnKRV"
    const char *caption;    // UTF-8
    const char *hint;       // UTF-8
    const char *picture;    // name of the button's picture (resources/images/<name>.svg)
    DeviceWindowKind window; // the window of the kind itself (the search may open another)
    void (*frameProbe)(RequestLayer &frames, std::uint8_t address);
    DeviceWindowKind (*accept)(const std::uint8_t *rx, int count);
};

// The seven kinds in tag order.
const std::vector<DeviceKind> &DeviceKinds();
// nullptr for a tag without a button.
const DeviceKind *FindDeviceKind(int tag);

// The probe of a tag for `address` (the meter's channel test always goes to 0);
// an unknown tag leaves an empty transmit buffer.
void FrameProbe(RequestLayer &frames, int tag, std::uint8_t address);
DeviceWindowKind AcceptedWindow(int tag, const std::uint8_t *rx, int rxCount);

// The caption of a device window kind ("Блок релейной защиты KRV-A"...).
QString DeviceWindowTitle(DeviceWindowKind kind);
