// The fake laptop's install folder: the controller's fixed state-file paths
// are mapped to a scratch folder and served by the real C runtime, so the
// runtime's own fopen_s, fprintf and fscanf_s behaviour is what the tests see.
// On top of it: a read-only folder, files locked for a stretch of virtual
// time, Windows' sharing rules, the files' security as AccessCheck answers
// it, fault injection and the ledger of open files, handles and tokens.
#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "fake/fake_laptop.h"

namespace {

FakeLaptop& F() { return FakeLaptop::Active(); }

const char kInstallFolder[] = "C:\\Program Files (x86)\\Kelvane\\Lumarest\\";

std::string FileName(const char* path) {
  const std::size_t n = sizeof kInstallFolder - 1;
  if (path == nullptr || std::strlen(path) <= n || _strnicmp(path, kInstallFolder, n) != 0) return {};
  return path + n;
}

FakeLaptop::Sharing FopenSharing(const std::string& name, const char* mode) {
  const bool reading = mode && mode[0] == 'r' && !std::strchr(mode, '+');
  // The runtime opens files "not sharable": a reading open lets others
  // read, any other open lets nobody in.
  return {name, reading || (mode && std::strchr(mode, '+')), !reading, reading ? DWORD{FILE_SHARE_READ} : 0};
}

int FakeAccess(const char* path, int mode) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.access, FileName(path) + " mode=" + std::to_string(mode));
  const std::string mapped = fake.MapPath(path);
  if (mapped.empty() || fake.Failable(kOsCallNames.access)) return -1;
  return realOs.access(mapped.c_str(), mode);
}

errno_t FakeFopen(FILE** file, const char* path, const char* mode) {
  FakeLaptop& fake = F();
  const std::string name = FileName(path);
  fake.Log(kOsCallNames.fopen_s, name + " " + (mode ? mode : ""));
  *file = nullptr;
  const std::string mapped = fake.MapPath(path);
  if (mapped.empty()) return ENOENT;
  if (fake.Failable(kOsCallNames.fopen_s)) return EACCES;
  auto locked = fake.files.lockedUntil.find(name);
  if (locked != fake.files.lockedUntil.end() && fake.now < locked->second) return EACCES;
  const bool writes = mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+'));
  if (writes && fake.files.folderReadOnly) return EACCES;
  const FakeLaptop::Sharing wanted = FopenSharing(name, mode);
  if (!fake.SharingAllows(wanted)) return EACCES;  // what the runtime makes of ERROR_SHARING_VIOLATION
  // "w" is CreateFileW's CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL, which
  // Windows refuses on an existing hidden or system file (ERROR_ACCESS_DENIED,
  // CreateFileW's page); Wine lets it through.
  auto attributes = fake.files.fileAttributes.find(name);
  if (mode && std::strchr(mode, 'w') && attributes != fake.files.fileAttributes.end() &&
      (attributes->second & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
      realOs.access(mapped.c_str(), 0) == 0)
    return EACCES;
  const errno_t result = realOs.fopen_s(file, mapped.c_str(), mode);
  if (result == 0 && *file) {
    fake.files.openFiles[*file] = mapped;
    fake.files.sharing[*file] = wanted;
  }
  return result;
}

int FakePrintText(FILE* file, const char* text) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.printText, text ? text : "(null)");
  if (!fake.files.openFiles.count(file)) std::abort();  // a write to a file we do not hold
  if (fake.Failable(kOsCallNames.printText)) return -1;
  return realOs.printText(file, text);
}

int FakeScanToken(FILE* file, char* buffer, unsigned size) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.scanToken, "size=" + std::to_string(size));
  if (!fake.files.openFiles.count(file)) std::abort();
  if (fake.Failable(kOsCallNames.scanToken)) return EOF;
  return realOs.scanToken(file, buffer, size);
}

int FakeFclose(FILE* file) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.fclose);
  auto open = fake.files.openFiles.find(file);
  if (open == fake.files.openFiles.end()) std::abort();  // closing what is not open
  const std::string path = open->second;
  fake.files.openFiles.erase(open);
  fake.files.sharing.erase(file);
  const int result = realOs.fclose(file);
  if (fake.Failable(kOsCallNames.fclose)) {
    // The buffered mark never reached the disk: what a full disk does.
    FILE* emptied = nullptr;
    if (realOs.fopen_s(&emptied, path.c_str(), "w") == 0 && emptied) realOs.fclose(emptied);
    return EOF;
  }
  return result;
}

