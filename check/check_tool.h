// lumarest-check's command line, from the arguments to the exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Where the tool's words go: standard output (a report for a person, or
// JSON bytes as they are) and standard error.
class ToolOutput {
 public:
  virtual ~ToolOutput() = default;
  virtual void Text(const std::wstring& text) = 0;
  virtual void Bytes(const std::string& bytes) = 0;
  virtual void Error(const std::wstring& text) = 0;
  // Whether the report goes to a console window that a person opened by
  // double-clicking the tool in Explorer (Windows closes it the moment the
  // tool ends; check/double_click.h), and waiting there for a key.
  virtual bool OwnsConsoleWindow() { return false; }
  virtual void WaitForKey() {}
};

// Exit codes: fleet tools read exactly these.
constexpr int kQualifies = 0;
constexpr int kConditionFails = 1;
constexpr int kUsageOrNoMemory = 2;
// With --health: the installation is healthy, or not (2 as above).
constexpr int kHealthy = 0;
constexpr int kUnhealthy = 1;

// `arguments` without the program's name; `uiLanguage` chooses the texts
// unless --lang does.
int RunCheckTool(const std::vector<std::wstring>& arguments, LANGID uiLanguage, ToolOutput& out);
