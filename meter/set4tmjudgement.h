#pragma once

#include "meter/set4tmprotocol.h"

#include <QString>

#include <cstdint>

class RequestLayer;

// What a configuration exchange with the meter came to and what the window shows
// for it. The window shows `message` in a box of kind `box` (nothing for None)
// and, when `closesWindow` is set, closes once the running action has ended.
namespace set4tm {

enum class Outcome {
    Accepted, // the request's own acceptance rule holds
    NoAnswer, // 3 bytes or fewer
    CrcError,
    Refused, // a status or an answer the request does not accept
    PortClosed, // nothing was sent
};

enum class BoxKind { None, Information, Warning, Error };

struct Judgement
{
    Outcome outcome = Outcome::NoAnswer;
    int status = -1; // byte 1 of a Refused answer; -1 otherwise
    BoxKind box = BoxKind::None;
    QString message; // with "\r" (and "\r\n") where the box breaks the line
    bool closesWindow = false;

    bool accepted() const { return outcome == Outcome::Accepted; }
};

// Judges the bytes received for `request` after the wait: no answer, CRC, the
// request's own acceptance rule, then its status handling. An accepted write
// carries the information box the window shows for its success.
Judgement judgeExchange(const Request &request, const std::uint8_t *rx, int count);
Judgement judgeExchange(const Request &request, const RequestLayer &frames);

// The port was closed when a request had to go out: error box, the window closes.
Judgement portClosed();

// "Недопустимая команда или параметр!\r\nКод ошибки: " + the status as two upper-case hex digits.
QString errorCodeMessage(std::uint8_t status);

} // namespace set4tm
