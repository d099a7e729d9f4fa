#pragma once

#include "devices/devicewindow.h"

class TRxSpinEdit;

// The ZDLT-1 relay protection unit window: phase voltages scaled by the voltage
// class, and the frequency. No identification, no address or baud change.
class TFZDLT : public TDeviceWindowOf<TFZDLT>
{
    Q_OBJECT
public:
    TFZDLT(DeviceHost &host, QWidget *parent);
    ~TFZDLT() override;

    static DeviceProfile makeProfile();

    // Volts per register unit: 99 for the 10 kV class, 59 for 6 kV.
    static int voltageFactor(int kiloVolts) { return kiloVolts == 10 ? 99 : 59; }

protected:
    void frameTestRequest(RequestLayer &frames, std::uint8_t address) override;
    void decodeMonitoring(const std::uint8_t *rx, int rxCount) override;
    QStringList configurationLines() const override;

private:
    TRxSpinEdit *RxSpinEditkV;
    QLabel *m_ua, *m_ub, *m_uc, *m_f;
};

extern TFZDLT *FZDLT;
