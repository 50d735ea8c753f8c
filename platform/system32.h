// Functions of DLLs that are not among the known DLLs the loader always
// takes from System32 (wtsapi32, userenv). Linked statically, a copy
// planted beside the program, or beside the installer's extracted action
// DLL, could be loaded in their place before our first instruction runs; so
// they are resolved at first use, from System32 only. The module stays
// loaded for the life of the process.
#pragma once

#include <windows.h>

// The function `name` of System32's `dll`, or null when the DLL or the
// function is not there; `module` keeps the DLL's handle between calls.
template <typename Fn>
Fn System32Function(const wchar_t* dll, HMODULE* module, const char* name) {
  if (*module == nullptr) {
    *module = ::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (*module == nullptr) return nullptr;
  }
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(*module, name)));
}
