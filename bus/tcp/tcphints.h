#pragma once

#include <QString>

class EVaCommError;

// In Russian, why a connection to a network port failed and what to check, naming
// host:port; `code` is the one TcpLink reported (see bus/tcp/tcplink.h). For a
// malformed address it is the address's own error text.
QString tcpFailureReason(const QString &address, int code);

// The error box text for a network port that could not be opened: the component's
// own text on the first line, then tcpFailureReason. Errors other than a failed
// open keep their text alone. For a port whose device isNetworkAddress().
QString tcpOpenFailureMessage(const EVaCommError &error);
