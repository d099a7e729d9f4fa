#pragma once

#include "devices/devicewindow.h"

class TRxSpinEdit;

// The ZDLT-1 relay protection unit window: phase voltages scaled by the voltage
// class, and the frequency. No identification, no address or baud change.
class TFZDLT : public TDeviceWindow
{
    Q_OBJECT
public:
    TFZDLT(DeviceHost &host, QWidget *parent);
    ~TFZDLT() override;

    static DeviceProfile makeProfile();


protected:
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    Readings decodeReadings(const std::uint8_t *rx, int rxCount) override;
    QStringList configurationLines() const override;

private:
    TRxSpinEdit *RxSpinEditkV;
};

extern TFZDLT *FZDLT;
