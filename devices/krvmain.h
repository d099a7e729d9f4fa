#pragma once

#include "devices/devicewindow.h"

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
    Readings decodeReadings(const std::uint8_t *rx, int rxCount) override;
    void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress) override;
    void frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud) override;

private:
    void buildMonitoringTab();
};

extern TFKRV *FKRV;
