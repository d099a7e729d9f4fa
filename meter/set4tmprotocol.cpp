#include "meter/set4tmprotocol.h"

#include "bus/requestlayer.h"

#include <QStringEncoder>

#include <initializer_list>

namespace set4tm {

namespace {
Request make(RequestKind kind, std::uint8_t address, std::uint8_t code, std::initializer_list<std::uint8_t> parameters)
{
    Request request;
    request.kind = kind;
    request.body[0] = address;
    request.body[1] = code;
    request.length = 2;
    for (std::uint8_t p : parameters)
        request.body[static_cast<std::size_t>(request.length++)] = p;
    return request;
}

std::uint8_t high(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
} // namespace

bool isKnownCode(std::uint8_t code)
{
    switch (code) {
    case TestChannel: case OpenChannel: case Write: case ReadEnergy: case ReadMemory: case ReadParameter: return true;
    default: return false;
    }
}

int baudRateOfCode(std::uint8_t code)
{
    switch (code) {
    case 0x10: return 9600;
    case 0x16: return 19200;
    default: return 0;
    }
}

Password passwordBytes(const QString &typed)
{
    Password password{};
    // Whole characters, so a character outside the BMP never splits into two bytes.
    const QList<uint> characters = typed.toUcs4();
    for (int i = 0; i < characters.size() && i < static_cast<int>(password.size()); ++i) {
        const char32_t c = characters[i];
        // One encoder a character: its error flag stays set once raised.
        QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
        QByteArray byte;
        if (encoder.isValid()) {
            byte = encoder.encode(QString::fromUcs4(&c, 1));
            if (encoder.hasError())
                byte.clear();
        } else if (c < 0x80) { // ASCII is the same in every 8-bit code page
            byte = QByteArray(1, static_cast<char>(c));
        }
        password[static_cast<std::size_t>(i)] = byte.size() == 1 ? static_cast<std::uint8_t>(byte[0]) : std::uint8_t('?');
    }
    return password;
}

QByteArray clockBlock(const QDateTime &time, Season season)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    const int year = date.year() >= 2000 ? date.year() - 2000 : date.year() - 1900;
    QByteArray block(8, '\0');
    block[0] = static_cast<char>(BinToBcd(clock.second()));
    block[1] = static_cast<char>(BinToBcd(clock.minute()));
    block[2] = static_cast<char>(BinToBcd(clock.hour()));
    block[3] = static_cast<char>(date.dayOfWeek()); // Qt counts Monday = 1 ... Sunday = 7, as the meter does
    block[4] = static_cast<char>(BinToBcd(date.day()));
    block[5] = static_cast<char>(BinToBcd(date.month()));
    block[6] = static_cast<char>(BinToBcd(year));
    block[7] = static_cast<char>(season);
    return block;
}

int strictBcd(std::uint8_t value)
{
    if ((value >> 4) > 9 || (value & 0x0F) > 9)
        return -1;
    return BcdToBin(value);
}

std::optional<ClockSetting> parseClockBlock(const QByteArray &block)
{
    if (block.size() != 8)
        return std::nullopt;
    auto at = [&block](int i) { return static_cast<std::uint8_t>(block.at(i)); };
    const int second = strictBcd(at(0));
    const int minute = strictBcd(at(1));
    const int hour = strictBcd(at(2));
    const int weekDay = at(3);
    const int day = strictBcd(at(4));
    const int month = strictBcd(at(5));
    const int year = strictBcd(at(6));
    const int season = at(7);
    if (second < 0 || second > 59 || minute < 0 || minute > 59 || hour < 0 || hour > 23)
        return std::nullopt;
    if (day < 0 || month < 0 || year < 0 || season > 1)
        return std::nullopt;
    const QDate date(2000 + year, month, day);
    if (!date.isValid() || date.dayOfWeek() != weekDay)
        return std::nullopt;
    return ClockSetting{QDateTime(date, QTime(hour, minute, second), Qt::UTC),
                        season == 1 ? Season::Winter : Season::Summer};
}

void Request::frameInto(RequestLayer &frames) const
{
    frames.SendRaw(body.data(), length);
}

QByteArray Request::bytes() const
{
    return QByteArray(reinterpret_cast<const char *>(body.data()), length);
}

int answerLength(RequestKind kind)
{
    switch (kind) {
    case RequestKind::ReadEnergy: return 19;
    case RequestKind::ReadProfileMemory: return 11;
    case RequestKind::ReadRatios: return 13;
    case RequestKind::ReadProfilePointer: return 10;
    case RequestKind::ReadNetworkAddress:
    case RequestKind::ReadIntegrationTime:
    case RequestKind::ReadModeFlags: return 5;
    case RequestKind::ReadAuxiliary: return 6;
    default: return 4;
    }
}

Request testChannel()
{
    return make(RequestKind::TestChannel, 0, TestChannel, {});
}

Request openChannel(std::uint8_t address, const Password &p)
{
    return make(RequestKind::OpenChannel, address, OpenChannel, {p[0], p[1], p[2], p[3], p[4], p[5]});
}

Request writeIntegrationTime(std::uint8_t address, std::uint8_t minutes)
{
    return make(RequestKind::WriteIntegrationTime, address, Write, {WriteIntegrationTime, minutes});
}

Request writeNetworkAddress(std::uint8_t address, std::uint8_t newAddress)
{
    return make(RequestKind::WriteNetworkAddress, address, Write, {WriteNetworkAddress, newAddress});
}

Request writeBaudRate(std::uint8_t address, int baud)
{
    return make(RequestKind::WriteBaudRate, address, Write, {WriteBaudRate, baudRateCode(baud)});
}

Request writeMode(std::uint8_t address, ModeValue mode)
{
    return make(RequestKind::WriteMode, address, Write, {WriteMode, mode});
}

Request writeVoltageRatio(std::uint8_t address, std::uint16_t ku)
{
    return make(RequestKind::WriteVoltageRatio, address, Write, {WriteVoltageRatio, high(ku), low(ku)});
}

Request writeCurrentRatio(std::uint8_t address, std::uint16_t ki)
{
    return make(RequestKind::WriteCurrentRatio, address, Write, {WriteCurrentRatio, high(ki), low(ki)});
}

Request clearEnergy(std::uint8_t address)
{
    return make(RequestKind::ClearEnergy, address, Write, {ClearEnergy});
}

Request setDateTime(std::uint8_t address, const QDateTime &time, Season season)
{
    Request request = make(RequestKind::SetDateTime, address, Write, {WriteClock});
    for (char b : clockBlock(time, season))
        request.body[static_cast<std::size_t>(request.length++)] = static_cast<std::uint8_t>(b);
    return request;
}

Request readEnergy(std::uint8_t address, EnergyArray array)
{
    return make(RequestKind::ReadEnergy, address, ReadEnergy, {array, 0x00});
}

Request readProfileMemory(std::uint8_t address, std::uint16_t recordPointer)
{
    return make(RequestKind::ReadProfileMemory, address, ReadMemory,
                {ProfileMemory, high(recordPointer), low(recordPointer), ProfileRecordSize});
}

Request readRatios(std::uint8_t address)
{
    return make(RequestKind::ReadRatios, address, ReadParameter, {ReadRatios});
}

Request readProfilePointer(std::uint8_t address)
{
    return make(RequestKind::ReadProfilePointer, address, ReadParameter, {ReadProfilePointer});
}

Request readNetworkAddress(std::uint8_t address)
{
    return make(RequestKind::ReadNetworkAddress, address, ReadParameter, {ReadNetworkAddress});
}

Request readIntegrationTime(std::uint8_t address)
{
    return make(RequestKind::ReadIntegrationTime, address, ReadParameter, {ReadIntegrationTime});
}

Request readModeFlags(std::uint8_t address)
{
    return make(RequestKind::ReadModeFlags, address, ReadParameter, {ReadModeFlags});
}

Request readAuxiliary(std::uint8_t address, AuxSelector selector)
{
    return make(RequestKind::ReadAuxiliary, address, ReadParameter, {ReadAuxiliary, selector});
}

} // namespace set4tm
