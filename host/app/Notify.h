// Notification dispatch of the application model: host modules announce events here,
// and every handler registered for the selector is called in registration order.
#pragma once

#include "AcroViewHFT.h"

namespace vexa::host::app {

void broadcast(const AVNotificationData& data);

}  // namespace vexa::host::app
