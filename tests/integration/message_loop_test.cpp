// The real window, window procedure and message loop under Wine and X, with
// the fake laptop only where the hardware is missing: events reach the
// controller through its own message loop, as on a laptop.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "sim/scenario.h"
#include "sim/simulation.h"
#include "tests/under_wine.h"

namespace {

std::vector<Statement> Parse(const std::string& text) {
  std::vector<Statement> statements;
  std::string error;
  EXPECT_TRUE(ParseScenario(text, &statements, &error)) << error;
  return statements;
}

const char kLaptop[] =
    "video-controller \"Intel(R) Iris(R) Xe Graphics\" min=47 max=144\n"
    "panel rates=48,60,144 current=144\n"
    "driver \"Intel Corporation\" policy=0\n"
    "file lasttimeACDC.txt \"1\"\n"
    "file lasttimeDCRefresh.txt \"2\"\n";

// The calls of the log from `first` on, restricted to those that tell the
// story of an event, with their details.
std::vector<std::string> Story(const FakeLaptop& fake, std::size_t first, std::size_t last) {
  static const char* kept[] = {"GetSystemPowerStatus", "RegQueryValueExW", "RegEnumKeyExW", "fopen_s",
                               "fprintf", "ChangeDisplaySettingsW", "Sleep"};
  std::vector<std::string> story;
  for (std::size_t i = first; i < last && i < fake.calls.size(); ++i)
    for (const char* k : kept)
      if (fake.calls[i].name == k) story.push_back(fake.calls[i].name + " " + fake.calls[i].detail);
  return story;
}

TEST(MessageLoop, TheRoadOfATypicalEvent) {
  SKIP_UNLESS_UNDER_WINE("shows the controller's real window on this machine's desktop");
  std::ostringstream timeline;
  Simulation sim(Parse(std::string(kLaptop) + "power ac\nstart\nunplug\nexit\n"), timeline);
  ASSERT_EQ(0, sim.Run()) << timeline.str();
  ASSERT_EQ(2u, sim.eventStarts().size());
  const std::vector<std::string> expected = {
      // The external-display probe: one adapter, one monitor.
      "Sleep 10", "Sleep 10",
      "GetSystemPowerStatus ",
      // The decision: scheme, driver, pause, both files, the long wait.
      "RegQueryValueExW ActivePowerScheme size=260", "RegEnumKeyExW #0 length=260", "Sleep 100",
      "fopen_s lasttimeACDC.txt r", "Sleep 100", "fopen_s lasttimeDCRefresh.txt r", "Sleep 100",
      "Sleep 2000",
      "ChangeDisplaySettingsW 1920x1080x32@48 flags=0",
      // The WM_DISPLAYCHANGE the switch causes, handled inside it.
      "Sleep 10", "Sleep 10", "GetSystemPowerStatus ", "fopen_s lasttimeDCRefresh.txt w", "Sleep 10",
      "fprintf 1",
      // Back in the switcher, then battery recorded.
      "Sleep 1000", "fopen_s lasttimeACDC.txt w", "Sleep 10", "fprintf 2"};
  EXPECT_EQ(expected, Story(sim.laptop(), sim.eventStarts()[0], sim.eventStarts()[1]));
  EXPECT_EQ(48u, sim.laptop().display.mode.rate);
  EXPECT_EQ("", sim.laptop().Leaks());
}

TEST(MessageLoop, AMessageSentDuringStartUpIsHandledOnlyAfterIt) {
  SKIP_UNLESS_UNDER_WINE("shows the controller's real window on this machine's desktop");
  const std::string scenario = std::string(kLaptop) + "power ac\nstart\nexit\n";
  std::ostringstream timeline;
  std::vector<std::string> quiet;
  {
    Simulation sim(Parse(scenario), timeline);
    ASSERT_EQ(0, sim.Run());
    quiet = sim.laptop().Names();
  }
  Simulation sim(Parse(scenario), timeline);
  bool posted = false;
  sim.laptop().onCall = [&](const FakeCall& c) {
    // During the start-up's one-second wait, a display change arrives.
    if (!posted && c.name == "Sleep" && c.detail == "1000") {
      posted = PostMessageW(sim.window(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080)) != 0;
    }
  };
  ASSERT_EQ(0, sim.Run());
  ASSERT_TRUE(posted);
  const std::vector<std::string> busy = sim.laptop().Names();
  ASSERT_GT(busy.size(), quiet.size());
  // The start-up ran exactly as without the message...
  std::size_t reconciled = 0;
  for (std::size_t i = 0; i < quiet.size(); ++i)
    if (quiet[i] == "fclose") reconciled = i + 1;  // the last write of the start-up
  ASSERT_GT(reconciled, 0u);
  EXPECT_EQ(std::vector<std::string>(quiet.begin(), quiet.begin() + reconciled),
            std::vector<std::string>(busy.begin(), busy.begin() + reconciled));
  // ...and the display change was handled after it: one more power reading.
  EXPECT_EQ(std::count(quiet.begin(), quiet.end(), "GetSystemPowerStatus") + 1,
            std::count(busy.begin(), busy.end(), "GetSystemPowerStatus"));
}

TEST(MessageLoop, ADisplayThatWasExternalAtStartUpIsRediscoveredOnEveryEventWhileAway) {
  SKIP_UNLESS_UNDER_WINE("shows the controller's real window on this machine's desktop");
  std::ostringstream timeline;
  Simulation sim(Parse(std::string(kLaptop) +
                       "adapter \"Intel(R) Iris(R) Xe Graphics\" monitor=3\n"
                       "adapter \"NVIDIA GeForce RTX 3050\" monitor=3\n"
                       "start\nplug\ndetach\nunplug\nlock\nunlock\nplug\n"),
                 timeline);
  ASSERT_EQ(0, sim.Run()) << timeline.str();
  const FakeLaptop& fake = sim.laptop();
  const std::vector<std::size_t>& starts = sim.eventStarts();
  auto queries = [&](std::size_t event) {
    const std::size_t end = event + 1 < starts.size() ? starts[event + 1] : fake.calls.size();
    std::size_t n = 0;
    for (std::size_t i = starts[event]; i < end; ++i) n += fake.calls[i].name == "ExecQuery";
    return n;
  };
  EXPECT_EQ(0u, queries(0)) << "plug, the display still attached";
  // detach, unplug (and its own switch's display change), unlock, plug.
  EXPECT_EQ(1u, queries(1));
  EXPECT_EQ(2u, queries(2));
  EXPECT_EQ(0u, queries(3)) << "a lock does nothing else";
  EXPECT_EQ(1u, queries(4));
  EXPECT_EQ(1u, queries(5));
}

}  // namespace
