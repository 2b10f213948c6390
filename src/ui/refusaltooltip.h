#pragma once
// Why a port's button is greyed, in the window's own language: the tooltip of a disabled option
// button, one sentence or two naming the device and, where known, the process holding it, the
// group that may open it, the break time measured or the system's own message.

#include "port/portrefusal.h"

#include <QString>

namespace tikvor {

QString refusalTooltip(const PortRefusal& refusal);

} // namespace tikvor
