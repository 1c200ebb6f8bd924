// A harmless program file for the launch benchmark: it stands where a
// downloaded client would be, so the launch starts something real, and ends
// at once.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
