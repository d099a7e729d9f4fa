#pragma once

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// What the fuzz targets share: a CRC computed bit by bit, independent of the
// table form under test, and a check that turns a broken promise into a crash
// that libFuzzer reports together with the input that caused it.
namespace fuzz {

// The textbook CRC-16/MODBUS value (low byte first on the wire).
inline std::uint16_t referenceCrc(const std::uint8_t *data, std::size_t count)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// True when the last two of `count` bytes are the CRC of the bytes before them.
inline bool crcIntact(const std::uint8_t *data, std::size_t count)
{
    if (count < 2)
        return false;
    const std::uint16_t crc = referenceCrc(data, count - 2);
    return data[count - 2] == (crc & 0xFFu) && data[count - 1] == (crc >> 8);
}

// The bytes with their CRC appended, as a device would send them.
inline std::vector<std::uint8_t> framed(const std::uint8_t *data, std::size_t count)
{
    std::vector<std::uint8_t> frame(data, data + count);
    const std::uint16_t crc = referenceCrc(data, count);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFFu));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// Reads a fuzz input front to back; past its end every value is 0 and every run of bytes empty.
class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    // Big-endian, as the bytes are written in a seed.
    std::int32_t int32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        std::int32_t s;
        std::memcpy(&s, &v, sizeof s);
        return s;
    }
    std::vector<std::uint8_t> bytes(std::size_t count)
    {
        const std::size_t n = std::min(count, m_size - std::min(m_at, m_size));
        std::vector<std::uint8_t> out(m_data + m_at, m_data + m_at + n);
        m_at += n;
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

[[noreturn]] inline void brokenPromise(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "broken promise: %s (%s:%d)\n", what, file, line);
    std::abort();
}

// Some of the code under test posts events (a deleteLater) or reads the locale:
// one application object for the whole run, as the program has.
inline void startQt()
{
    static int argc = 1;
    static char name[] = "orvek-fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    Q_UNUSED(app);
}

} // namespace fuzz

// Every target but the settings file's starts the same way.
#define FUZZ_STARTS_QT extern "C" int LLVMFuzzerInitialize(int *, char ***) { return ::fuzz::startQt(), 0; }

#define FUZZ_CHECK(condition) ((condition) ? void(0) : ::fuzz::brokenPromise(#condition, __FILE__, __LINE__))
