#pragma once

#include <cstdint>

class RequestLayer;

// B-7720Q I/O module: eight discrete inputs read with function 2.
namespace b7720q {

// The module does not report its version; this is the one its firmware has.
constexpr const char *FirmwareVersion = "B3.00";

// The search probe and the test request are the same read of inputs 0..7.
void frameTestRequest(RequestLayer &frames, std::uint8_t address);
// Di0..Di7 as bits 0..7, from the data byte of a function-2 answer.
std::uint8_t inputs(const std::uint8_t *rx, int count);

} // namespace b7720q
