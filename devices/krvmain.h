#pragma once

#include "devices/devicewindow.h"

#include <array>

class TVrBlinkLed;

// The KRV-A relay protection unit window.
class TFKRV : public TDeviceWindow
{
    Q_OBJECT
public:
    TFKRV(DeviceHost &host, QWidget *parent);
    ~TFKRV() override;

    static DeviceProfile makeProfile();

protected:
    void fillIdentification(const std::uint8_t *rx, int rxCount) override;
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    void decodeMonitoring(const std::uint8_t *rx, int rxCount) override;
    void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress) override;
    void frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud) override;

private:
    void buildMonitoringTab();

    std::array<QLabel *, 8> m_currents{};
    std::array<TVrBlinkLed *, 16> m_leds{}; // by status bit; bits 6..12 have none
};

extern TFKRV *FKRV;
