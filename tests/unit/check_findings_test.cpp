// What lumarest-check finds on real laptops and in fleets: the DC rate
// against the modes the panel lists, the marks read as the controller reads
// them, a controller's write that is never lost to the tool, the keys of
// the JSON, and the answer before Lumarest is installed.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "app/controller_state.h"
#include "check/check_tool.h"
#include "check/examination.h"
#include "check/report.h"
#include "fake/laptop_presets.h"
#include "fake/registry_paths.h"
#include "tests/unit/captured_output.h"
#include "policy/state_files.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Installed, on battery, marks "1" and "2": every condition holds.
void SetUpInstalledLaptop(FakeLaptop& fake) {
  SetUpIrisLaptop(fake, {"1", "2", 0, 144, false}, "findings");
  fake.SetString(kRunKey, L"Lumarest", L"\"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lumarest.exe\"");
}

void SetIntelRange(FakeLaptop& fake, int min, int max) {
  fake.wmi.controllers = {{FakeProperty::Text(L"Intel(R) Iris(R) Xe Graphics"), FakeProperty::Int(max),
                       FakeProperty::Int(min)}};
}

struct ModesCase {
  const char* name;
  void (*set)(FakeLaptop&);
  const char* ok;       // the JSON's "ok" of dc_rate_offered
  const char* offered;  // the JSON's "offered"
  const wchar_t* detail;
};

class OfferedRateTest : public ::testing::TestWithParam<ModesCase> {};

TEST_P(OfferedRateTest, TheDcRateIsLookedForAtTheCurrentResolutionAndDepth) {
  FakeLaptop fake;
  SetUpInstalledLaptop(fake);
  GetParam().set(fake);
  Captured json, report;
  RunCheckTool({L"--json"}, kEnglishUs, json);
  RunCheckTool({}, kEnglishUs, report);
  EXPECT_NE(std::string::npos, json.bytes.find(std::string("{\"name\": \"dc_rate_offered\", \"kind\": \"capability\", "
                                                           "\"ok\": ") + GetParam().ok))
      << json.bytes;
  EXPECT_NE(std::string::npos, json.bytes.find(std::string("\"offered\": ") + GetParam().offered + ", ")) << json.bytes;
  EXPECT_NE(std::wstring::npos, report.text.find(std::wstring(L" dc_rate_offered      ") + GetParam().detail))
      << Narrow(report.text);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, OfferedRateTest,
    ::testing::Values(
        ModesCase{"Offered",
                  [](FakeLaptop& f) {
                    f.display.listedModes = {{1280, 720, 32, 60}, {1920, 1080, 16, 60}, {1920, 1080, 32, 144},
                                     {1920, 1080, 32, 48}, {1920, 1080, 32, 144}};
                  },
                  "true", "[48, 144]", L"48 Hz is offered at 1920x1080, 32 bits"},
        ModesCase{"OnlyAtAnotherResolutionOrDepth",
                  [](FakeLaptop& f) {
                    f.display.listedModes = {{1280, 720, 32, 48}, {1920, 1080, 16, 48}, {1920, 1080, 32, 1},
                                     {1920, 1080, 32, 144}};
                  },
                  "false", "[144]", L"48 Hz is not offered at 1920x1080, 32 bits (offered: 144 Hz)"},
        // WMI says 59-75, the nominal snap makes 59 into 60, the panel lists
        // 59 Hz (a 59.94 Hz mode) and 75 Hz.
        ModesCase{"SnappedToARateThePanelDoesNotList",
                  [](FakeLaptop& f) {
                    SetIntelRange(f, 59, 75);
                    f.SetPanel({59, 75}, 75);
                  },
                  "false", "[59, 75]", L"60 Hz is not offered at 1920x1080, 32 bits (offered: 59, 75 Hz)"},
        ModesCase{"ModesUnreadable", [](FakeLaptop& f) { f.display.modeReadFails = true; }, "false", "null",
                  L"the modes of adapter 0 cannot be read"},
        ModesCase{"NotExaminedWithoutARange", [](FakeLaptop& f) { SetIntelRange(f, 58, 61); }, "null",
                  "[48, 60, 144]", L"not examined: without a range there is no DC rate to look for"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OfferedRate, ARefusedRateIsTheVerdictAndNotAmongTheFailingWhenNotExamined) {
  {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    SetIntelRange(fake, 59, 75);
    fake.SetPanel({59, 75}, 75);
    Captured out;
    EXPECT_EQ(kConditionFails, RunCheckTool({}, kEnglishUs, out));
    EXPECT_NE(std::wstring::npos, out.text.find(L"Verdict: Would not switch: the panel does not offer 60 Hz at "
                                                L"1920x1080; Windows would refuse the change."))
        << Narrow(out.text);
  }
  FakeLaptop narrow;
  SetUpInstalledLaptop(narrow);
  SetIntelRange(narrow, 58, 61);
  const Examination e = ExamineMachine();
  EXPECT_FALSE(e.Examined(Condition::kDcRateOffered));
  EXPECT_FALSE(e.Fails(Condition::kDcRateOffered));
  EXPECT_TRUE(e.Fails(Condition::kRateRange));
}

// The controller's read (the runtime's fscanf_s) and the tool's, on the
// same bytes. The controller's mark starts as "z" so that a read that
// stores nothing shows.
TEST(StateFileMarks, TheToolFindsTheMarkTheControllersReadStores) {
  const std::string table[] = {" 1\r\n", "12",  "",         "2x",     std::string("\0", 1), "1",
                               "\t\n2 ", "2 1", "   \r\n ", " \xff ", std::string("1\0", 2), "\x1a" "1",
                               "1\x1a" "2"};
  for (const std::string& bytes : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    fake.SetFile("lasttimeACDC.txt", bytes);
    controllerState.acdcMark[0] = 'z';
    controllerState.acdcMark[1] = 0;
    ASSERT_TRUE(ReadStateMarks());
    const char controller[2] = {controllerState.acdcMark[0], controllerState.acdcMark[1]};

    const StateFileSeen seen = LookAtStateFile(StateFile::kAcdc);
    ASSERT_TRUE(seen.read) << "bytes " << Hex(bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]));
    if (seen.empty) {
      EXPECT_EQ('z', controller[0]) << "the tool found no token in \"" << bytes << "\"; the controller stored one";
    } else {
      EXPECT_EQ(controller[0], seen.mark[0]) << "bytes \"" << bytes << "\"";
      EXPECT_EQ(0, seen.mark[1]);
    }
    EXPECT_EQ("", fake.Leaks());
  }
}

