#pragma once

#include "sim/device.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace sim {

class Bus;

// One fault setting: drop, corrupt, noise, late, split, busy (probabilities 0..1)
// or latems (milliseconds). False for an unknown key or a bad value.
bool setFaultOption(Faults &faults, const QString &key, const QString &value);

// The line a device is put on: "9600" (any parity), "19200E", "4800o".
struct DeviceLine
{
    int baudRate = 0;
    int parity = -1; // TVaParity; -1: any
};
std::optional<DeviceLine> parseDeviceLine(const QString &text);

// A device from "kind:address[@line][,key=value...]"; the keys are the fault keys
// and the device's own (see the tool's help). nullptr and a message on error.
std::unique_ptr<Device> parseDevice(const QString &definition, QString *error);

// The kind and address of each device of the default bus. Every scan probe of
// the configurator finds its own device when it searches from address 1: a
// device that serves a probe's request is placed above the device that probe
// is meant for.
std::vector<std::pair<QString, std::uint8_t>> defaultBusLayout();

// Config file lines as command-line arguments: "device krv:1,ia=100" becomes
// "--device" "krv:1,ia=100"; "quiet" becomes "--quiet". Blank lines and lines
// starting with # are skipped.
QStringList configArguments(const QString &text);

} // namespace sim
