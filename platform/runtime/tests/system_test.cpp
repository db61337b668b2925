#include <gtest/gtest.h>

#include "velmora/runtime/system.h"

using namespace rt;

TEST(RuntimeSystem, ExitProcsRunOnceInReverseOrder) {
  std::vector<int> ran;
  AddExitProc([&] { ran.push_back(1); });
  AddExitProc([&] {
    ran.push_back(2);
    AddExitProc([&] { ran.push_back(3); });  // added while they run: runs too
  });
  RunExitProcs();
  RunExitProcs();
  EXPECT_EQ(ran, (std::vector<int>{2, 3, 1}));
}

TEST(RuntimeSystem, StopAsksAndHaltsOnYes) {
  std::vector<std::string> asked;
  std::vector<int> halted;
  bool answer = false;
  SetStopHandler([&](std::string_view text) { asked.emplace_back(text); return answer; });
  SetHaltHandler([&](int code, std::string_view) { halted.push_back(code); });
  Stop("RV3: keep going?");
  EXPECT_TRUE(halted.empty());
  answer = true;
  Stop("RV3: end?");
  EXPECT_EQ(asked, (std::vector<std::string>{"RV3: keep going?", "RV3: end?"}));
  EXPECT_EQ(halted, (std::vector<int>{0}));
  Halt(3, "bye");
  EXPECT_EQ(halted, (std::vector<int>{0, 3}));
  SetStopHandler(nullptr);
  SetHaltHandler(nullptr);
  Stop("default handler continues");  // reaching the next line is the test
}

TEST(RuntimeSystem, MessageBoxHandler) {
  std::string seenText;
  int seenButtons = 0, seenDefault = 0;
  SetMessageHandler([&](std::string_view text, std::string_view caption, std::string_view icon,
                        int buttons, int def) {
    seenText = std::string(text) + "/" + std::string(caption) + "/" + std::string(icon);
    seenButtons = buttons;
    seenDefault = def;
    return kButtonNo;
  });
  EXPECT_EQ(Message("line one|line two", "INFO", kIconQuestion, kButtonYes | kButtonNo, kButtonYes),
            kButtonNo);
  EXPECT_EQ(seenText, "line one\nline two/INFO/ICON:Question");
  EXPECT_EQ(seenButtons, kButtonYes | kButtonNo);
  EXPECT_EQ(seenDefault, kButtonYes);
  Message("x", "", kIconNone, kButtonYes | kButtonNo, kButtonCancel);  // not offered
  EXPECT_EQ(seenDefault, kButtonYes);
  Message("x", "", kIconNone, 0, 0);
  EXPECT_EQ(seenButtons, kButtonOk);
  SetMessageHandler(nullptr);
  EXPECT_EQ(Message("default", "Cap", kIconNone, kButtonOk | kButtonCancel, kButtonCancel), kButtonCancel);
}

TEST(RuntimeSystem, DebugOutputGoesToTheSink) {
  std::vector<std::string> lines;
  SetDebugSink([&](std::string_view text) { lines.emplace_back(text); });
  OutputDebugString("[RV3] one");
  OutputDebugString("two");
  SetDebugSink(nullptr);
  OutputDebugString("nowhere");
  EXPECT_EQ(lines, (std::vector<std::string>{"[RV3] one", "two"}));
}
