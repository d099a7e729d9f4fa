#pragma once

#include "devices/devicewindow.h"

// The B-7720Q I/O module window: eight discrete inputs on LEDs.
class TFB7720Q : public TDeviceWindow
{
    Q_OBJECT
public:
    TFB7720Q(DeviceHost &host, QWidget *parent);
    ~TFB7720Q() override;

    static DeviceProfile makeProfile();

protected:
    void fillIdentification(const std::uint8_t *rx, int rxCount) override;
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    Readings decodeReadings(const std::uint8_t *rx, int rxCount) override;
};

extern TFB7720Q *FB7720Q;
