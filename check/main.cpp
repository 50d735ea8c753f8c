// lumarest-check: a read-only diagnostic that explains, condition by
// condition, what the controller would do on this machine.
//   lumarest-check [--json] [--lang en|zh-TW] [--help]
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && lstrcmpW(argv[1], L"--help") == 0) {
    std::fputs("usage: lumarest-check [--json] [--lang en|zh-TW]\n", stdout);
    return 0;
  }
  std::fputs("lumarest-check: the examination is not built yet\n", stderr);
  return 2;
}