// ---- The diagnostic's calls: reading shared, and the files' security ----

std::string NameOf(LPCWSTR path) { return FileName(path ? Narrow(path).c_str() : nullptr); }

HANDLE WINAPI FakeCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                              DWORD, HANDLE) {
  FakeLaptop& fake = F();
  const std::string name = NameOf(path);
  fake.Log(kOsCallNames.CreateFileW, name + " access=0x" + Hex(access) + " share=0x" + Hex(share) +
                              " disposition=" + std::to_string(disposition));
  const std::string mapped = path ? fake.MapPath(Narrow(path).c_str()) : std::string();
  if (mapped.empty() || fake.Failable(kOsCallNames.CreateFileW)) {
    fake.kernel.lastError = mapped.empty() ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  const FakeLaptop::Sharing wanted = {name, (access & (GENERIC_READ | FILE_READ_DATA)) != 0,
                                      (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0, share};
  if (!fake.SharingAllows(wanted)) {
    fake.kernel.lastError = ERROR_SHARING_VIOLATION;
    return INVALID_HANDLE_VALUE;
  }
  // Wine's server does refuse an incompatible CreateFileW share (as
  // platform_assumptions_test shows), but Wine's fopen_s shares everything
  // and another process's open is only modelled: the fake has decided the
  // sharing above, and the real file answers the rest.
  const HANDLE file = ::CreateFileA(mapped.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fake.kernel.lastError = ::GetLastError();
    return file;
  }
  fake.files.openHandles.insert(file);
  fake.files.sharing[file] = wanted;
  return file;
}

BOOL WINAPI FakeReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.ReadFile, "size=" + std::to_string(size));
  if (!fake.files.openHandles.count(file)) std::abort();  // a read of a handle we do not hold
  if (read) *read = 0;
  if (fake.Failable(kOsCallNames.ReadFile)) return FALSE;
  return realOs.ReadFile(file, buffer, size, read, overlapped);
}

DWORD WINAPI FakeGetFileAttributesW(LPCWSTR path) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.GetFileAttributesW, NameOf(path));
  const std::string mapped = path ? fake.MapPath(Narrow(path).c_str()) : std::string();
  if (mapped.empty() || fake.Failable(kOsCallNames.GetFileAttributesW)) return INVALID_FILE_ATTRIBUTES;
  const DWORD attributes = ::GetFileAttributesA(mapped.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return attributes;
  auto extra = fake.files.fileAttributes.find(NameOf(path));
  if (extra == fake.files.fileAttributes.end()) return attributes;
  // A hidden or system file is no longer "normal", whatever else it is.
  return (attributes & ~DWORD{FILE_ATTRIBUTE_NORMAL}) | extra->second;
}

// The descriptor is a token of the fake's own: what matters is which file it
// came from, and AccessCheck answers from the model.
BOOL WINAPI FakeGetFileSecurityW(LPCWSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                                 LPDWORD needed) {
  FakeLaptop& fake = F();
  const std::string name = NameOf(path);
  fake.Log(kOsCallNames.GetFileSecurityW, name + " size=" + std::to_string(size));
  const DWORD bytes = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
  if (name.empty() || fake.Failable(kOsCallNames.GetFileSecurityW)) {
    fake.kernel.lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (needed) *needed = bytes;
  if (size < bytes || descriptor == nullptr) {
    fake.kernel.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  std::memset(descriptor, 0, bytes);
  fake.files.securityRead[descriptor] = name;
  return TRUE;
}

HANDLE NextToken() {
  static INT_PTR next = 0x7000;
  return reinterpret_cast<HANDLE>(next += 4);
}

BOOL WINAPI FakeOpenProcessToken(HANDLE, DWORD access, PHANDLE token) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.OpenProcessToken, "access=0x" + Hex(access));
  if (fake.Failable(kOsCallNames.OpenProcessToken)) return FALSE;
  *token = NextToken();
  fake.files.openTokens.insert(*token);
  return TRUE;
}

BOOL WINAPI FakeDuplicateToken(HANDLE token, SECURITY_IMPERSONATION_LEVEL level, PHANDLE duplicate) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.DuplicateToken, "level=" + std::to_string(level));
  if (!fake.files.openTokens.count(token)) std::abort();
  if (fake.Failable(kOsCallNames.DuplicateToken)) return FALSE;
  *duplicate = NextToken();
  fake.files.openTokens.insert(*duplicate);
  return TRUE;
}

