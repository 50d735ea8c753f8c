// StartedByDoubleClick: the console, then the parent, through the seam.
#include "check/double_click.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "check/process_list.h"
#include "check/text_encoding.h"
#include "platform/os_calls.h"

namespace {

bool ConsoleOfItsOwn() {
  // Redirected output is read by a program or a file, never by someone
  // looking at a window.
  DWORD mode = 0;
  if (!os.GetConsoleMode(os.GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return false;
  // A console shared with a shell (cmd, PowerShell) lists the shell too; a
  // console made for this process alone lists only this process.
  DWORD processes[2];
  return os.GetConsoleProcessList(processes, 2) == 1;
}

// Explorer as Windows installs it; the folder is the system's own (not a
// per-user one that Terminal Services may give an older program).
std::optional<std::wstring> ExplorerPath() {
  wchar_t folder[MAX_PATH];
  const UINT length = os.GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  return path + L"explorer.exe";
}

bool ParentIsExplorer() {
  const std::optional<std::vector<ProcessListed>> processes = ListProcesses();
  if (!processes) return false;
  const DWORD self = os.GetCurrentProcessId();
  const ProcessListed* me = nullptr;
  for (const ProcessListed& p : *processes)
    if (p.id == self) me = &p;
  if (me == nullptr) return false;
  const DWORD parentId = me->parentId;
  bool parentListed = false;
  for (const ProcessListed& p : *processes) parentListed = parentListed || (p.id == parentId && p.id != self);
  if (!parentListed) return false;  // ended: whoever started us is not watching

  const ProcessLook parent = LookAtProcess(parentId);
  const ProcessLook mine = LookAtProcess(self);
  // Ids are reused: a process holding the parent's id that started after
  // this one is another process.
  if (!parent.started || !mine.started || CompareFileTime(&*parent.started, &*mine.started) > 0) return false;
  const std::optional<std::wstring> explorer = ExplorerPath();
  return parent.path && explorer && SameIgnoringAsciiCase(*parent.path, *explorer);
}

}  // namespace

bool StartedByDoubleClick() { return ConsoleOfItsOwn() && ParentIsExplorer(); }
