// Program files checked before they start (by pin or publisher), and the
// private copy a checked program starts from.
//
// The work folder c:\temp is writable by every user of the machine. A handle
// held on the file there keeps the file itself from changing, but not the
// folders on its path: a junction put in their place between the check and
// the start would have the system start another program, and a DLL beside
// the file would be loaded into it. So a checked program never starts from
// there: its checked bytes, read through the handle they were checked
// through, are copied into a folder of the user's own that only the user,
// SYSTEM and Administrators can write, checked again there, and started from
// that copy while every folder on its way and the copy itself are held.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/Handle.h"
#include "platform/Platform.h"
#include "platform/win32/Waiter.h"

namespace tarn {

// Opens the program file at path for reading, sharing it with readers only,
// so that until the handle is closed nobody can change, replace or delete
// it. Throws StartError naming path with the system's reason.
FileHandle OpenProgramFile(const std::string& path);

// Throws StartError naming path unless the file open at file, read from its
// start, passes check: kPinMismatchReason for other content or a file that
// cannot be read through the handle, kNotGenuineReason for a file its
// publisher did not sign. name is the file's own path, for the system's
// signature check. Nothing is checked for an empty check. With a waiter,
// the publisher check, which builds chains and may fetch revocation lists,
// runs on a worker while the caller waits through it, so that a window
// keeps answering; without one it runs on the caller's thread.
void CheckHeldProgram(HANDLE file, const std::string& path, const std::wstring& name, const ProgramCheck& check,
                      Waiter* waiter = nullptr);

// OpenProgramFile and CheckHeldProgram: the file at path, checked and held.
FileHandle HoldProgramFile(const std::string& path, const ProgramCheck& check, Waiter* waiter = nullptr);

// Creates the process of a checked program's copy: application is the
// copy's full path, folder the folder it lies in and runs in. Called while
// the copy and its folders are held; throws StartError when it cannot.
using CopyStarter = std::function<KernelHandle(const std::wstring& application, const std::wstring& folder)>;

// The start of a program file that must pass check. source is the file at
// path, open for reading (OpenProgramFile). Checks it, copies its bytes,
// read through source from its start, into
// <the user's local application data>\tarn-kit\clients\<name>\<its file name>,
// checks the copy again through a handle of its own, and hands the copy to
// start while that handle, source and every folder from the user's profile
// down to the copy are held. Every folder on that way must be a plain
// folder, not a link or junction; tarn-kit's own folders and the copy are
// made so that only the user, SYSTEM and Administrators can write them.
// When an earlier copy cannot be replaced (it still runs), a numbered
// sibling folder (<name>-2, ...) takes the copy. Answers what start
// answered. Throws StartError naming path: the check's reasons, or
// kPrivateCopyReason with the cause when the copy cannot be made.
KernelHandle StartCheckedCopy(HANDLE source, const std::string& path, const ProgramCheck& check,
                              const CopyStarter& start, Waiter* waiter = nullptr);

}  // namespace tarn
