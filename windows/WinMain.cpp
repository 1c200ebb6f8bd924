// Placeholder entry point until the main window exists.
#include <windows.h>

#include "launch/Deployment.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    (void)tarn::BuiltInDeployment();
    return 0;
}
