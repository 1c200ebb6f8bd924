// Planted under a system program's name (cmd.exe, taskkill.exe,
// explorer.exe) where a search for that name would find it first: beside a
// program or in its current folder. When started it marks "planted-ran.txt"
// in its own folder with its own path and ends, so a test sees which planted
// copy ran.
#include "MarkBeside.h"

int wmain() { return MarkBeside(nullptr, L"planted-ran.txt") ? 0 : 3; }
