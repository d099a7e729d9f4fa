// What the Modbus devices answer: the search acceptance of every device button,
// the device decoders, and the judgement of a configuration write. The input is
// one received frame; it is judged as it came and once more completed with a
// correct CRC, so the paths behind the CRC check are reached as well.
// Promises: the CRC check agrees with a bitwise CRC; a decision and a decoded
// value depend only on the bytes received, never on what the buffer held
// before; a refusal or a damaged answer is never taken for a written value.
#include "fuzzsupport.h"

#include "bus/crc16.h"
#include "bus/modbusexception.h"
#include "bus/requestlayer.h"
#include "devices/b7720qprotocol.h"
#include "devices/c3940fprotocol.h"
#include "devices/devicecatalogue.h"
#include "devices/krvprotocol.h"
#include "devices/m7051protocol.h"
#include "devices/mlxprotocol.h"
#include "devices/testjournal.h"
#include "devices/zdltprotocol.h"

#include <algorithm>
#include <memory>

namespace {

// Everything decided about one received frame.
struct Verdicts
{
    std::array<DeviceWindowKind, 9> windows{}; // tags 0..8: 1..7 are the buttons
    krv::Identification krvId;
    krv::Reading krvReading;
    zdlt::Reading zdlt6, zdlt10;
    QString m7051Version;
    std::uint16_t m7051Inputs = 0;
    std::uint8_t b7720qInputs = 0;
    double emissivity = 0;
    mlx::Temperatures temperatures;
    std::uint8_t controllerConfig = 0;

