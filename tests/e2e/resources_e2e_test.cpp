// The resources read back from the built lumarest.exe: what windres wrote
// is checked here, not what the script says, because the two differ in
// places (control styles, icon sizes).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/resources/resource.h"
#include "tests/e2e/launch.h"

namespace {

constexpr WORD kChineseTraditional = 1028;
constexpr WORD kEnglishUs = 1033;

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module = LoadLibraryExW(ControllerPath().c_str(), nullptr,
                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module) FreeLibrary(module);
    module = nullptr;
  }
  void SetUp() override { ASSERT_NE(nullptr, module) << "lumarest.exe could not be opened"; }

  static std::vector<BYTE> Read(LPCWSTR type, LPCWSTR name, WORD language) {
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    return std::vector<BYTE>(data, data + SizeofResource(module, found));
  }

  static HMODULE module;
};

HMODULE Resources::module = nullptr;

// A little-endian reader over a resource, with bounds checks.
class Reader {
 public:
  explicit Reader(const std::vector<BYTE>& data) : data_(data) {}
  WORD Word() { return static_cast<WORD>(Byte() | (Byte() << 8)); }
  DWORD Dword() { DWORD low = Word(); return low | (static_cast<DWORD>(Word()) << 16); }
  BYTE Byte() {
    if (at_ >= data_.size()) { overrun = true; return 0; }
    return data_[at_++];
  }
  std::wstring Text() {
    std::wstring s;
    for (WORD c; (c = Word()) != 0 && !overrun;) s += static_cast<wchar_t>(c);
    return s;
  }
  // A name or ordinal field of a dialog template.
  std::wstring NameOrOrdinal() {
    WORD first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring s(1, static_cast<wchar_t>(first));
    return s + Text();
  }
  void AlignDword() { at_ = (at_ + 3) & ~std::size_t{3}; }
  std::size_t at() const { return at_; }
  bool overrun = false;

 private:
  const std::vector<BYTE>& data_;
  std::size_t at_ = 0;
};

TEST_F(Resources, TheTwoStringsAreTheOnlyOnes) {
  // Strings 96 to 111 live in block 7.
  const std::vector<BYTE> block = Read(RT_STRING, MAKEINTRESOURCEW(103 / 16 + 1), kChineseTraditional);
  ASSERT_FALSE(block.empty());
  Reader r(block);
  std::vector<std::wstring> strings;
  for (int i = 0; i < 16; ++i) {
    WORD length = r.Word();
    std::wstring s;
    for (WORD k = 0; k < length; ++k) s += static_cast<wchar_t>(r.Word());
    strings.push_back(s);
  }
  ASSERT_FALSE(r.overrun);
  for (int i = 0; i < 16; ++i) {
    const int id = 96 + i;
    const std::wstring expected = id == RID_TITLE_TEXT ? L"Lumarest" : id == RID_CLASS_TEXT ? L"LUMAREST" : L"";
    EXPECT_EQ(expected, strings[i]) << "string " << id;
  }
}

TEST_F(Resources, MenuHasTwoPopUpsWithOneItemEach) {
  const std::vector<BYTE> menu = Read(RT_MENU, MAKEINTRESOURCEW(RID_MAIN_MENU), kChineseTraditional);
  ASSERT_FALSE(menu.empty());
  Reader r(menu);
  EXPECT_EQ(0, r.Word()) << "menu template version";
  EXPECT_EQ(0, r.Word()) << "header size";
  struct Item { WORD flags; WORD id; std::wstring text; };
  std::vector<Item> items;
  while (!r.overrun && r.at() < menu.size()) {
    Item item;
    item.flags = r.Word();
    item.id = (item.flags & MF_POPUP) ? 0 : r.Word();
    item.text = r.Text();
    items.push_back(item);
  }
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ(MF_POPUP, items[0].flags);
  EXPECT_EQ(L"\u6a94\u6848(&F)", items[0].text);  // 檔案(&F)
  EXPECT_EQ(MF_END, items[1].flags);
  EXPECT_EQ(CMD_EXIT, items[1].id);
  EXPECT_EQ(L"\u7d50\u675f(&X)", items[1].text);  // 結束(&X)
  EXPECT_EQ(MF_POPUP | MF_END, items[2].flags);
  EXPECT_EQ(L"\u8aaa\u660e(&H)", items[2].text);  // 說明(&H)
  EXPECT_EQ(MF_END, items[3].flags);
  EXPECT_EQ(CMD_ABOUT, items[3].id);
  EXPECT_EQ(L"\u95dc\u65bc(&A)...", items[3].text);  // 關於(&A)...
}

