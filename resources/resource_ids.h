// Resource ids that the code and the resource script share.
#pragma once

// The application icon. It has the lowest id of the icon groups because
// Explorer shows the first group as the program's icon; the main window
// loads it for its class icon.
#define IDI_APP 1
