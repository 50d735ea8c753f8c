// The state files on the fake laptop's install folder (real files through
// the real C runtime): contents, pauses, the bounded retry with the shared
// counter, and no file left empty or open on any path.
#include <gtest/gtest.h>

#include <cstring>

#include "app/controller_state.h"
#include "fake/fake_laptop.h"
#include "policy/state_files.h"

namespace {

const char kAcdc[] = "lasttimeACDC.txt";
const char kDcRefresh[] = "lasttimeDCRefresh.txt";

class StateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controllerState = {};
    controllerState.dcRate = 48;
    fake.files.scratchFolder = MakeScratchFolder("state");
  }
  void TearDown() override { EXPECT_EQ("", fake.Leaks()); }
  std::string Content(const char* name) { return fake.FileContent(name).value_or("(absent)"); }
  FakeLaptop fake{FakeLaptop::kHardware};
};

TEST_F(StateFilesTest, WriteStateMarkWritesOneByteAfterThePause) {
  fake.SetFile(kAcdc, "2\r\n");
  WriteStateMark(StateFile::kAcdc, "1", 100);
  EXPECT_EQ("1", Content(kAcdc));
  EXPECT_EQ((std::vector<DWORD>{100}), fake.Sleeps());
  WriteStateMark(StateFile::kDcRefresh, "2", 10);
  EXPECT_EQ("2", Content(kDcRefresh)) << "a missing file is created by the write";
  const std::vector<std::string> names = fake.Names();
  EXPECT_EQ((std::vector<std::string>{"fopen_s", "Sleep", "fprintf", "fclose"}),
            std::vector<std::string>(names.end() - 4, names.end()));
}

TEST_F(StateFilesTest, AWriteThatNeverOpensGivesUpAfterTenAttemptsTwentyMillisecondsApart) {
  fake.SetFile(kAcdc, "1");
  fake.files.folderReadOnly = true;
  controllerState.retryCount = 5;  // whatever an earlier loop left
  WriteStateMark(StateFile::kAcdc, "2", 10);
  EXPECT_EQ(10u, fake.Count("fopen_s"));
  EXPECT_EQ(std::vector<DWORD>(20, 10), fake.Sleeps());
  EXPECT_EQ(10, controllerState.retryCount);
  EXPECT_EQ("1", Content(kAcdc));
}

TEST_F(StateFilesTest, AHiddenOrSystemFileRefusesTheRewriteWhileAMissingOneIsCreated) {
  // fopen_s "w" is CREATE_ALWAYS, refused by Windows on an existing hidden
  // or system file: every attempt fails and the old mark stays.
  for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
    fake.SetFile(kAcdc, "1");
    fake.files.fileAttributes[kAcdc] = attributes;
    const std::size_t before = fake.Count("fopen_s");
    WriteStateMark(StateFile::kAcdc, "2", 10);
    EXPECT_EQ(10u, fake.Count("fopen_s") - before) << attributes;
    EXPECT_EQ("1", Content(kAcdc)) << attributes;
    // The same name, once the file is gone, is simply created.
    fake.RemoveFile(kAcdc);
    WriteStateMark(StateFile::kAcdc, "2", 10);
    EXPECT_EQ("2", Content(kAcdc)) << attributes;
  }
}

TEST_F(StateFilesTest, AFileHeldForAWhileIsWrittenOnALaterAttempt) {
  fake.SetFile(kAcdc, "1");
  fake.files.lockedUntil[kAcdc] = 100;
  WriteStateMark(StateFile::kAcdc, "2", 10);
  EXPECT_EQ("2", Content(kAcdc));
  EXPECT_EQ(6u, fake.Count("fopen_s")) << "attempts at 0, 20, 40, 60, 80 and 100 ms";
  EXPECT_EQ(110u, fake.now);
}

