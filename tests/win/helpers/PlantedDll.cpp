// Planted beside a program under a system DLL's name (wininet.dll,
// bcrypt.dll). When a process loads it, it marks "planted-dll-loaded.txt" in
// its own folder with that process's path, so a test sees that it was loaded
// rather than the system's DLL. It has none of the real DLL's functions: a
// program that imports the real one fails to start beside it.
#include "MarkBeside.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) MarkBeside(self, L"planted-dll-loaded.txt");
    return TRUE;
}
