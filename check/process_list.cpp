// ListProcesses and LookAtProcess: the process snapshot and the questions
// asked of one process, every call through the seam.
#include "check/process_list.h"

#include <new>

#include "platform/hresult_error.h"
#include "platform/os_calls.h"

std::optional<std::vector<ProcessListed>> ListProcesses() {
  HANDLE snapshot = os.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE || snapshot == nullptr) return std::nullopt;
  std::vector<ProcessListed> list;
  bool outOfMemory = false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = os.Process32FirstW(snapshot, &entry); more; more = os.Process32NextW(snapshot, &entry)) {
    // szExeFile is terminated by the system; bounded here all the same.
    std::size_t length = 0;
    while (length < MAX_PATH && entry.szExeFile[length] != 0) ++length;
    try {
      list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, std::wstring(entry.szExeFile, length)});
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
      break;
    }
  }
  // ERROR_NO_MORE_FILES ends every walk; another error ends it early, and
  // the list then holds what was read, which is all there is to go by.
  os.CloseHandle(snapshot);
  if (outOfMemory) RaiseHresult(E_OUTOFMEMORY);
  return list;
}

ProcessLook LookAtProcess(DWORD id) {
  ProcessLook look;
  DWORD session = 0;
  if (os.ProcessIdToSessionId(id, &session)) look.session = session;
  // The least access that answers both questions; it is granted for more
  // processes than any other (not for another user's, to an ordinary
  // account).
  HANDLE process = os.OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  if (process == nullptr) return look;
  wchar_t path[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  const bool named = os.QueryFullProcessImageNameW(process, 0, path, &size) && size < MAX_PATH * 2;
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  const bool timed = os.GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
  os.CloseHandle(process);
  // Made after the handle is given back: the strings may throw.
  if (named) look.path = std::wstring(path, size);
  if (timed) look.started = created;
  return look;
}
