// What the SET-4TM meter answers: the judgement of every request, the answer
// decoders and the physical values, and the test's poll cycle with the power
// profile follower, from any step and with any scaling the window's fields can
// give. Input: a 19-byte set-up (address, first step, Ku, Ki, T, variant, which
// of the three fields hold a number), then answers, each a header byte (bits
// 0-5 its length, bit 6: append a correct CRC) and its bytes.
// Promises: a configuration exchange is accepted only with an intact frame and
// never a write without its status answer; decoders depend only on the bytes
// received; values are finite; the cycle stays within its 14 steps; the
// follower reads a record only at a pointer it has, and moves on after it.
#include "fuzzsupport.h"

#include "bus/requestlayer.h"
#include "meter/set4tmanswers.h"
#include "meter/set4tmjudgement.h"
#include "meter/set4tmpoll.h"
#include "meter/set4tmprotocol.h"
#include "meter/set4tmvalues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

using namespace set4tm;

namespace {

std::vector<Request> everyRequest(std::uint8_t a)
{
    const QDateTime clock(QDate(2026, 12, 8), QTime(14, 45, 30), Qt::UTC);
    return {testChannel(), openChannel(a, passwordBytes(QStringLiteral("777777"))), writeIntegrationTime(a, 30),
            writeNetworkAddress(a, 5), writeBaudRate(a, 9600), writeMode(a, ForbidAutoClose),
            writeMode(a, AllowIncompleteSlices), writeVoltageRatio(a, 100), writeCurrentRatio(a, 20), clearEnergy(a),
            setDateTime(a, clock, Season::Winter), readEnergy(a, SinceReset), readEnergy(a, PreviousDay),
            readProfileMemory(a, 0x1234), readRatios(a), readProfilePointer(a), readNetworkAddress(a),
            readIntegrationTime(a), readModeFlags(a), readAuxiliary(a, ActivePower), readAuxiliary(a, ReactivePower)};
}

bool isRead(RequestKind kind)
{
    switch (kind) {
    case RequestKind::ReadEnergy: case RequestKind::ReadProfileMemory: case RequestKind::ReadRatios:
    case RequestKind::ReadProfilePointer: case RequestKind::ReadNetworkAddress: case RequestKind::ReadIntegrationTime:
    case RequestKind::ReadModeFlags: case RequestKind::ReadAuxiliary: case RequestKind::TestChannel:
        return true;
    default:
        return false;
    }
}

void checkJudgements(const std::uint8_t *rx, int count, const std::vector<Request> &requests)
{
    const bool intact = fuzz::crcIntact(rx, std::size_t(std::max(count, 0)));
    for (const Request &request : requests) {
        const Judgement j = judgeExchange(request, rx, count);
        switch (j.outcome) {
        case Outcome::NoAnswer: FUZZ_CHECK(count <= 3 && j.box == BoxKind::Error); break;
        case Outcome::CrcError: FUZZ_CHECK(count > 3 && !intact && j.box == BoxKind::Warning); break;
        case Outcome::Accepted:
            FUZZ_CHECK(count > 3 && intact);
            // A write counts as done only by its 4-byte status answer.
            FUZZ_CHECK(isRead(request.kind) || count == 4);
            if (isRead(request.kind) && request.kind != RequestKind::TestChannel)
                FUZZ_CHECK(count >= answerLength(request.kind));
            break;
        case Outcome::Refused:
            FUZZ_CHECK(count > 3 && intact && j.status == rx[1] && j.box != BoxKind::None && !j.message.isEmpty());
            break;
        case Outcome::PortClosed: FUZZ_CHECK(!"a received frame judged as a closed port"); break;
        }
        FUZZ_CHECK(j.status == -1 || j.outcome == Outcome::Refused);
    }
}

struct Decoded
{
    int parameter = 0;
    Ratios ratios;
    bool slices = false;
    EnergyCounts energy{};
    std::array<AuxReading, 10> aux{};
    ProfilePointer pointer;
    ProfileRecord record{};