    bool operator==(const Verdicts &o) const
    {
        return windows == o.windows && krvId.code == o.krvId.code && krvId.model == o.krvId.model
            && krvId.version == o.krvId.version && krvReading.status == o.krvReading.status
            && krvReading.currents == o.krvReading.currents && same(zdlt6, o.zdlt6) && same(zdlt10, o.zdlt10)
            && m7051Version == o.m7051Version && m7051Inputs == o.m7051Inputs && b7720qInputs == o.b7720qInputs
            && emissivity == o.emissivity && temperatures.surface == o.temperatures.surface
            && temperatures.air == o.temperatures.air && controllerConfig == o.controllerConfig;
    }
    static bool same(const zdlt::Reading &a, const zdlt::Reading &b)
    {
        return a.ua == b.ua && a.ub == b.ub && a.uc == b.uc && a.frequency == b.frequency;
    }
};

Verdicts decide(const std::uint8_t *rx, int count)
{
    Verdicts v;
    for (int tag = 0; tag < int(v.windows.size()); ++tag)
        v.windows[std::size_t(tag)] = AcceptedWindow(tag, rx, count);
    v.krvId = krv::decodeIdentification(rx, count);
    v.krvReading = krv::decodeReading(rx, count);
    v.zdlt6 = zdlt::decodeReading(rx, count, 6);
    v.zdlt10 = zdlt::decodeReading(rx, count, 10);
    v.m7051Version = m7051::versionText(rx, count);
    v.m7051Inputs = m7051::inputs(rx, count);
    v.b7720qInputs = b7720q::inputs(rx, count);
    v.emissivity = mlx::emissivity(rx, count);
    v.temperatures = mlx::decodeTemperatures(rx, count);
    v.controllerConfig = c3940f::configurationOfAnswer(rx, count);
    return v;
}

void checkWindows(const Verdicts &v, int count)
{
    FUZZ_CHECK(v.windows[0] == DeviceWindowKind::None && v.windows[8] == DeviceWindowKind::None);
    // The KRV-A button opens one of the two relay windows, whatever the registers say.
    FUZZ_CHECK(v.windows[TagKRV] == DeviceWindowKind::KRV || v.windows[TagKRV] == DeviceWindowKind::ZDLT);
    FUZZ_CHECK(v.windows[TagZDLT] == DeviceWindowKind::ZDLT);
    FUZZ_CHECK(v.windows[TagM7051] == DeviceWindowKind::M7051);
    FUZZ_CHECK(v.windows[TagSET4TM] == DeviceWindowKind::SET4TM);
    // The discrete-input kinds take only the 6-byte answer; the sensor needs its three registers.
    const DeviceWindowKind sensor = v.windows[TagSensor];
    FUZZ_CHECK(sensor == DeviceWindowKind::None || (sensor == DeviceWindowKind::MLX && count > 7)
               || (sensor == DeviceWindowKind::C3940F && count == 6));
    FUZZ_CHECK(v.windows[TagController] == (count == 6 ? DeviceWindowKind::C3940F : DeviceWindowKind::None));
    FUZZ_CHECK(v.windows[TagB7720Q] == (count == 6 ? DeviceWindowKind::B7720Q : DeviceWindowKind::None));
    FUZZ_CHECK(c3940f::groupIndex(v.controllerConfig) >= c3940f::NoGroup && c3940f::groupIndex(v.controllerConfig) < 6);
}

void checkWriteJudgements(const std::uint8_t *rx, int count, bool intact)
{
    const std::optional<std::uint8_t> exception = ModbusExceptionCode(rx, count);
    FUZZ_CHECK(!exception || (count == 5 && intact && (rx[1] & 0x80) && *exception == rx[2]));

    const WriteAnswer write = JudgeWriteAnswer(rx, count);
    switch (write.kind) {
    case WriteAnswer::NoAnswer: FUZZ_CHECK(count < 4); break;
    case WriteAnswer::CrcError: FUZZ_CHECK(count >= 4 && !intact); break;
    case WriteAnswer::Refused: FUZZ_CHECK(exception && write.exceptionCode == *exception); break;
    case WriteAnswer::Written: FUZZ_CHECK(count >= 4 && intact && !exception); break;
    }
    if (exception)
        FUZZ_CHECK(RefusalMessage(*exception, QStringLiteral("x")).contains(ModbusExceptionText(*exception)));

    const c3940f::WriteResult controller = c3940f::judgeWriteAnswer(rx, count);
    switch (controller.outcome) {
    case c3940f::WriteOutcome::Written: FUZZ_CHECK(count == c3940f::WriteAnswerLength && intact); break;
    case c3940f::WriteOutcome::CrcError: FUZZ_CHECK(count == c3940f::WriteAnswerLength && !intact); break;
    case c3940f::WriteOutcome::Refused: FUZZ_CHECK(exception && controller.exceptionCode == *exception); break;
    case c3940f::WriteOutcome::NoAnswer: FUZZ_CHECK(count != c3940f::WriteAnswerLength && !exception); break;
    }
}

void judge(const std::uint8_t *data, std::size_t size)
{
    // The frame as the request layer holds it, behind what an earlier answer left.
    auto frames = std::make_unique<RequestLayer>();
    std::fill(std::begin(frames->RxFrame), std::end(frames->RxFrame), std::uint8_t(0xA5));
    frames->VaComm1RxBuf(data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
    const int count = frames->RxCount;
    FUZZ_CHECK(count == int(std::min<std::size_t>(size, RequestLayer::Capacity)));
    FUZZ_CHECK(std::equal(data, data + count, frames->RxFrame));

    const bool intact = fuzz::crcIntact(data, std::size_t(count));
    FUZZ_CHECK(frames->CheckResponseCrc() == intact);
    FUZZ_CHECK(FrameCrcIntact(data, count) == intact);

    const Verdicts v = decide(frames->RxFrame, count);
    checkWindows(v, count);
    // The same bytes in a clean buffer decide the same.
    std::vector<std::uint8_t> clean(RequestLayer::Capacity, 0);
    std::copy(data, data + count, clean.begin());
    FUZZ_CHECK(decide(clean.data(), count) == v);

    checkWriteJudgements(frames->RxFrame, count, intact);

    // A journal line stays readable however long the frame.
    const QString line = JournalHexLine(QStringLiteral("<-"), frames->RxFrame, count);
    FUZZ_CHECK(line.size() <= 2 + 2 * JournalHexBytes + 40);
}

} // namespace

FUZZ_STARTS_QT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    judge(data, size);
    const std::vector<std::uint8_t> frame = fuzz::framed(data, size);
    judge(frame.data(), frame.size());
    return 0;
}
