#pragma once

#include "monitor/busframe.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace monitor {

// Link statistics per bus address: how many requests went out, how many got an
// answer, how the answers fared, and the response times, so a poll timeout can
// be chosen from facts.
struct AddressStatistics
{
    int address = 0;
    quint64 requests = 0;
    quint64 answers = 0;
    quint64 crcErrors = 0;  // answers with a wrong CRC or shorter than 4 bytes
    quint64 exceptions = 0; // answers that refuse the request
    quint64 lost = 0;       // requests without an answer
    std::optional<qint64> minUs, medianUs, maxUs; // response times; none before the first answer
};

class LinkStatistics
{
public:
    // Response times are kept to 10 µs, so a day of polling takes bounded memory.
    static constexpr qint64 ResolutionUs = 10;

    // Counts a frame: a sent frame is a request to its address, a received frame
    // that answers a request an answer for that request's address.
    void add(const BusFrame &frame);
    // A request to `address` went unanswered.
    void addLost(int address);
    void clear();

    // One row per address seen, in address order.
    std::vector<AddressStatistics> rows() const;

private:
    struct Entry
    {
        AddressStatistics counts;
        std::map<qint64, quint64> times; // response time / ResolutionUs -> how often
        quint64 timeCount = 0;
    };
    Entry &entry(int address);

    std::map<int, Entry> m_entries;
};

} // namespace monitor
