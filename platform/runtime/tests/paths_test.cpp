#include <gtest/gtest.h>

#include "velmora/runtime/paths.h"

namespace {

TEST(RuntimePaths, WindowsFormAndHostFormTurnIntoEachOther) {
  struct Case {
    const char* windows;
    const char* host;
  };
  const Case cases[] = {
      {".\\data\\forms.tps", "data/forms.tps"},
      {"\\tmp\\velmora\\", "/tmp/velmora/"},
      {"FILLEDFO.TPS   ", "FILLEDFO.TPS"},
      {"\\home\\r\xE9sum\xE9.pdf", "/home/r\xC3\xA9sum\xC3\xA9.pdf"},  // Windows-1252 e-acute
      {"/already/host", "/already/host"},
  };
  for (const Case& c : cases) EXPECT_EQ(rt::HostPath(c.windows), c.host) << c.windows;
  EXPECT_EQ(rt::WindowsPath("/home/r\xC3\xA9sum\xC3\xA9.pdf"), "\\home\\r\xE9sum\xE9.pdf");
  EXPECT_EQ(rt::HostPath(rt::WindowsPath("/tmp/a b/c.gif")), "/tmp/a b/c.gif");
  // as a person reads it: host separators, the text's own bytes
  EXPECT_EQ(rt::ShownPath("\\home\\r\xE9sum\xE9.pdf"), "/home/r\xE9sum\xE9.pdf");
}

}  // namespace
