// Switches, trace flags, the trace writer and the message mechanism.
#include <fstream>

#include "engine_fixture.h"

namespace {

using enginetest::Engine;
using upg::Flag;

class EngineSettings : public Engine {};

TEST_F(EngineSettings, SwitchesSetTheirFlagsWithTheirCaseAsWritten) {
  struct Case {
    std::vector<std::string> args;
    std::string flags;  // the flags that are on, by letter
  };
  const Case cases[] = {
      {{}, ""},
      {{"/debugrvgpf"}, "ADE"},
      {{"/debugrv"}, "AB"},
      {{"/debugrvall"}, "ABC"},
      {{"/debugrvfull"}, "ABCDEF"},
      {{"/silentupgrading"}, "S"},
      {{"/debugrv", "/silentupgrading"}, "ABS"},
      {{"/DEBUGRV"}, ""},           // another switch
      {{"/debugrv2f"}, ""},         // not a trace switch
      {{"/debugrvfull=x"}, "ABCDEF"},
  };
  for (const Case& c : cases) {
    upg::ResetSettings();
    CommandLine(c.args);
    upg::ReadSwitches();
    std::string on;
    for (char letter : std::string("ABCDEFS")) {
      Flag f = letter == 'S' ? Flag::S : static_cast<Flag>(letter - 'A');
      if (upg::FlagOn(f)) on += letter;
    }
    EXPECT_EQ(on, c.flags) << (c.args.empty() ? "(none)" : c.args[0]);
  }
  CommandLine({"/DOWNGRADE"});
  EXPECT_TRUE(upg::EngineSwitch("/DOWNGRADE"));
  EXPECT_FALSE(upg::EngineSwitch("/downgrade"));
  CommandLine({"/downgrade"});
  EXPECT_FALSE(upg::EngineSwitch("/DOWNGRADE"));
  EXPECT_TRUE(upg::EngineSwitch("/downgrade"));
}

TEST_F(EngineSettings, EachFlagTracesOnlyUnderItsSwitches) {
  auto emit = [] {
    for (char letter : std::string("ABCDEF"))
      upg::Trace(static_cast<Flag>(letter - 'A'), std::string("flag ") + letter);
  };
  CommandLine({"/debugrvgpf"});
  upg::ReadSwitches();
  emit();
  EXPECT_EQ(Traced(), (std::vector<std::string>{"RV3 version: 3.59 Beta",
                                                "RV3 debugging level: /debugrvgpf Linux 0",
                                                "flag A", "flag D", "flag E"}));
  traces_.clear();
  upg::ResetSettings();
  CommandLine({});
  upg::ReadSwitches();
  emit();
  EXPECT_TRUE(traces_.empty());
}

TEST_F(EngineSettings, TraceLinesAreCutTo29999Characters) {
  upg::WriteTrace(std::string(40000, 'x') + "tail");
  upg::WriteTrace("short   ");
  ASSERT_EQ(traces_.size(), 2u);
  EXPECT_EQ(traces_[0].size(), 29999u);
  EXPECT_EQ(traces_[0].substr(0, 7), "[RV3] x");
  EXPECT_EQ(traces_[1], "[RV3] short");  // clipped
}

TEST_F(EngineSettings, TranslatedMessageInTheBoxDefaultInTheTrace) {
  CommandLine({"/debugrv"});
  upg::ReadSwitches();
  {
    std::ofstream ini(dir_ / "prog" / "RV3.Ini");
    ini << "[Message]\nM13=Memo-Datei fehlt\n";
  }
  upg::StopMessage(upg::kM13, " File : old.tps");  // before the INI name is set
  upg::SetTranslationIni("");
  upg::StopMessage(upg::kM13, " File : old.tps");
  upg::StopMessage(upg::kM19, " Name : x.tps");  // no translation: the default
  EXPECT_EQ(stops_, (std::vector<std::string>{
                        "RV3: MEM file missing File : old.tps",
                        "RV3: Memo-Datei fehlt File : old.tps",
                        "RV3: File Corrupt. Restart program to invoke AutoFix. Name : x.tps"}));
  EXPECT_TRUE(Traced("RV3: MEM file missing File : old.tps"));
  EXPECT_FALSE(Traced("Memo-Datei"));
  EXPECT_TRUE(Traced("Ini file name (for translating) set to "));
}

TEST_F(EngineSettings, ProfileReportOnlyWithItsSwitch) {
  upg::Profiler().usingFileCalls = 8;
  upg::ProfileReport(1);
  EXPECT_TRUE(traces_.empty());
  CommandLine({"/Profile"});
  upg::ProfileReport(1);
  upg::ProfileReport(2);
  EXPECT_EQ(Traced(), (std::vector<std::string>{
                          "Profile of ds_UsingFile : 8 0 0 0 0 0 0 0 0 0 0 0 :: 0",
                          "Profile of generatescripts :  :: 0 0 0 0 0 0 0 0 0 0 0 0 0"}));
}

}  // namespace
