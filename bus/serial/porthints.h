#pragma once

#include <QString>

class EVaCommError;
class SerialSystem;

// The error box text for a port that could not be opened: the component's own text
// on the first line, then, in Russian, what to do about it (which group to join,
// which process holds the port, which devices are present, that the file is no
// serial port). Errors other than a failed open keep their text alone.
QString openFailureMessage(const EVaCommError &error, const SerialSystem &system);
