#pragma once

#include "devices/devicewindow.h"

// The M-7051D 16-input module window. Address and baud rate are written with the
// module's own function 70; the inputs show on 16 LEDs.
class TFM7051 : public TDeviceWindow
{
    Q_OBJECT
public:
    TFM7051(DeviceHost &host, QWidget *parent);
    ~TFM7051() override;

    static DeviceProfile makeProfile();

protected:
    void fillIdentification(const std::uint8_t *rx, int rxCount) override;
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    Readings decodeReadings(const std::uint8_t *rx, int rxCount) override;
    void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress) override;
    void frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud) override;
};

extern TFM7051 *FM7051;
