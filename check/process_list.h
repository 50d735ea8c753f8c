// The processes of this machine, as lumarest-check needs them twice: to
// find the controllers of every session, and to find who started the tool
// itself. Read through the seam (os), once per question, and given back at
// once: nothing is held between calls.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct ProcessListed {
  DWORD id = 0;
  DWORD parentId = 0;   // as the system recorded it at the start: that process may have ended since
  std::wstring image;   // the image's file name (no folder), as the snapshot gives it
};

// Every process the system lists (CreateToolhelp32Snapshot); nullopt when
// the list cannot be taken. Raises the controller's out-of-memory exception
// when it cannot be kept, after giving the snapshot back.
std::optional<std::vector<ProcessListed>> ListProcesses();

// What can be asked of one process by its id. Each part is empty when the
// process cannot be opened for it (another user's, from an ordinary
// account) or the question fails.
struct ProcessLook {
  std::optional<std::wstring> path;  // the image's full path (QueryFullProcessImageNameW)
  std::optional<DWORD> session;      // its session (ProcessIdToSessionId)
  std::optional<FILETIME> started;   // its creation time (GetProcessTimes)
};
ProcessLook LookAtProcess(DWORD id);
