#pragma once

#include "devices/devicewindow.h"
#include "devices/mlxprotocol.h"

class QPushButton;
class TRxSpinEdit;
class TVrDigitGroup;

// The infrared temperature sensor window: surface and air temperatures on
// seven-segment displays, the emissivity coefficient, an address written through
// bus address 0. The sensor always works at 19200 bit/s: no baud rate change.
class TFMLX : public TDeviceWindow
{
    Q_OBJECT
public:
    TFMLX(DeviceHost &host, QWidget *parent);
    ~TFMLX() override;

    static DeviceProfile makeProfile();
    // Hundredths of a coefficient as the sensor's register holds them (0.53 -> 53).
    static int hundredths(double value) { return mlx::hundredths(value); }

    void BitBtnKtClick();

protected:
    void fillIdentification(const std::uint8_t *rx, int rxCount) override;
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    Readings decodeReadings(const std::uint8_t *rx, int rxCount) override;
    void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress) override;
    void setTestControlsEnabled(bool enabled) override;
    void resetIdleLook() override;

private:
    QLabel *StaticTextKt;
    TRxSpinEdit *RxSpinEditKt;
    QPushButton *BitBtnKt;
    TVrDigitGroup *VrDigitGroupT1, *VrDigitGroupT2;
};

extern TFMLX *FMLX;
