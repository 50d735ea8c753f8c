// lumarest-check: a read-only diagnostic that explains, condition by
// condition, what the controller would do on this machine.
//   lumarest-check [--json] [--lang en|zh-TW] [--help]
// Exit code 0 when the machine qualifies, 1 when a condition fails, 2 on a
// usage error or when memory runs out.
#include <windows.h>

#include <string>
#include <vector>

#include "check/check_tool.h"
#include "check/console_output.h"
#include "platform/os_calls.h"

int wmain(int argc, wchar_t** argv) {
  // Like the controller: nothing is ever loaded from the program's folder.
  os.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  ConsoleOutput out;
  return RunCheckTool(arguments, GetUserDefaultUILanguage(), out);
}
