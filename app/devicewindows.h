#pragma once

#include "devices/devicehost.h"
#include "devices/devicecatalogue.h"

#include <functional>

class QWidget;

// Opens the window of a found device modally and returns when it has closed.
using DeviceWindowOpener = std::function<void(DeviceHost &host, QWidget *owner)>;

// The window of each kind: created with the main window as owner, its global
// pointer (FKRV, FZDLT...) set while it exists, shown modally, destroyed when it
// closes. Empty for a kind whose window this version does not have.
DeviceWindowOpener StandardWindowOpener(DeviceWindowKind kind);
