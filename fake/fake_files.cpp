// The fake laptop's install folder: the controller's fixed state-file paths
// are mapped to a scratch folder and served by the real C runtime, so the
// runtime's own fopen_s, fprintf and fscanf_s behaviour is what the tests see.
// On top of it: a read-only folder, files locked for a stretch of virtual
// time, fault injection and the ledger of open files.
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

int FakeAccess(const char* path, int mode) {
  FakeLaptop& fake = F();
  fake.Log("_access", FileName(path) + " mode=" + std::to_string(mode));
  const std::string mapped = fake.MapPath(path);
  if (mapped.empty() || fake.Failable("_access")) return -1;
  return realOs.access(mapped.c_str(), mode);
}

errno_t FakeFopen(FILE** file, const char* path, const char* mode) {
  FakeLaptop& fake = F();
  const std::string name = FileName(path);
  fake.Log("fopen_s", name + " " + (mode ? mode : ""));
  *file = nullptr;
  const std::string mapped = fake.MapPath(path);
  if (mapped.empty()) return ENOENT;
  if (fake.Failable("fopen_s")) return EACCES;
  auto locked = fake.lockedUntil.find(name);
  if (locked != fake.lockedUntil.end() && fake.now < locked->second) return EACCES;
  const bool writes = mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+'));
  if (writes && fake.folderReadOnly) return EACCES;
  const errno_t result = realOs.fopen_s(file, mapped.c_str(), mode);
  if (result == 0 && *file) fake.openFiles[*file] = mapped;
  return result;
}

int FakePrintText(FILE* file, const char* text) {
  FakeLaptop& fake = F();
  fake.Log("fprintf", text ? text : "(null)");
  if (!fake.openFiles.count(file)) std::abort();  // a write to a file we do not hold
  if (fake.Failable("fprintf")) return -1;
  return realOs.printText(file, text);
}

int FakeScanToken(FILE* file, char* buffer, unsigned size) {
  FakeLaptop& fake = F();
  fake.Log("fscanf_s", "size=" + std::to_string(size));
  if (!fake.openFiles.count(file)) std::abort();
  if (fake.Failable("fscanf_s")) return EOF;
  return realOs.scanToken(file, buffer, size);
}

int FakeFclose(FILE* file) {
  FakeLaptop& fake = F();
  fake.Log("fclose");
  auto open = fake.openFiles.find(file);
  if (open == fake.openFiles.end()) std::abort();  // closing what is not open
  const std::string path = open->second;
  fake.openFiles.erase(open);
  const int result = realOs.fclose(file);
  if (fake.Failable("fclose")) {
    // The buffered mark never reached the disk: what a full disk does.
    FILE* emptied = nullptr;
    if (realOs.fopen_s(&emptied, path.c_str(), "w") == 0 && emptied) realOs.fclose(emptied);
    return EOF;
  }
  return result;
}

}  // namespace

std::string FakeLaptop::MapPath(const char* path) const {
  const std::string name = FileName(path);
  if (name.empty() || scratchFolder.empty()) return {};
  return scratchFolder + "\\" + name;
}

std::optional<std::string> FakeLaptop::FileContent(const std::string& name) const {
  FILE* f = nullptr;
  if (realOs.fopen_s(&f, (scratchFolder + "\\" + name).c_str(), "rb") != 0 || !f) return std::nullopt;
  std::string content;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
  std::fclose(f);
  return content;
}

void FakeLaptop::SetFile(const std::string& name, const std::string& content) {
  FILE* f = nullptr;
  if (realOs.fopen_s(&f, (scratchFolder + "\\" + name).c_str(), "wb") != 0 || !f) std::abort();
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

void FakeLaptop::RemoveFile(const std::string& name) {
  ::DeleteFileA((scratchFolder + "\\" + name).c_str());
}

void FakeLaptop::InstallFiles() {
  os.access = FakeAccess;
  os.fopen_s = FakeFopen;
  os.printText = FakePrintText;
  os.scanToken = FakeScanToken;
  os.fclose = FakeFclose;
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
