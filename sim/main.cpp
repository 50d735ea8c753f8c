// lumarest-sim: plays a scenario on the simulated laptop and prints its
// timeline. With no argument it plays the typical day kept beside it.
//   lumarest-sim [--calls] [FILE]
// Exit code 0 when every check held, 1 when one failed, 2 when the scenario
// cannot be read.
#include <windows.h>

#include <iostream>
#include <string>

#include "sim/simulation.h"

int wmain(int argc, wchar_t** argv) {
  bool verbose = false;
  std::wstring path;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--calls") {
      verbose = true;
    } else if (!path.empty() || (arg.size() > 1 && arg[0] == L'-')) {
      std::cout << "usage: lumarest-sim [--calls] [FILE]\n";
      return 2;
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    // The typical day ships in the source tree: found from the tree's top,
    // else where the build saw it.
    path = L"sim\\scenarios\\typical-day.txt";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
      path = std::wstring(LUMAREST_SCENARIO_FOLDER) + L"/typical-day.txt";
  }
  const int result = RunScenarioFile(path, std::cout, verbose);
  std::cout.flush();
  return result;
}
