// LookAtStateFile and ScanMark: a state file read the way that never makes
// a controller's write fail, and the mark the controller would find in it.
#include "check/state_file_look.h"

#include <windows.h>

#include <vector>

#include "check/text_encoding.h"
#include "platform/os_calls.h"

namespace {

// The files hold one byte; this is far more than any token the controller
// would read, and the one read call stays one call.
constexpr DWORD kReadLimit = 4096;

// A controller holds a file for writing about 10 ms (its pause before the
// write). The tool waits for it only while holding nothing itself.
constexpr int kBusyAttempts = 10;
constexpr DWORD kBusyWaitMs = 10;

// A security descriptor larger than this is not a file's.
constexpr DWORD kSecurityLimit = 65536;

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

constexpr char kControlZ = 0x1A;

// Reads the file's first bytes and lets go of it at once: shared for
// reading, writing and deletion, so a controller's open (for reading or
// writing) and the installer's replacement are never refused because of it.
void ReadFirstBytes(const std::wstring& path, StateFileSeen* seen) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 1;; ++attempt) {
    file = os.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) break;
    // A controller writing its mark holds the file unshared for a moment.
    if (os.GetLastError() != ERROR_SHARING_VIOLATION || attempt == kBusyAttempts) return;
    os.Sleep(kBusyWaitMs);
  }
  char bytes[kReadLimit];
  DWORD got = 0;
  const BOOL readOk = os.ReadFile(file, bytes, kReadLimit, &got, nullptr);
  os.CloseHandle(file);
  if (!readOk) return;

  switch (ScanMark(bytes, got, got < kReadLimit, seen->mark)) {
    case MarkScan::kStored: seen->read = true; break;
    case MarkScan::kNoToken: seen->read = seen->empty = true; break;
    case MarkScan::kNeedMore: break;  // thousands of blanks: not a file the controller wrote
  }
}

// Whether the controller's write would be granted to this process: the
// file's access control list checked against this process's own token (for
// an administrator under UAC, the filtered one it runs with), and the
// attributes, which no access control list overrides: read-only, and the
// hidden and system attributes, because the controller's fopen_s "w" asks
// for CREATE_ALWAYS, which Windows refuses on an existing hidden or system
// file (CreateFileW's documentation: ERROR_ACCESS_DENIED).
bool MayWrite(const std::wstring& path, StateFileSeen* seen) {
  const DWORD attributes = os.GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  seen->refusingAttributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (seen->refusingAttributes != 0 || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;

  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                     DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  os.GetFileSecurityW(path.c_str(), parts, nullptr, 0, &needed);
  if (needed == 0 || needed > kSecurityLimit) return false;
  std::vector<BYTE> descriptor(needed);
  if (!os.GetFileSecurityW(path.c_str(), parts, descriptor.data(), needed, &needed)) return false;

  // AccessCheck takes an impersonation token; the process token is a
  // primary one.
  HANDLE processToken = nullptr;
  if (!os.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &processToken)) return false;
  HANDLE token = nullptr;
  const BOOL duplicated = os.DuplicateToken(processToken, SecurityImpersonation, &token);
  os.CloseHandle(processToken);
  if (!duplicated) return false;

  // fopen_s "w" asks for GENERIC_WRITE.
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  DWORD desired = GENERIC_WRITE;
  MapGenericMask(&desired, &mapping);
  union {
    PRIVILEGE_SET set;
    BYTE room[256];
  } privileges = {};
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  const BOOL checked = os.AccessCheck(descriptor.data(), token, desired, &mapping, &privileges.set, &privilegesSize,
                                      &granted, &allowed);
  os.CloseHandle(token);
  return checked && allowed && (granted & desired) == desired;
}

}  // namespace

MarkScan ScanMark(const char* bytes, std::size_t size, bool atEnd, char (&mark)[2]) {
  std::size_t at = 0;
  while (at < size && bytes[at] != kControlZ && IsSpace(static_cast<unsigned char>(bytes[at]))) ++at;
  if (at == size) return atEnd ? MarkScan::kNoToken : MarkScan::kNeedMore;
  if (bytes[at] == kControlZ) return MarkScan::kNoToken;

  const std::size_t first = at++;
  if (at == size && !atEnd) return MarkScan::kNeedMore;
  if (at < size && bytes[at] != kControlZ && !IsSpace(static_cast<unsigned char>(bytes[at]))) {
    // Two characters or more do not fit a one-character mark.
    mark[0] = 0;
    mark[1] = 0;
    return MarkScan::kStored;
  }
  mark[0] = bytes[first];
  mark[1] = 0;
  return MarkScan::kStored;
}

StateFileSeen LookAtStateFile(StateFile file) {
  StateFileSeen seen;
  seen.path = StateFilePath(file);
  seen.exists = StateFileExists(file);
  if (!seen.exists) return seen;
  const std::wstring path = WidenAscii(seen.path);
  ReadFirstBytes(path, &seen);
  seen.writable = MayWrite(path, &seen);
  return seen;
}
