// The real standard output and error of lumarest-check.
#pragma once

#include "check/check_tool.h"

// A console gets UTF-16 through WriteConsoleW, so every character shows
// whatever the console's code page; a pipe or a file gets UTF-8.
class ConsoleOutput : public ToolOutput {
 public:
  void Text(const std::wstring& text) override;
  void Bytes(const std::string& bytes) override;
  void Error(const std::wstring& text) override;
  bool OwnsConsoleWindow() override;
  void WaitForKey() override;
};