TEST_F(StateFilesTest, AMarkThatDidNotReachTheDiskIsWrittenAgain) {
  for (const char* failing : {"fprintf", "fclose"}) {
    SCOPED_TRACE(failing);
    fake.SetFile(kAcdc, "1");
    fake.calls.clear();
    fake.failableCalls = 0;
    fake.failableLog.clear();
    fake.failAt = std::string(failing) == "fprintf" ? 2 : 3;  // after fopen_s
    WriteStateMark(StateFile::kAcdc, "2", 10);
    EXPECT_TRUE(fake.injectedFailure);
    EXPECT_EQ("2", Content(kAcdc)) << "an emptied file would be lost memory";
    EXPECT_EQ(2u, fake.Count("fopen_s"));
    fake.injectedFailure = false;
  }
}

TEST_F(StateFilesTest, BothMarksOfWriteAcMarksAreWrittenAgainAfterAFailedClose) {
  fake.SetFile(kAcdc, "2");
  fake.SetFile(kDcRefresh, "2");
  fake.failAt = 4;  // fopen_s, fopen_s, fprintf, then this: the second fprintf
  WriteAcMarks();
  EXPECT_TRUE(fake.injectedFailure);
  EXPECT_EQ("1", Content(kAcdc));
  EXPECT_EQ("1", Content(kDcRefresh));
  EXPECT_EQ(4u, fake.Count("fopen_s"));
}

struct CreateCase {
  const char* name;
  bool rateKnown;
  DWORD rate;
  const char* refreshMark;
};

class CreateStateFilesTest : public StateFilesTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateStateFilesTest, CreatesBothWhenNeitherExists) {
  CreateStateFiles(GetParam().rateKnown, GetParam().rate);
  EXPECT_EQ("2", Content(kAcdc));
  EXPECT_EQ(GetParam().refreshMark, Content(kDcRefresh));
  EXPECT_EQ((std::vector<DWORD>{2, 10}), fake.Sleeps());
}