// Another user's controller writing a mark while the tool examines. Like
// fopen_s "w" it shares nothing and holds the file through its 10 ms pause;
// a refused open is tried again 20 ms later, 10 attempts in all. The
// tool's own calls take no time between its waits.
class OtherController {
 public:
  OtherController(FakeLaptop& fake, std::string file) : fake_(fake), file_(std::move(file)) {}
  void StartAt(std::uint64_t now) {
    started_ = true;
    next_ = now;
  }
  void RunUntil(std::uint64_t now) {
    while (started_ && !done_) {
      if (holding_) {
        if (releaseAt_ > now) return;
        fake_.files.heldElsewhere.erase(file_);
        fake_.SetFile(file_, "1");
        done_ = true;
        return;
      }
      if (attempts_ == 10 || next_ > now) return;
      ++attempts_;
      const FakeLaptop::Sharing write = {file_, false, true, 0};
      if (fake_.SharingAllows(write)) {
        fake_.files.heldElsewhere[file_] = write;
        holding_ = true;
        releaseAt_ = next_ + 10;
      } else {
        next_ += 20;
      }
    }
  }
  bool done() const { return done_; }
  int attempts() const { return attempts_; }

 private:
  FakeLaptop& fake_;
  std::string file_;
  bool started_ = false, holding_ = false, done_ = false;
  int attempts_ = 0;
  std::uint64_t next_ = 0, releaseAt_ = 0;
};

TEST(StateFileMarks, AControllersWriteAtAnyPointOfTheExaminationSucceeds) {
  std::size_t calls = 0;
  {
    FakeLaptop counting;
    SetUpInstalledLaptop(counting);
    ExamineMachine();
    calls = counting.calls.size();
  }
  ASSERT_GT(calls, 50u);
  for (const char* file : {"lasttimeACDC.txt", "lasttimeDCRefresh.txt"}) {
    for (std::size_t at = 0; at < calls; ++at) {
      FakeLaptop fake;
      SetUpInstalledLaptop(fake);
      fake.SetFile(file, "2");
      OtherController other(fake, file);
      bool heldAcrossAWait = false;
      fake.onCall = [&](const FakeCall& c) {
        // A wait is logged at its end: a write coming at it comes as it begins.
        if (fake.calls.size() - 1 == at) other.StartAt(fake.now - (c.name == "Sleep" ? std::stoull(c.detail) : 0));
        other.RunUntil(fake.now);
        if (c.name == "Sleep" && !fake.files.sharing.empty()) heldAcrossAWait = true;
      };
      const Examination e = ExamineMachine();
      fake.onCall = nullptr;
      other.RunUntil(std::numeric_limits<std::uint64_t>::max());
      ASSERT_TRUE(other.done()) << file << ": the write coming at call " << at << " (" << fake.calls[at].name
                                << ") gave up after " << other.attempts() << " attempts";
      EXPECT_EQ("1", fake.FileContent(file).value_or("absent"));
      EXPECT_FALSE(heldAcrossAWait) << "the tool waited while holding a state file";
      EXPECT_TRUE(e.MarksRead()) << file << ", write at call " << at;
      EXPECT_EQ("", fake.Leaks());
    }
  }
}