TEST_F(Resources, AcceleratorsAreAltQuestionMarkAndAltSlash) {
  const std::vector<BYTE> table = Read(RT_ACCELERATOR, MAKEINTRESOURCEW(RID_MAIN_MENU), kChineseTraditional);
  ASSERT_EQ(16u, table.size()) << "two entries of eight bytes";
  Reader r(table);
  const WORD expected[2][3] = {{0x10, 0x3F, CMD_ABOUT}, {0x90, 0x2F, CMD_ABOUT}};
  for (const auto& e : expected) {
    EXPECT_EQ(e[0], r.Word()) << "flags";
    EXPECT_EQ(e[1], r.Word()) << "character";
    EXPECT_EQ(e[2], r.Word()) << "command";
    r.Word();
  }
}

TEST_F(Resources, AboutBoxTemplate) {
  const std::vector<BYTE> dialog = Read(RT_DIALOG, MAKEINTRESOURCEW(RID_ABOUT_DIALOG), kChineseTraditional);
  ASSERT_FALSE(dialog.empty());
  Reader r(dialog);
  EXPECT_EQ(1, r.Word()) << "extended template version";
  EXPECT_EQ(0xFFFF, r.Word()) << "signature";
  EXPECT_EQ(0u, r.Dword()) << "help id";
  EXPECT_EQ(0u, r.Dword()) << "extended style";
  EXPECT_EQ(DWORD{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS}, r.Dword());
  ASSERT_EQ(4, r.Word()) << "controls";
  EXPECT_EQ(0, r.Word());
  EXPECT_EQ(0, r.Word());
  EXPECT_EQ(170, r.Word());
  EXPECT_EQ(62, r.Word());
  EXPECT_EQ(L"", r.NameOrOrdinal()) << "menu";
  EXPECT_EQ(L"", r.NameOrOrdinal()) << "class";
  EXPECT_EQ(L"\u95dc\u65bc Lumarest", r.Text()) << "caption";
  EXPECT_EQ(9, r.Word()) << "points";
  EXPECT_EQ(0, r.Word()) << "weight";
  EXPECT_EQ(0, r.Byte()) << "italic";
  EXPECT_EQ(1, r.Byte()) << "character set";
  EXPECT_EQ(L"????", r.Text()) << "face name";

  struct Control { DWORD style; short x, y, cx, cy; DWORD id; const wchar_t* cls; const wchar_t* text; };
  const Control expected[4] = {
      {WS_CHILD | WS_VISIBLE | SS_ICON, 14, 14, 21, 20, 0xFFFFFFFF, L"#130", L"#128"},
      {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX, 42, 14, 114, 8, 0xFFFFFFFF, L"#130",
       L"Lumarest 1.0 \u7248"},
      {WS_CHILD | WS_VISIBLE | WS_GROUP, 42, 26, 114, 8, 0xFFFFFFFF, L"#130",
       L"\u7248\u6b0a\u6240\u6709 (C) 2026 Kelvane"},  // 版權所有 (C) 2026 Kelvane
      {WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 113, 41, 50, 14, IDOK,
       L"#128", L"\u78ba\u5b9a"}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const Control& e = expected[i];
    r.AlignDword();
    EXPECT_EQ(0u, r.Dword()) << "help id";
    EXPECT_EQ(0u, r.Dword()) << "extended style";
    EXPECT_EQ(e.style, r.Dword()) << std::hex << "style";
    EXPECT_EQ(e.x, static_cast<short>(r.Word()));
    EXPECT_EQ(e.y, static_cast<short>(r.Word()));
    EXPECT_EQ(e.cx, static_cast<short>(r.Word()));
    EXPECT_EQ(e.cy, static_cast<short>(r.Word()));
    EXPECT_EQ(e.id, r.Dword()) << "identifier";
    EXPECT_EQ(e.cls, r.NameOrOrdinal()) << "class";
    EXPECT_EQ(e.text, r.NameOrOrdinal()) << "text";
    EXPECT_EQ(0, r.Word()) << "creation data";
  }
  EXPECT_FALSE(r.overrun);
}

