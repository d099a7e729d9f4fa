#include "sim/meter/set4tm_device.h"

namespace sim {

Set4tmDevice::Set4tmDevice(std::uint8_t address) : Device(address) {}

std::optional<QByteArray> Set4tmDevice::handle(const QByteArray &request, qint64 nowMs)
{
    Q_UNUSED(nowMs);
    // Only the channel test is answered until the full meter lands.
    if (request.size() == 2 && request.at(1) == 0)
        return QByteArray(2, '\0');
    return std::nullopt;
}

} // namespace sim