TEST(StateFileMarks, WritableComesFromTheFilesSecurityAndAttributes) {
  const struct {
    const char* name;
    void (*set)(FakeLaptop&);
    bool writable;
  } table[] = {
      {"granted", [](FakeLaptop&) {}, true},
      {"denied by its access control list", [](FakeLaptop& f) { f.files.writeDenied.insert("lasttimeACDC.txt"); }, false},
      {"read-only attribute",
       [](FakeLaptop& f) {
         ::SetFileAttributesA((f.files.scratchFolder + "\\lasttimeACDC.txt").c_str(), FILE_ATTRIBUTE_READONLY);
       },
       false},
      // The controller's fopen_s "w" cannot rewrite them (CREATE_ALWAYS).
      {"hidden attribute", [](FakeLaptop& f) { f.files.fileAttributes["lasttimeACDC.txt"] = FILE_ATTRIBUTE_HIDDEN; }, false},
      {"system attribute", [](FakeLaptop& f) { f.files.fileAttributes["lasttimeACDC.txt"] = FILE_ATTRIBUTE_SYSTEM; }, false},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    t.set(fake);
    const StateFileSeen seen = LookAtStateFile(StateFile::kAcdc);
    EXPECT_EQ(t.writable, seen.writable) << t.name;
    EXPECT_TRUE(seen.read) << t.name;
    EXPECT_EQ(0u, fake.Count("fopen_s")) << t.name;
    EXPECT_EQ("", fake.Leaks()) << t.name;
    ::SetFileAttributesA((fake.files.scratchFolder + "\\lasttimeACDC.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(StateFileMarks, AHiddenOrSystemFileIsNamedWithWhatWindowsDoesAndHowToClearIt) {
  const struct {
    DWORD attributes;
    const wchar_t* line;
  } table[] = {
      {FILE_ATTRIBUTE_HIDDEN, L"lasttimeDCRefresh.txt: holds \"2\", hidden: Windows refuses to rewrite it"},
      {FILE_ATTRIBUTE_SYSTEM, L"lasttimeDCRefresh.txt: holds \"2\", system: Windows refuses to rewrite it"},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
       L"lasttimeDCRefresh.txt: holds \"2\", hidden, system: Windows refuses to rewrite it"},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    fake.files.fileAttributes["lasttimeDCRefresh.txt"] = t.attributes;
    const std::wstring report = FormatReport(ExamineMachine(), Language::kEnglish);
    EXPECT_NE(std::wstring::npos, report.find(t.line)) << Narrow(report);
    EXPECT_NE(std::wstring::npos, report.find(L"[FAIL] state_files")) << Narrow(report);
    EXPECT_NE(std::wstring::npos, report.find(L"attrib -h -s \"C:\\Program Files (x86)\\Kelvane\\Lumarest\\lasttime*.txt\""))
        << Narrow(report);
  }
}

TEST(CheckJson, SchemaTwoSaysWhatEachConditionIsAboutAndWhatTheLaptopCanDo) {
  const struct {
    const char* name;
    void (*set)(FakeLaptop&);
    bool qualifies, capable, installed;
  } table[] = {
      {"all holds", [](FakeLaptop&) {}, true, true, true},
      {"docked", [](FakeLaptop& f) { f.display.adapters.push_back({L"DisplayLink USB Device", {3}}); }, false, true, true},
      {"no sign-in entry", [](FakeLaptop& f) { f.Key(kRunKey).values.clear(); }, true, true, false},
      {"driver forbids",
       [](FakeLaptop& f) { f.SetDword(kDisplayAdapterClassKey + L"\\0001", L"DCUserPreferencePolicy", 0x50); }, false,
       false, true},
  };
  const std::pair<const char*, const char*> kinds[] = {
      {"rate_range", "capability"},   {"dc_rate_offered", "capability"}, {"panel_active", "moment"},
      {"no_external_display", "moment"}, {"power_scheme", "moment"},      {"driver_policy", "capability"},
      {"state_files", "installation"}};
  const auto b = [](bool v) { return std::string(v ? "true" : "false"); };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    t.set(fake);
    Captured out;
    RunCheckTool({L"--json"}, kEnglishUs, out);
    EXPECT_EQ(0u, out.bytes.find("{\n  \"schema\": 2,\n")) << out.bytes;
    EXPECT_NE(std::string::npos, out.bytes.find("\"qualifies\": " + b(t.qualifies) + ",\n  \"capable\": " +
                                                b(t.capable) + ",\n  \"installed\": " + b(t.installed) + ",\n"))
        << t.name << "\n" << out.bytes;
    for (const auto& [name, kind] : kinds)
      EXPECT_NE(std::string::npos,
                out.bytes.find(std::string("{\"name\": \"") + name + "\", \"kind\": \"" + kind + "\", \"ok\": "))
          << name;
  }
}

TEST(CheckVerdict, BeforeInstallingItAnswersWhetherThisLaptopCanBeSwitched) {
  const struct {
    void (*set)(FakeLaptop&);
    const wchar_t* verdict;
  } table[] = {
      {[](FakeLaptop&) {},
       L"Verdict: Lumarest is not installed here. This laptop can be switched to 48 Hz on battery; install "
       L"Lumarest to have it done."},
      {[](FakeLaptop& f) { SetIntelRange(f, 60, 60); },
       L"Verdict: Lumarest is not installed here. This laptop cannot be switched: Windows reports no range of "
       L"refresh rates for the panel."},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpIrisLaptop(fake, {"1", "2", 0, 144, false}, "findings");
    fake.RemoveFile("lasttimeACDC.txt");
    fake.RemoveFile("lasttimeDCRefresh.txt");
    t.set(fake);
    Captured out;
    EXPECT_EQ(kConditionFails, RunCheckTool({}, kEnglishUs, out));
    EXPECT_NE(std::wstring::npos, out.text.find(t.verdict)) << Narrow(out.text);
  }
}

TEST(CheckConsole, WaitsForAKeyOnlyInAConsoleWindowOfItsOwn) {
  const struct {
    std::vector<std::wstring> args;
    bool ownsConsole;
    int waits;
    const wchar_t* last;
  } table[] = {
      {{}, true, 1, L"\nPress any key to close.\n"},
      {{L"--lang", L"zh-TW"}, true, 1, L"\n按任意鍵關閉。\n"},
      {{}, false, 0, L""},
      {{L"--json"}, true, 0, L""},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    Captured out;
    out.ownsConsole = t.ownsConsole;
    RunCheckTool(t.args, kEnglishUs, out);
    EXPECT_EQ(t.waits, out.waits);
    const std::wstring last = t.last;
    if (last.empty()) {
      EXPECT_EQ(std::wstring::npos, out.text.find(L"Press any key")) << Narrow(out.text);
    } else {
      ASSERT_GE(out.text.size(), last.size());
      EXPECT_EQ(last, out.text.substr(out.text.size() - last.size()));
    }
  }
}

// Every call of the examination that can fail, failed in turn: the tool
// answers (a report, or exit code 2 when a string cannot be made) and gives
// back every key, file handle, token, COM object and string.
TEST(CheckFaults, EveryFailureLeavesNothingHeld) {
  int failable = 0;
  {
    FakeLaptop counting;
    SetUpInstalledLaptop(counting);
    ExamineMachine();
    failable = counting.failableCalls;
  }
  ASSERT_GT(failable, 20);
  for (int k = 1; k <= failable; ++k) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    fake.failAt = k;
    Captured out;
    const int code = RunCheckTool({L"--json"}, kEnglishUs, out);
    EXPECT_TRUE(fake.injectedFailure) << "call " << k;
    EXPECT_TRUE(code == kQualifies || code == kConditionFails || code == kUsageOrNoMemory) << code;
    EXPECT_EQ(code == kUsageOrNoMemory, out.bytes.empty()) << "call " << k << " (" << fake.failableLog[k - 1] << ")";
    EXPECT_EQ("", fake.Leaks()) << "call " << k << " (" << fake.failableLog[k - 1] << ") failed";
    EXPECT_EQ("1", fake.FileContent("lasttimeACDC.txt").value_or("absent"));
  }
}

}  // namespace