TEST_F(Resources, IconGroupsHoldTheNineImagesInOrder) {
  struct Image { int size; int bits; bool png; };
  const Image expected[9] = {{256, 8, true},  {48, 8, false},  {32, 8, false},
                             {16, 8, false},  {256, 32, true}, {64, 32, false},
                             {48, 32, false}, {32, 32, false}, {16, 32, false}};
  for (WORD group : {WORD{RID_LARGE_ICON}, WORD{RID_SMALL_ICON}}) {
    SCOPED_TRACE("icon group " + std::to_string(group));
    const std::vector<BYTE> dir = Read(RT_GROUP_ICON, MAKEINTRESOURCEW(group), kChineseTraditional);
    ASSERT_EQ(6u + 9u * 14u, dir.size());
    Reader r(dir);
    EXPECT_EQ(0, r.Word());
    EXPECT_EQ(1, r.Word()) << "type icon";
    ASSERT_EQ(9, r.Word());
    for (const Image& e : expected) {
      const int width = r.Byte(), height = r.Byte();
      EXPECT_EQ(e.size % 256, width);
      EXPECT_EQ(e.size % 256, height);
      r.Byte();
      r.Byte();
      EXPECT_EQ(1, r.Word()) << "planes";
      EXPECT_EQ(e.bits, r.Word()) << "bits per pixel";
      const DWORD bytes = r.Dword();
      const WORD id = r.Word();
      const std::vector<BYTE> image = Read(RT_ICON, MAKEINTRESOURCEW(id), kChineseTraditional);
      ASSERT_EQ(bytes, image.size());
      ASSERT_GE(image.size(), 40u);
      const bool png = std::memcmp(image.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
      EXPECT_EQ(e.png, png) << e.size << " px image stored as " << (png ? "PNG" : "bitmap");
      if (!png) {
        BITMAPINFOHEADER h;
        std::memcpy(&h, image.data(), sizeof h);
        EXPECT_EQ(40u, h.biSize);
        EXPECT_EQ(e.size, h.biWidth);
        EXPECT_EQ(e.size * 2, h.biHeight) << "image and mask";
        EXPECT_EQ(e.bits, h.biBitCount);
      }
    }
  }
  EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(RID_ABOUT_ICON), RT_GROUP_ICON))
      << "the About box names an icon that is not there";
}

TEST_F(Resources, ManifestAsksOnlyForTheInvokersRights) {
  const std::vector<BYTE> manifest = Read(RT_MANIFEST, MAKEINTRESOURCEW(1), kEnglishUs);
  ASSERT_FALSE(manifest.empty());
  const std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(std::string::npos, text.find("manifestVersion=\"1.0\""));
  EXPECT_NE(std::string::npos, text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\""));
  for (const char* absent : {"dependency", "dpiAware", "dpiAwareness", "supportedOS", "compatibility",
                             "assemblyIdentity"})
    EXPECT_EQ(std::string::npos, text.find(absent)) << "the manifest declares " << absent;
}

TEST_F(Resources, VersionIsOneZeroZeroZero) {
  const std::vector<BYTE> version = Read(RT_VERSION, MAKEINTRESOURCEW(1), kEnglishUs);
  ASSERT_FALSE(version.empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0u, fixed->dwProductVersionLS);
}

struct Entry { std::wstring type, name; WORD language; };

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out) {
  auto text = [](LPCWSTR id) { return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : std::wstring(id); };
  reinterpret_cast<std::vector<Entry>*>(out)->push_back({text(type), text(name), language});
  return TRUE;
}
BOOL CALLBACK OnName(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR out) {
  return EnumResourceLanguagesW(m, type, name, OnLanguage, out), TRUE;
}
BOOL CALLBACK OnType(HMODULE m, LPWSTR type, LONG_PTR out) {
  return EnumResourceNamesW(m, type, OnName, out), TRUE;
}

TEST_F(Resources, EverythingButManifestAndVersionIsTraditionalChinese) {
  std::vector<Entry> all;
  EnumResourceTypesW(module, OnType, reinterpret_cast<LONG_PTR>(&all));
  ASSERT_GE(all.size(), 8u);
  for (const Entry& e : all) {
    const bool english = e.type == L"#24" || e.type == L"#16";  // manifest, version
    EXPECT_EQ(english ? kEnglishUs : kChineseTraditional, e.language)
        << "resource type " << std::string(e.type.begin(), e.type.end()) << " name "
        << std::string(e.name.begin(), e.name.end());
  }
}

}  // namespace
