#include "devices/zdltprotocol.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

namespace zdlt {

void frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadInputRegisters(address, FirstRegister, RegisterCount);
}

Reading decodeReading(const std::uint8_t *rx, int count, int kiloVolts)
{
    // Each phase voltage is the first register of a pair; the frequency is register 13.
    const double k = voltageFactor(kiloVolts);
    Reading r;
    r.ua = answer::word16(rx, count, 3) * k;
    r.ub = answer::word16(rx, count, 7) * k;
    r.uc = answer::word16(rx, count, 11) * k;
    r.frequency = answer::word16(rx, count, 29) * 0.1;
    return r;
}

Readings readings(const Reading &r)
{
    const QString volts = QStringLiteral("В");
    return {{QStringLiteral("Ua"), volts, r.ua},
            {QStringLiteral("Ub"), volts, r.ub},
            {QStringLiteral("Uc"), volts, r.uc},
            {QStringLiteral("F"), QStringLiteral("Гц"), r.frequency}};
}

} // namespace zdlt
