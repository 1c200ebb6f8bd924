// The "RustDesk (tarn)" button: RustDesk set up to use the supporter's own
// rendezvous and relay server.
#pragma once

#include "launch/LaunchSteps.h"

namespace tarn {

// Stops RustDesk, writes a RustDesk2.toml that names the own server, fetches
// the program when it is missing and, unless that download failed, starts it
// and raises the reminder. A failed download ends the launch quietly; a file
// that cannot be written or a program that cannot be started is reported and
// ends the launch.
void LaunchRustDeskOwnServer(LaunchContext& context);

}  // namespace tarn
