#pragma once

#include "bus/requestlayer.h"

#include <QString>

#include <cstdint>

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

// Frames the search probe of a device kind for `address` into the transmit buffer.
// The meter's channel test always goes to address 0.
void FrameProbe(RequestLayer &frames, int tag, std::uint8_t address);

// The acceptance test of a device kind, applied to an answer of at least 4 bytes
// whose CRC is correct: the window to open, or None when the answer does not fit.
// Only the first registers and the length count; address and function are not checked.
DeviceWindowKind AcceptedWindow(int tag, const std::uint8_t *rx, int rxCount);

// The caption of a device window kind ("Блок релейной защиты KRV-A"...).
QString DeviceWindowTitle(DeviceWindowKind kind);
