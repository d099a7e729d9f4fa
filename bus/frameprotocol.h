#pragma once

// Which language the frames on the bus speak. Modbus and the meter share the CRC
// but not the codes (0x03 and 0x06 mean different things), so whoever sends says
// which it is.
enum class FrameProtocol { Modbus, Set4tm };
