// The "AnyDesk (GSN)" button: AnyDesk set up to connect through the GSN
// government network's HTTP proxy.
#pragma once

#include "launch/LaunchSteps.h"

namespace tarn {

// Stops AnyDesk, removes both its configuration files, writes a system.conf
// that names the proxy, fetches the program (asking first when it is there
// already), starts it and raises the reminder. Any failing step ends the
// launch with one error message.
void LaunchAnyDeskGsn(LaunchContext& context);

}  // namespace tarn
