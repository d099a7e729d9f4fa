#pragma once

#include "bus/frameprotocol.h"

#include <QByteArray>
#include <QString>

// What a frame on the bus means, in the words of the user interface: the Modbus
// function with its register or coil range and the values, an exception code in
// words, the meter's request by its name and its status codes. One decoder for
// the configurator's bus monitor and the simulator's log, so both say the same.
namespace monitor {

using Protocol = FrameProtocol;

struct Meaning
{
    QString text;
    // The device said no: a Modbus exception, a meter status that is not the
    // success of its request, or a meter read answered with anything but its data.
    bool refused = false;
};

// The meaning of a frame body (address first, no CRC). For an answer,
// `requestBody` is the body of the request it answers, or empty when unknown:
// with it, a register read answer names its registers and a meter answer is
// judged against its request.
Meaning requestMeaning(Protocol protocol, const QByteArray &body);
Meaning answerMeaning(Protocol protocol, const QByteArray &body, const QByteArray &requestBody = {});

// The same for frames as they went on the wire, CRC included: a frame shorter
// than 4 bytes or with a wrong CRC is said to be so, and not decoded further.
Meaning frameMeaning(Protocol protocol, const QByteArray &frame, bool isAnswer, const QByteArray &requestFrame = {});

// The texts for damaged frames.
QString shortFrameText(int bytes); // "слишком короткий кадр (2 байт)"
QString crcErrorText();            // "ошибка CRC"

// True when the frame ends in the CRC of the bytes before it (at least 3 bytes).
bool crcIntact(const QByteArray &frame);

} // namespace monitor