    bool operator==(const Decoded &o) const
    {
        bool auxSame = true;
        for (std::size_t i = 0; i < aux.size(); ++i)
            auxSame = auxSame && aux[i].magnitude == o.aux[i].magnitude && aux[i].negative == o.aux[i].negative;
        return parameter == o.parameter && ratios.ku == o.ratios.ku && ratios.ki == o.ratios.ki && slices == o.slices
            && energy == o.energy && auxSame && pointer.stamp == o.pointer.stamp && pointer.pointer == o.pointer.pointer
            && record == o.record;
    }
};

constexpr AuxSelector Selectors[] = {VoltageA, VoltageB, VoltageC, CurrentA, CurrentB, CurrentC,
                                     Frequency, PowerFactor, ActivePower, ReactivePower};

Decoded decode(const std::uint8_t *rx, int count)
{
    Decoded d;
    d.parameter = decodeParameter(rx, count);
    d.ratios = decodeRatios(rx, count);
    d.slices = decodeIncompleteSlicesAllowed(rx, count);
    d.energy = decodeEnergy(rx, count);
    for (std::size_t i = 0; i < std::size(Selectors); ++i)
        d.aux[i] = decodeAuxiliary(Selectors[i], rx, count);
    d.pointer = decodeProfilePointer(rx, count);
    d.record = decodeProfileRecord(rx, count);
    return d;
}

void checkValues(const Decoded &d, const Scaling &scaling)
{
    FUZZ_CHECK(d.parameter >= 0 && d.parameter <= 255);
    // A stamp is a real date and time of the 2000s on a whole minute, or none.
    FUZZ_CHECK(!d.pointer.stamp.isValid()
               || (d.pointer.stamp.date().year() >= 2000 && d.pointer.stamp.time().second() == 0));
    const bool complete = scaling.ku && scaling.ki && scaling.variant;
    const auto energy = energyValues(d.energy, scaling);
    FUZZ_CHECK(bool(energy) == complete);
    if (energy)
        for (double v : *energy)
            FUZZ_CHECK(std::isfinite(v));
    for (std::size_t i = 0; i < std::size(Selectors); ++i) {
        FUZZ_CHECK(d.aux[i].magnitude <= 0x3FFFFFu);
        if (Selectors[i] != ActivePower && Selectors[i] != ReactivePower)
            FUZZ_CHECK(!d.aux[i].negative);
        const auto value = auxiliaryValue(Selectors[i], d.aux[i], scaling);
        FUZZ_CHECK(!value || std::isfinite(*value));
    }
    const auto profile = profileValues(d.record, scaling);
    FUZZ_CHECK(bool(profile) == (complete && scaling.minutes && *scaling.minutes > 0));
    if (profile)
        for (double v : *profile)
            FUZZ_CHECK(std::isfinite(v));
}

// One poll answer on its way through the test: judged for the step, decoded
// when accepted, and the cycle moved on.
int pollStep(int step, RequestLayer &frames, ProfileFollower &follower, const Scaling &scaling, std::uint8_t address)
{
    const Request request = pollRequest(step, address, follower);
    FUZZ_CHECK(request.length >= 3 && request.length <= Request::MaxBody);
    if (pollReading(step) == PollReading::ProfileRecord)
        FUZZ_CHECK(request.at(3) == (follower.lastPointer() >> 8) && request.at(4) == (follower.lastPointer() & 0xFF));
    request.frameInto(frames);
    FUZZ_CHECK(frames.TxCount == request.length + 2 && fuzz::crcIntact(frames.TxFrame, std::size_t(frames.TxCount)));

    const bool accepted = acceptsPollAnswer(step, frames);
    FUZZ_CHECK(!accepted || (frames.RxCount == pollAnswerLength(step) && frames.CheckResponseCrc()));
    bool readRecord = false;
    if (accepted) {
        const std::uint8_t *rx = frames.RxFrame;
        const int n = frames.RxCount;
        switch (pollReading(step)) {
        case PollReading::ProfilePointer: {
            const std::uint16_t last = follower.lastPointer();
            const ProfileFollower::Check check = follower.checkPointer(rx, n, scaling);
            readRecord = check.readRecord;
            FUZZ_CHECK(check.journal.isEmpty() || check.journal.size() == 6);
            FUZZ_CHECK(!readRecord || (check.journal.isEmpty() && last != ProfileFollower::NoPointer));
            if (!check.journal.isEmpty())
                FUZZ_CHECK(follower.lastPointer() == follower.newPointer());
            break;
        }
        case PollReading::ProfileRecord: {
            const ProfileRow row = follower.takeRecord(rx, n, scaling);
            FUZZ_CHECK(row.cells().size() == 6);
            FUZZ_CHECK(follower.lastPointer() == follower.newPointer());
            break;
        }
        case PollReading::Auxiliary: {
            const auto value = auxiliaryValue(pollSelector(step), decodeAuxiliary(pollSelector(step), rx, n), scaling);
            FUZZ_CHECK(!value || std::isfinite(*value));
            break;
        }
        case PollReading::PreviousDayEnergy:
        case PollReading::EnergySinceReset: break;
        }
    }
    const int next = nextPollStep(step, readRecord);
    FUZZ_CHECK(next >= FirstPollStep && next <= RecordPollStep);
    FUZZ_CHECK(next != RecordPollStep || readRecord);
    return next;
}

} // namespace

FUZZ_STARTS_QT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t address = in.byte();
    int step = in.int32();
    Scaling scaling;
    const std::int32_t ku = in.int32(), ki = in.int32(), minutes = in.int32();
    const int variant = static_cast<std::int8_t>(in.byte());
    const std::uint8_t present = in.byte();
    if (present & 1)
        scaling.ku = ku;
    if (present & 2)
        scaling.ki = ki;
    if (present & 4)
        scaling.minutes = minutes;
    scaling.variant = variantOfIndex(variant);

    auto frames = std::make_unique<RequestLayer>();
    ProfileFollower follower;
    follower.start();
    const std::vector<Request> requests = everyRequest(address);
    bool first = true;
    while (!in.empty()) {
        const std::uint8_t header = in.byte();
        std::vector<std::uint8_t> answer = in.bytes(header & 0x3F);
        if (header & 0x40)
            answer = fuzz::framed(answer.data(), answer.size());
        const int count = int(answer.size());

        checkJudgements(answer.data(), count, requests);
        // Stale bytes behind the answer must not show in any decoded value.
        std::fill(std::begin(frames->RxFrame), std::end(frames->RxFrame), std::uint8_t(0x99));
        frames->ResetRx();
        frames->VaComm1RxBuf(answer.data(), count);
        const Decoded d = decode(frames->RxFrame, frames->RxCount);
        FUZZ_CHECK(decode(answer.data(), count) == d);
        checkValues(d, scaling);

        // The pointer read at the start of a test is judged as the pointer step.
        if (first && acceptsPollAnswer(PointerPollStep, *frames))
            follower.takeInitialPointer(frames->RxFrame, frames->RxCount);
        else
            step = pollStep(step, *frames, follower, scaling, address);
        first = false;
    }
    return 0;
}