BOOL WINAPI FakeAccessCheck(PSECURITY_DESCRIPTOR descriptor, HANDLE token, DWORD desired, PGENERIC_MAPPING,
                            PPRIVILEGE_SET, LPDWORD, LPDWORD granted, LPBOOL allowed) {
  FakeLaptop& fake = F();
  fake.Log(kOsCallNames.AccessCheck, "desired=0x" + Hex(desired));
  if (!fake.files.openTokens.count(token)) std::abort();
  auto file = fake.files.securityRead.find(descriptor);
  if (file == fake.files.securityRead.end()) std::abort();  // not a descriptor GetFileSecurityW gave
  if (fake.Failable(kOsCallNames.AccessCheck)) return FALSE;
  // Generic rights must have been mapped to the file's own by then.
  const bool mapped = (desired & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) == 0;
  *allowed = mapped && !fake.files.folderReadOnly && !fake.files.writeDenied.count(file->second);
  *granted = *allowed ? desired : 0;
  return TRUE;
}

}  // namespace

BOOL FakeCloseFileOrToken(HANDLE handle) {
  FakeLaptop& fake = F();
  if (fake.files.openTokens.erase(handle)) return TRUE;
  if (fake.files.openHandles.erase(handle)) {
    fake.files.sharing.erase(handle);
    return realOs.CloseHandle(handle);
  }
  return handle != nullptr;
}

bool FakeLaptop::SharingAllows(const Sharing& wanted) const {
  auto compatible = [&](const Sharing& held) {
    if (held.name != wanted.name) return true;
    if (wanted.reads && !(held.share & FILE_SHARE_READ)) return false;
    if (wanted.writes && !(held.share & FILE_SHARE_WRITE)) return false;
    if (held.reads && !(wanted.share & FILE_SHARE_READ)) return false;
    if (held.writes && !(wanted.share & FILE_SHARE_WRITE)) return false;
    return true;
  };
  for (const auto& [holder, held] : files.sharing)
    if (!compatible(held)) return false;
  for (const auto& [name, held] : files.heldElsewhere)
    if (!compatible(held)) return false;
  return true;
}

std::string FakeLaptop::MapPath(const char* path) const {
  const std::string name = FileName(path);
  if (name.empty() || files.scratchFolder.empty()) return {};
  return files.scratchFolder + "\\" + name;
}

std::optional<std::string> FakeLaptop::FileContent(const std::string& name) const {
  FILE* f = nullptr;
  if (realOs.fopen_s(&f, (files.scratchFolder + "\\" + name).c_str(), "rb") != 0 || !f) return std::nullopt;
  std::string content;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
  std::fclose(f);
  return content;
}

void FakeLaptop::SetFile(const std::string& name, const std::string& content) {
  FILE* f = nullptr;
  if (realOs.fopen_s(&f, (files.scratchFolder + "\\" + name).c_str(), "wb") != 0 || !f) std::abort();
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

void FakeLaptop::RemoveFile(const std::string& name) {
  files.fileAttributes.erase(name);
  ::DeleteFileA((files.scratchFolder + "\\" + name).c_str());
}

void FakeLaptop::InstallFiles() {
  os.access = FakeAccess;
  os.fopen_s = FakeFopen;
  os.printText = FakePrintText;
  os.scanToken = FakeScanToken;
  os.fclose = FakeFclose;
  os.CreateFileW = FakeCreateFileW;
  os.ReadFile = FakeReadFile;
  os.GetFileAttributesW = FakeGetFileAttributesW;
  os.GetFileSecurityW = FakeGetFileSecurityW;
  os.OpenProcessToken = FakeOpenProcessToken;
  os.DuplicateToken = FakeDuplicateToken;
  os.AccessCheck = FakeAccessCheck;
}

std::string MakeScratchFolder(const std::string& tag) {
  char temp[MAX_PATH];
  const DWORD n = ::GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) std::abort();
  const std::string folder = std::string(temp) + "lumarest-" + tag + "-" +
                             std::to_string(::GetCurrentProcessId());
  // Empty it: only plain files are ever put there.
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        ::DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }
  // A freshly booted prefix may not have its Temp folder yet: make every
  // component.
  for (std::size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1))
    ::CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    std::fprintf(stderr, "cannot make the scratch folder %s\n", folder.c_str());
    std::abort();
  }
  return folder;
}
