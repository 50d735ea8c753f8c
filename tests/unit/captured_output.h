// What lumarest-check would have written, kept for the test to read, and the
// one UI language the tests run the tool in unless they pick another.
#pragma once

#include <windows.h>

#include <string>

#include "check/check_tool.h"

inline constexpr LANGID kEnglishUs = 0x0409;

struct Captured : ToolOutput {
  std::wstring text, error;
  std::string bytes;
  bool ownsConsole = false;
  int waits = 0;
  void Text(const std::wstring& t) override { text += t; }
  void Bytes(const std::string& b) override { bytes += b; }
  void Error(const std::wstring& e) override { error += e; }
  bool OwnsConsoleWindow() override { return ownsConsole; }
  void WaitForKey() override { ++waits; }
};
