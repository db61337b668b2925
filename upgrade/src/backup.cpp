// Where the data of a file that no longer opens comes from: the stored
// structures newest first, old file names, old-format files; and the
// backup name the old file is moved (or copied) to before the new file
// is built.
#include <cstdio>
#include <memory>
#include <string>

#include "conversion_window.h"
#include "journal.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/store.h"
#include "velmora/upgrade/tavrel.h"
#include "velmora/upgrade/upgrade_file.h"

namespace upg {
namespace {

std::string Code() { return std::to_string(rt::ErrorCode()); }

// n written with exactly `digits` digits.
std::string Digits(int n, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", digits, n);
  return buf;
}

void HaltAfter(const MessageDef& m, const std::string& details) {
  StopMessage(m, details, kFinalOpenExitCode);
  rt::Halt(kFinalOpenExitCode);
}

// Shows M17 (unless silent) and rebuilds the keys of INFILE; an error is
// shown and traced.
void RebuildInFile() {
  if (ConversionWindow* w = CurrentConversionWindow(); w && !FlagOn(Flag::S)) {
    w->Message() = ReadMessage(kM17);
    w->Open();
    w->Display();
  }
  db::Send(InFile(), "FULLBUILD=on");
  db::Build(InFile());
  if (rt::ErrorCode() != 0) {
    std::string text = Code() + " " + rt::ErrorText();
    Trace(Flag::B, "Error building file : " + text);
    rt::Stop("RV3 Error building file : " + text);
  }
}

// Opens INFILE for one stored candidate; true when it is the source.
bool TryOpenInFile() {
  db::FileDecl& in = InFile();
  const std::string name = InFileName();
  Trace(Flag::C, "attempting to open infile...");
  db::Open(in, db::kReadWrite | db::kDenyWrite);
  Trace(Flag::B, "q1 " + Code() + " " + rt::ErrorText());
  switch (rt::ErrorCode()) {
    case 0:
      return true;
    case rt::kFileNotFound:
      Trace(Flag::B, "RV3: Errorcode 2 File Not Found! : " + name);
      return false;
    case rt::kMemoFileMissing:
      HaltAfter(kM13, " File : " + name);
      return false;
    case rt::kKeysMustBeRebuilt:
    case rt::kInvalidIndex:
      if (EngineSwitch("/rv246")) return true;
      RebuildInFile();
      if (db::IsOpen(in)) db::Close(in);
      db::Open(in, db::kReadWrite | db::kDenyWrite);
      return true;
    case rt::kAccessDenied: {
      Trace(Flag::B, "RV3: Unable to upgrade. Access to the existing file has been denied. File : " +
                         name + " Trying SHARE()...");
      db::Open(in, db::kReadWrite | db::kDenyNone);
      int code = rt::ErrorCode();
      if (code == rt::kAccessDenied && name.find("\\!") != std::string::npos) {
        HaltAfter(kM15, " File : " + name);
        return false;
      }
      if (code == rt::kMemoFileMissing || code == rt::kInvalidIndex || code == rt::kKeysMustBeRebuilt) {
        StopMessage(kMShare, " File : " + name + " - " + Code() + ": " + rt::ErrorText(),
                    kFinalOpenExitCode);
        rt::Halt(kFinalOpenExitCode);
        return false;
      }
      if (code == 0) return true;
      Trace(Flag::B, "RV3: Error opening (share) infile... trying next? File : " + name + " - " +
                         Code() + ": " + rt::ErrorText());
      return false;
    }
    default:
      return false;
  }
}

// The old-format file beside a data file: its folder and its base name up
// to the first "." (.\data\cust.tps gives .\data\cust.Dat).
std::string OldFormatName(const std::string& name) {
  size_t base = name.find_last_of("\\:");
  base = base == std::string::npos ? 0 : base + 1;
  return name.substr(0, name.find('.', base)) + ".Dat";
}

// The driver registered as "Tav" reads old-format files; otherwise the
// import is refused with a message (the old file stays as it is).
bool OldFormatDriverReads(const std::string& name) {
  std::string driver;
  for (const Driver& d : Drivers())
    if (rt::Upper(rt::Clip(d.name)) == "TAV") {
      driver = db::DriverNameFor(d.entry);
      break;
    }
  if (rt::Upper(driver) == "TAVREL") return true;
  std::string text = "RV3: Unable to import the old-format file " + name + " : the driver registered as Tav (" +
                     (driver.empty() ? std::string("none") : driver) + ") does not read old-format files";
  Trace(Flag::B, text);
  rt::Stop(text);
  return false;
}

}  // namespace

void UpgradeLoop() {
  ConversionState& c = Conversion();
  const UsedFile& uf = *c.used;
  Trace(Flag::D, "UpgL S");
  rt::Short start = static_cast<rt::Short>(uf.version);
  if (EngineSwitch("/DOWNGRADE")) {
    const char* warning = "Warning : Possibly about to Downgrade Files";
    Trace(Flag::B, warning);
    rt::Stop(warning);
    start = 0x7FFF;
  }
  Trace(Flag::D, "UpgL 1");
  c.row.toVersion = uf.version;
  db::FileDecl& upg = UpgFile();
  SetUpgKeyFields("", uf.prefix, start);
  db::SetFromRecord(upg, kUpgPreKey);
  c.found = false;
  Trace(Flag::D, "UpgL 2");
  for (;;) {
    db::Previous(upg);
    Trace(Flag::B, "trying " + UpgPrefix() + " " + std::to_string(UpgVersion()) + " UPG Read Error : " +
                       Code() + " " + rt::ErrorText());
    if (rt::ErrorCode() != 0) break;
    std::string prefix = rt::Upper(rt::Clip(UpgPrefix()));
    if (prefix != uf.prefix) {
      Trace(Flag::B, "Prefixes don't match " + prefix + " " + uf.prefix);
      break;
    }
    if (db::IsOpen(InFile())) db::Close(InFile());
    if (MakeFile(kInFile) == 0) {
      Trace(Flag::B, "cycling: makefile returned 0 " + rt::Upper(c.fileName) + " " +
                         rt::Upper(InFileName()));
      continue;
    }
    Trace(Flag::D, "UpgradeLoop (a) ");
    if (ConversionDetected()) {
      Trace(Flag::D, "UpgL 3: " + c.fileName + " " + InFileName() + " " + DriverUsed(InFile()));
      if (rt::Upper(rt::Clip(c.fileName)) == rt::Upper(rt::Clip(InFileName()))) {
        Trace(Flag::D, "UpgL 4");
        Trace(Flag::B, "cycling: TPS to SQL conversion " + c.fileName + " " + InFileName());
        continue;
      }
      Trace(Flag::D, "UpgL 5");
    }
    Trace(Flag::D, "UpgradeLoop (b) ");
    if (ConversionDetected()) db::SetProperty(InFile(), db::Prop::DriverLogout, "0");
    if (TryOpenInFile()) {
      Trace(Flag::B, "Found matching structure " + std::to_string(UpgVersion()) + " " + UpgLabel());
      c.row.fromVersion = UpgVersion();
      c.found = true;
      return;
    }
  }
}

void SearchOldFileName() {
  ConversionState& c = Conversion();
  Trace(Flag::B, "No matching structure found - searching for alternate file names");
  std::string drive, dir, name, ext;
  nSplit(c.fileName, db::GetProperty(*c.file, db::Prop::Driver), drive, dir, name, ext);
  auto lookup = [](const std::string& key) -> const OldFileName* {
    for (const OldFileName& o : OFN())
      if (o.newName == key) return &o;
    return nullptr;
  };
  const OldFileName* row = lookup(rt::Upper(rt::Clip(name)) + rt::Clip(ext));
  if (!row) row = lookup(rt::Upper(rt::Clip(name)));
  if (row) {
    c.renamed = true;
    std::string old = rt::Clip(row->oldName);
    std::string in = old.find(':') != std::string::npos ? old : drive + dir + old;
    if (old.find('.') == std::string::npos) in += ext;
    InFileName() = in;
    Trace(Flag::B, "infilename: " + in);
    Trace(Flag::D, "UpgradeFileEX (e)");
    UpgradeLoop();
    std::string clipped = rt::Clip(InFileName());
    if (!c.found && clipped.size() >= 4 && rt::Upper(clipped.substr(clipped.size() - 4)) == ".TPS" &&
        clipped.find("\\!") == std::string::npos) {
      InFileName() = clipped.substr(0, clipped.size() - 4);
      Trace(Flag::B, "infilename - 4: " + InFileName());
      UpgradeLoop();
      Trace(Flag::D, "UpgradeFileEX (f)");
    }
  }
  Trace(Flag::D, "UpgradeFileEX (f11)");
  Trace(Flag::D, "UpgradeFileEX (f22)");
}

void UpgradeFromDatFile() {
  ConversionState& c = Conversion();
  Trace(Flag::D, "UpgradeFileEX (ia)");
  c.found = false;
  std::string name = rt::Clip(c.fileName);
  size_t bang = name.find('!');
  InFileName() = bang == std::string::npos ? name : name.substr(bang + 1);
  c.found = ImportTavrel() != 0;
  Trace(Flag::D, "UpgradeFileEX (ib)");
  if (!c.found) {
    InFileName() = OldFormatName(rt::Clip(InFileName()));
    c.found = ImportTavrel() != 0;
    Trace(Flag::D, "UpgradeFileEX (ic)");
  }
  if (c.found && !OldFormatDriverReads(rt::Clip(InFileName()))) c.found = false;
  if (c.found && MakeFile(kInFile) != 0) {
    Trace(Flag::D, "UpgradeFileEX (id)");
    for (int attempt = 0; attempt < 3; ++attempt) {
      db::Open(InFile(), db::kReadWrite | db::kDenyWrite);
      int code = rt::ErrorCode();
      if (code == 0) break;
      if (code == rt::kMemoFileMissing) {
        HaltAfter(kM13, " File : " + InFileName());
        c.found = false;
        break;
      }
      if (code == rt::kKeysMustBeRebuilt) {
        if (EngineSwitch("/rv246")) break;
        RebuildInFile();
        if (db::IsOpen(InFile())) db::Close(InFile());
        continue;
      }
      if (code == rt::kAccessDenied) {
        HaltAfter(kM15, " File : " + InFileName());
        c.found = false;
        break;
      }
      std::string text = "RV3: Unable to import the old-format file " + rt::Clip(InFileName()) + " : " +
                         std::to_string(code) + " " + rt::ErrorText() + " " + rt::FileErrorText();
      Trace(Flag::B, text);
      rt::Stop(text);
      c.found = false;
      break;
    }
    Trace(Flag::D, "UpgradeFileEX (ig)");
  } else {
    c.found = false;
  }
  if (c.found) OldFormatSource() = 1;
  Trace(Flag::D, "UpgradeFileEX (ih) ");
}

void BackupOldFile() {
  ConversionState& c = Conversion();
  c.backupName.clear();
  const rt::Byte backup = CurrentOptions().backup;
  const std::string driver = rt::Upper(DriverUsed(InFile()));
  const std::string name = rt::Clip(InFileName());
  const std::string prefix = rt::Clip(c.used->prefix);
  // A table inside a multi-table file keeps its table part: its whole
  // file moves (or is copied), and is found again under the backup name.
  // Into an SQL table the file stays where it is, with its other tables.
  const size_t bang = name.find("\\!");
  const std::string table = bang == std::string::npos ? std::string() : name.substr(bang);
  const bool copy = EngineSwitch("/RV2COPY") || c.renamed || backup == 1 ||
                    (!table.empty() && ConversionDetected());
  Trace(Flag::C, "backup driver: " + driver);
  Trace(Flag::C, "backup prefix: " + prefix);
  for (int n = 1; n <= 999; ++n) {
    std::string candidate;
    if (backup == 0) {
      candidate = "dstmp" + Digits(n, 3) + table;
    } else if (bang != std::string::npos) {
      // The number goes before the "." of the file's own name, or before
      // the "\!" when that name has none.
      size_t slash = bang == 0 ? std::string::npos : name.rfind('\\', bang - 1);
      size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
      size_t p = dot < bang ? dot : bang;
      size_t q = name.rfind('\\', p);
      long gap = static_cast<long>(p) - (q == std::string::npos ? -1L : static_cast<long>(q)) - 1;
      if (gap < 5)
        candidate = name.substr(0, p) + Digits(n, 3) + name.substr(p);
      else
        candidate = name.substr(0, (q == std::string::npos ? 0 : q + 1) + 5) + Digits(n, 3) + name.substr(p);
    } else if (driver != "BTR") {
      size_t slash = name.rfind('\\');
      if (slash == std::string::npos)
        candidate = name.substr(0, 5) + Digits(n, 3);
      else
        candidate = name.substr(0, slash + 1) + name.substr(slash + 1, 5) + Digits(n, 3);
    } else {
      int digits = prefix.size() <= 2 ? 3 : prefix.size() == 3 ? 2 : 1;
      if (prefix.size() > 4) {
        Trace(Flag::C, "backup prefix: too big (1): " + prefix);
        return;
      }
      if ((digits == 1 && n > 9) || (digits == 2 && n > 99)) {
        Trace(Flag::C, "backup prefix: too many: " + prefix + " " + std::to_string(n));
        return;
      }
      size_t slash = name.rfind('\\');
      candidate = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + prefix +
                  Digits(n, digits);
    }
    if (copy) {
      db::Copy(InFile(), candidate);
      int code = rt::ErrorCode();
      if (code == 0 || code == rt::kFileNotFound) {
        Trace(Flag::B, "File copied: " + candidate + " err: " + rt::ErrorText());
        c.backupName = candidate;
        c.backupIsCopy = true;
        return;
      }
      Trace(Flag::B, "Copying " + Code() + rt::ErrorText() + name + " s=" + candidate);
    } else {
      // The journal names the candidate before the move, so a process
      // killed right after it still finds the old data at the next open.
      // An SQL table's conversion is not journalled: the recovery works on
      // the destination's own name, which is then a table on the server.
      // Its old data stays under the backup name until the copy is whole.
      if (!ConversionDetected() && !WriteJournal(c.fileName, candidate, JournalPhase::Moving, backup != 0, false)) {
        // Without its journal the old file never moves: the disk is full.
        c.refusal = JournalRefusal(c.fileName);
        Trace(Flag::B, "RV3: " + c.refusal);
        break;
      }
      db::Rename(InFile(), candidate);
      int code = rt::ErrorCode();
      if (code == 0 || code == rt::kFileNotFound) {
        Trace(Flag::B, "File renamed: " + candidate + " err: " + rt::ErrorText());
        c.backupName = candidate;
        c.backupIsCopy = false;
        return;
      }
      Trace(Flag::B, "Renaming " + Code() + ": " + rt::ErrorText() + " - " +
                         std::to_string(rt::FileErrorCode()) + ": " + rt::FileErrorText() + " :: " + name +
                         " - " + candidate);
    }
  }
  RemoveJournal(c.fileName);
}

bool CopyOtherTables(const db::FileDecl& out) {
  const std::string work = rt::Clip(out.Name());
  if (work.find("\\!") == std::string::npos) return true;
  std::unique_ptr<db::FileDecl> f = out.Clone();
  f->SetName(FileOfTable(work));
  if (FileExists(f->Name())) db::Remove(*f);  // left by a conversion cut short
  f->SetName(Conversion().backupName);
  db::Copy(*f, FileOfTable(work));
  Trace(Flag::B, "Tables copied: " + FileOfTable(Conversion().backupName) + " - " + FileOfTable(work) + " " +
                     std::to_string(rt::ErrorCode()) + " " + rt::ErrorText());
  return rt::ErrorCode() == 0;
}

}  // namespace upg