INSTANTIATE_TEST_SUITE_P(Rates, CreateStateFilesTest,
                         ::testing::Values(CreateCase{"AtTheDcRate", true, 48, "1"},
                                           CreateCase{"AtAnotherRate", true, 60, "2"},
                                           CreateCase{"RateUnknown", false, 48, "2"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StateFilesTest, CreateStateFilesDoesNothingWhenOneExists) {
  for (const char* present : {kAcdc, kDcRefresh}) {
    fake.RemoveFile(kAcdc);
    fake.RemoveFile(kDcRefresh);
    fake.SetFile(present, "1");
    CreateStateFiles(true, 48);
    EXPECT_EQ("1", Content(present));
    EXPECT_EQ("(absent)", Content(present == kAcdc ? kDcRefresh : kAcdc));
  }
  EXPECT_EQ(0u, fake.Count("fopen_s"));
}

TEST_F(StateFilesTest, CreateStateFilesNeverLeavesTheFileThatOpenedEmpty) {
  fake.files.lockedUntil[kDcRefresh] = 1000000;
  CreateStateFiles(true, 48);
  EXPECT_EQ("2", Content(kAcdc)) << "it was opened (and emptied) for its mark";
  EXPECT_EQ("(absent)", Content(kDcRefresh));
  EXPECT_EQ(20u, fake.Count("fopen_s")) << "10 attempts, while either open fails";
  EXPECT_EQ(10 * (2u + 10u), fake.now) << "one 10 ms wait per failed attempt";
}

TEST_F(StateFilesTest, WriteAcMarksWritesOneIntoBoth) {
  WriteAcMarks();
  EXPECT_EQ("1", Content(kAcdc));
  EXPECT_EQ("1", Content(kDcRefresh));
  EXPECT_EQ((std::vector<DWORD>{10, 10, 10}), fake.Sleeps());
}

TEST_F(StateFilesTest, WriteAcMarksWithTheSecondFileHeldStillRecordsMains) {
  fake.SetFile(kAcdc, "2");
  fake.SetFile(kDcRefresh, "2");
  fake.files.lockedUntil[kDcRefresh] = 1000000;
  WriteAcMarks();
  EXPECT_EQ("1", Content(kAcdc)) << "opened, so never closed empty";
  EXPECT_EQ("2", Content(kDcRefresh));
  EXPECT_EQ(2u, fake.Count("fopen_s")) << "no retry once lasttimeACDC.txt opened";
}

TEST_F(StateFilesTest, WriteAcMarksRetriesOnTheFirstFileAlone) {
  fake.SetFile(kAcdc, "2");
  fake.SetFile(kDcRefresh, "2");
  fake.files.lockedUntil[kAcdc] = 1000000;
  WriteAcMarks();
  EXPECT_EQ("2", Content(kAcdc));
  EXPECT_EQ("1", Content(kDcRefresh)) << "opened on every attempt, so given its mark";
  EXPECT_EQ(20u, fake.Count("fopen_s"));
  EXPECT_EQ(10 * 30u, fake.now);
  EXPECT_EQ(10, controllerState.retryCount);
}

struct ReadCase {
  const char* name;
  std::string content;
  std::string mark;
};

class ReadMarkTest : public StateFilesTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadMarkTest, TheFirstTokenFillsTheMarkOnlyWhenItFits) {
  std::strcpy(controllerState.acdcMark, "2");
  fake.SetFile(kAcdc, GetParam().content);
  fake.SetFile(kDcRefresh, "1");
  ASSERT_TRUE(ReadStateMarks());
  EXPECT_EQ(GetParam().mark, std::string(controllerState.acdcMark));
  EXPECT_EQ(0, controllerState.acdcMark[1]) << "the mark stays terminated";
  EXPECT_STREQ("1", controllerState.dcRefreshMark);
  EXPECT_EQ((std::vector<DWORD>{100, 100}), fake.Sleeps());
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ReadMarkTest,
    ::testing::Values(ReadCase{"One", "1", "1"}, ReadCase{"Two", "2", "2"},
                      ReadCase{"LeadingBlankAndLineEnd", " 1\r\n", "1"},
                      ReadCase{"FirstTokenOnly", "1 2", "1"},
                      ReadCase{"LongTokenReadsAsNeither", "12", ""},
                      ReadCase{"LongWordReadsAsNeither", "mains", ""},
                      ReadCase{"BinaryJunk", std::string("\x01\x7f\xfe\xff", 4), ""},
                      ReadCase{"OneOtherByte", "\x05", "\x05"},
                      ReadCase{"EmptyKeepsTheEarlierMark", "", "2"},
                      ReadCase{"OnlyBlanksKeepTheEarlierMark", " \r\n\t", "2"},
                      ReadCase{"OneMebibyteToken", std::string(1 << 20, 'x'), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StateFilesTest, AReadWithOneFileMissingFailsAndLeavesBothMarks) {
  std::strcpy(controllerState.acdcMark, "2");
  std::strcpy(controllerState.dcRefreshMark, "2");
  fake.SetFile(kAcdc, "1");
  EXPECT_FALSE(ReadStateMarks());
  EXPECT_STREQ("2", controllerState.acdcMark);
  EXPECT_STREQ("2", controllerState.dcRefreshMark);
  EXPECT_EQ(0u, fake.Count("fscanf_s"));
  EXPECT_EQ(1u, fake.Count("fclose")) << "the file that opened is closed";
}

TEST_F(StateFilesTest, ReadsAreNotRetried) {
  fake.SetFile(kAcdc, "1");
  fake.SetFile(kDcRefresh, "1");
  fake.files.lockedUntil[kDcRefresh] = 150;  // the second open comes at 100 ms
  EXPECT_FALSE(ReadStateMarks());
  EXPECT_EQ(2u, fake.Count("fopen_s"));
}

}  // namespace
