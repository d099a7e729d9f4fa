#include "meter/setmain.h"

#include "bus/requestlayer.h"
#include "charts/profilechart.h"
#include "meter/set4tmanswers.h"
#include "meter/set4tmvalues.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <array>

// The meter window's test: the open channel and the pointer read at the start,
// the poll cycle, the monitoring values and the power profile rows.

set4tm::Scaling TFSET4TM::scaling() const
{
    return m_scaling;
}

std::uint8_t TFSET4TM::testAddress() const
{
    // The start has made sure that the address was read from the meter.
    return static_cast<std::uint8_t>(m_address.value_or(0));
}

bool TFSET4TM::beforeTestStart()
{
    if (m_actionRunning)
        return false;
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address)
        return false;
    std::optional<set4tm::Judgement> opened;
    {
        // The rest of the start runs whatever the answer; a close it asks for comes at the end.
        ActionScope scope(*this, ActionScope::Closing::Deferred);
        opened = openChannel(*address);
    }
    // A closed port is the end of the window, said in its box: the start has nothing to run on.
    if (opened && opened->outcome == set4tm::Outcome::PortClosed) {
        close();
        return false;
    }
    return !isClosing();
}

bool TFSET4TM::beforeTicks()
{
    m_pollStep = set4tm::FirstPollStep;
    m_readRecord = false;
    m_profile.start();
    {
        ActionScope scope(*this);
        readInitialPointer(testAddress());
    }
    if (isClosing())
        return false;
    BitBtnStop->setFocus(); // held during the read, it lost the focus the start gave it
    return true;
}

void TFSET4TM::readInitialPointer(std::uint8_t address)
{
    // Judged like the pointer step of the cycle, never shown in a box, and counted
    // as a request sent: an accepted answer that no request stood for would hide a
    // lost request of the test in the summary.
    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    set4tm::readProfilePointer(address).frameInto(frames);
    ++counters().sent;
    // A loss during the wait ends the start, which says it; the request counts as unanswered.
    if (!exchange(TimerSetting->interval()))
        return;
    if (set4tm::acceptsPollAnswer(set4tm::PointerPollStep, frames)) {
        ++counters().accepted;
        m_profile.takeInitialPointer(frames.RxFrame, frames.RxCount);
    } else {
        ++counters().errors;
        appendJournal(JournalHexLine(QStringLiteral("->"), frames.TxFrame, frames.TxCount));
        appendJournal(JournalHexLine(QStringLiteral("<-"), frames.RxFrame, frames.RxCount));
    }
    frames.ResetRx();
    frames.ResetTx();
}

void TFSET4TM::frameRequest(RequestLayer &frames, std::uint8_t address)
{
    set4tm::pollRequest(m_pollStep, address, m_profile).frameInto(frames);
}

bool TFSET4TM::accepts(const RequestLayer &frames) const
{
    return set4tm::acceptsPollAnswer(m_pollStep, frames);
}

void TFSET4TM::decode(const RequestLayer &frames)
{
    switch (set4tm::pollReading(m_pollStep)) {
    case set4tm::PollReading::PreviousDayEnergy: publishEnergy(frames, true); break;
    case set4tm::PollReading::EnergySinceReset: publishEnergy(frames, false); break;
    case set4tm::PollReading::Auxiliary: publishAuxiliary(frames); break;
    case set4tm::PollReading::ProfilePointer: checkProfilePointer(frames); break;
    case set4tm::PollReading::ProfileRecord: addProfileRow(frames); break;
    }
}

void TFSET4TM::judged(bool accepted)
{
    m_pollStep = set4tm::nextPollStep(m_pollStep, accepted && m_readRecord);
    m_readRecord = false;
}

void TFSET4TM::publishEnergy(const RequestLayer &frames, bool previousDay)
{
    const auto values = set4tm::energyValues(set4tm::decodeEnergy(frames.RxFrame, frames.RxCount), scaling());
    // A ratio that was not read gives no values: the fields keep what they show.
    if (values)
        readings().publish(set4tm::energyReadings(*values, previousDay));
}

void TFSET4TM::publishAuxiliary(const RequestLayer &frames)
{
    const set4tm::AuxSelector selector = set4tm::pollSelector(m_pollStep);
    const set4tm::AuxReading reading = set4tm::decodeAuxiliary(selector, frames.RxFrame, frames.RxCount);
    const std::optional<double> value = set4tm::auxiliaryValue(selector, reading, scaling());
    if (!value)
        return;
    const set4tm::Quantity q = set4tm::auxiliaryQuantity(selector);
    readings().publish({{q.name, q.unit, *value}});
}

void TFSET4TM::checkProfilePointer(const RequestLayer &frames)
{
    const set4tm::ProfileFollower::Check check = m_profile.checkPointer(frames.RxFrame, frames.RxCount, scaling());
    for (const QString &line : check.journal)
        appendJournal(line);
    m_readRecord = check.readRecord;
}

void TFSET4TM::addProfileRow(const RequestLayer &frames)
{
    const set4tm::ProfileRow record = m_profile.takeRecord(frames.RxFrame, frames.RxCount, scaling());
    const QStringList cells = record.cells();
    // The record fills the empty last row, and a new empty one follows it.
    const int row = StringGrid1->rowCount() - 1;
    for (int column = 0; column < cells.size() && column < StringGrid1->columnCount(); ++column) {
        auto *cell = new QTableWidgetItem(cells.at(column));
        if (column >= 2)
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        StringGrid1->setItem(row, column, cell);
    }
    StringGrid1->insertRow(row + 1);
    // A bar group per row; values that could not be scaled leave it empty, as the row's cells.
    const std::array<double, 4> values = record.values.value_or(std::array<double, 4>{});
    ProfileChart->addRecord(record.stamp, values[0], values[1], values[2], values[3]);
}

QStringList TFSET4TM::configurationLines() const
{
    // The slices caption holds a line break: its entry takes two journal lines.
    QStringList lines{LabelAddr->text() + StaticTextAddr->text(), LabelBaud->text() + StaticTextBaud->text()};
    QStringList trend = LabelTrend->text().split(QLatin1Char('\n'));
    trend.last() += StaticTextTrend->text();
    lines << trend << LabelPower->text() + StaticTextPower->text();
    return lines;
}

void TFSET4TM::setTestControlsEnabled(bool enabled)
{
    // After a test the address, baud rate and ratio stay locked until the window is opened again.
    for (QPushButton *b : {BitBtnAddr, BitBtnRate, BitBtnKu, BitBtnKi})
        if (!enabled)
            b->setEnabled(false);
    for (QPushButton *b : {BitBtnTrend, BitBtnPower, BitBtnClean, BitBtnClock})
        b->setEnabled(enabled);
}

void TFSET4TM::tabShown(int index)
{
    switch (index) {
    case 1: TabSheet2Show(); break;
    case 2: TabSheet3Show(); break;
    default: TabSheet1Show(); break;
    }
}

void TFSET4TM::TabSheet3Show()
{
    counters().monitoring = false;
}
