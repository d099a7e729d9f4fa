#include "monitor/linkstatistics.h"

namespace monitor {

LinkStatistics::Entry &LinkStatistics::entry(int address)
{
    Entry &e = m_entries[address];
    e.counts.address = address;
    return e;
}

void LinkStatistics::add(const BusFrame &frame)
{
    if (frame.direction == Direction::Sent) {
        if (frame.address() >= 0)
            ++entry(frame.address()).counts.requests;
        return;
    }
    if (frame.answerTo < 0)
        return; // nobody asked for it
    Entry &e = entry(frame.answerTo);
    ++e.counts.answers;
    if (frame.problem == Problem::Crc)
        ++e.counts.crcErrors;
    else if (frame.problem == Problem::Refused)
        ++e.counts.exceptions;
    if (frame.responseUs >= 0) {
        ++e.times[(frame.responseUs + ResolutionUs / 2) / ResolutionUs];
        ++e.timeCount;
    }
}

void LinkStatistics::addLost(int address)
{
    if (address >= 0)
        ++entry(address).counts.lost;
}

void LinkStatistics::clear()
{
    m_entries.clear();
}

std::vector<AddressStatistics> LinkStatistics::rows() const
{
    std::vector<AddressStatistics> rows;
    rows.reserve(m_entries.size());
    for (const auto &[address, e] : m_entries) {
        AddressStatistics row = e.counts;
        if (e.timeCount > 0) {
            row.minUs = e.times.begin()->first * ResolutionUs;
            row.maxUs = e.times.rbegin()->first * ResolutionUs;
            // The middle value, or the mean of the two middle values of an even count.
            const quint64 low = (e.timeCount - 1) / 2, high = e.timeCount / 2;
            std::optional<qint64> lowValue, highValue;
            quint64 seen = 0;
            for (const auto &[key, count] : e.times) {
                seen += count;
                if (!lowValue && seen > low)
                    lowValue = key * ResolutionUs;
                if (seen > high) {
                    highValue = key * ResolutionUs;
                    break;
                }
            }
            row.medianUs = (*lowValue + *highValue) / 2;
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace monitor
