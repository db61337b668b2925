// Splits a data file's name into drive, directory, name and extension,
// and finds the file that holds a table of a multi-table file.
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/settings.h"

namespace upg {

void nSplit(std::string_view name, std::string_view driver, std::string& drive,
            std::string& directory, std::string& fileName, std::string& extension) {
  Trace(Flag::D, "nSplit IN");
  std::string n = rt::Clip(name);
  size_t start = 0;  // 0-based scan start
  drive.clear();
  directory.clear();
  if (n.size() >= 2 && n[1] == ':') {
    drive = n.substr(0, 2);
    start = 2;
  }
  // The last "\" that ends the name or is not followed by "!" ("\!" names
  // a table inside a multi-table file).
  for (size_t p = n.size(); p > start; --p) {
    size_t at = p - 1;
    if (n[at] != '\\') continue;
    if (at + 1 == n.size() || n[at + 1] != '!') {
      directory = n.substr(start, at + 1 - start);
      start = at + 1;
      break;
    }
  }
  std::string up = rt::Upper(rt::Clip(driver));
  if (up == "MSSQL" || up == "ORACLE" || up == "SQLANYWHERE" || up == "ODBC") {
    fileName = n;
    extension.clear();
  } else {
    size_t dot = n.rfind('.');
    if (dot != std::string::npos && dot >= start) {
      fileName = n.substr(start, dot - start);
      extension = n.substr(dot);
    } else {
      fileName = n.substr(start);
      extension.clear();
    }
  }
  Trace(Flag::B, "Split " + n + " into " + rt::Clip(drive) + "  " + rt::Clip(directory) + "  " +
                     rt::Clip(fileName) + "  " + rt::Clip(extension));
  Trace(Flag::D, "nSplit OUT");
}

std::string FileOfTable(std::string_view name) {
  std::string n = rt::Clip(name);
  return n.substr(0, n.find("\\!"));
}

}  // namespace upg