namespace {

// Windows 11's Dynamic refresh rate: a fact beside the current rate, said
// only where Windows says it is on; null in the JSON where Windows does not
// know the question (Windows 10 refuses QDC_VIRTUAL_REFRESH_RATE_AWARE).
TEST(CheckDynamicRefresh, SaidWhereOnNullWhereWindowsDoesNotKnow) {
  const struct {
    const char* name;
    bool aware, dynamic;
    DWORD physical;
    const char* json;
    const wchar_t* line;  // the report's line, or none
  } table[] = {
      {"the flag refused", false, false, 0, "\"dynamic\": null, \"physical\": null", nullptr},
      {"off", true, false, 0, "\"dynamic\": false, \"physical\": 144", nullptr},
      {"on", true, true, 144, "\"dynamic\": true, \"physical\": 144",
       L"Dynamic rate    on: Windows reports 60 Hz to programs while the panel runs up to 144 Hz when there is "
       L"motion (Settings shows \"Dynamic (144 Hz)\"). The controller sees 60 Hz, as any program does, and on "
       L"battery asks Windows for the DC rate, 48 Hz.\n"},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    fake.display.mode.rate = t.dynamic ? 60 : 144;
    fake.display.virtualRefreshRateAware = t.aware;
    fake.display.dynamicRefresh = t.dynamic;
    fake.display.physicalRate = t.physical;
    const Examination e = ExamineMachine();
    const std::string json = FormatJson(e, Language::kEnglish);
    EXPECT_NE(std::string::npos, json.find(t.json)) << t.name << "\n" << json;
    const std::wstring report = FormatReport(e, Language::kEnglish);
    EXPECT_EQ(t.line != nullptr, report.find(L"Dynamic rate") != std::wstring::npos) << t.name;
    if (t.line) {
      EXPECT_NE(std::wstring::npos, report.find(t.line)) << Narrow(report);
    }
    EXPECT_EQ(t.aware, e.dynamicRefresh.known) << t.name;
    EXPECT_TRUE(e.Qualifies()) << t.name << ": a fact, not a condition";
    EXPECT_EQ("", fake.Leaks()) << t.name;
  }
}

// Before installing nothing is wrong with state files that do not exist
// yet: not examined, and no "reinstall". Half an installation is examined.
TEST(CheckStateFiles, NotExaminedBeforeInstallingExaminedWhenHalfInstalled) {
  const struct {
    const char* name;
    void (*set)(FakeLaptop&);
    const char* ok;
    bool reinstall;
  } table[] = {
      {"not installed",
       [](FakeLaptop& f) {
         f.RemoveFile("lasttimeACDC.txt");
         f.RemoveFile("lasttimeDCRefresh.txt");
         f.Key(kRunKey).values.clear();
       },
       "null", false},
      {"the sign-in entry alone",
       [](FakeLaptop& f) {
         f.RemoveFile("lasttimeACDC.txt");
         f.RemoveFile("lasttimeDCRefresh.txt");
       },
       "false", true},
  };
  for (const auto& t : table) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    t.set(fake);
    Captured out;
    EXPECT_EQ(1, RunCheckTool({}, kEnglishUs, out)) << t.name;
    EXPECT_EQ(t.reinstall, out.text.find(L"reinstall Lumarest") != std::wstring::npos) << t.name << Narrow(out.text);
    Captured json;
    RunCheckTool({L"--json"}, kEnglishUs, json);
    EXPECT_NE(std::string::npos, json.bytes.find(std::string("{\"name\": \"state_files\", \"kind\": \"installation\", "
                                                             "\"ok\": ") + t.ok))
        << t.name << json.bytes;
  }
}

// The active plan by the name Power Options shows, beside its GUID; the GUID
// alone where Windows gives no name.
TEST(CheckPowerPlan, NamedWhereWindowsNamesIt) {
  for (bool named : {true, false}) {
    FakeLaptop fake;
    SetUpInstalledLaptop(fake);
    if (named) fake.registry.powerPlanNames[L"381b4222-f694-41f0-9685-ff5bb260df2e"] = L"Balanced";
    const std::wstring report = FormatReport(ExamineMachine(), Language::kEnglish);
    EXPECT_NE(std::wstring::npos,
              report.find(named ? L"active scheme \"Balanced\" (\"381b4222-f694-41f0-9685-ff5bb260df2e\")\n"
                                : L"active scheme \"381b4222-f694-41f0-9685-ff5bb260df2e\"\n"))
        << Narrow(report);
    EXPECT_EQ("", fake.Leaks());
  }
}

}  // namespace
