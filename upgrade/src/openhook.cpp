// The open hook ds_FileOpen: the one process-wide critical section, the
// busy marker, the crash marker in WIN.INI, the error table that decides
// between an upgrade, a plain report and the final-open failure.
#include "velmora/upgrade/openhook.h"

#include <algorithm>

#include "journal.h"
#include "statement_file.h"
#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/runtime/threads.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqltext.h"
#include "velmora/upgrade/upgrade_file.h"
#include "velmora/win/win.h"

namespace upg {
namespace {

constexpr int kError530 = 530;

rt::CriticalSection& EngineSection() {
  static rt::CriticalSection section;
  return section;
}

HookState& H() { return OpenHookState(); }

RuntimeOpenFn& OpenFn() {
  static RuntimeOpenFn open;
  return open;
}

void RuntimeOpen(db::FileDecl& file, uint32_t mode) {
  if (OpenFn())
    OpenFn()(file, mode);
  else
    db::Open(file, mode);
}

void SetUpgrading(rt::Byte v, Flag f) {
  *GetUpgradingFlag() = v;
  Trace(f, "RV_Upgrading: " + std::to_string(v));
}

// The crash marker: WIN.INI, section = the program's file name, entry
// "BadFile" = the file being opened.
void WriteMarker(const std::string& name) {
  if (CurrentOptions().badFile == 0) return;
  win::WriteProfileStringA(ProgramFileName().c_str(), "BadFile", name.c_str());
}

void DeleteMarker() {
  if (CurrentOptions().badFile == 0) return;
  win::WriteProfileStringA(ProgramFileName().c_str(), "BadFile", nullptr);
}

// Writes the marker, opens, deletes the marker; the open's error stands.
void MarkedOpen(db::FileDecl& file, uint32_t mode, const std::string& name) {
  WriteMarker(name);
  RuntimeOpen(file, mode);
  rt::ErrorSnapshot result = rt::SaveError();
  DeleteMarker();
  rt::RestoreError(result);
}

std::string OpenErrorLine() {
  return std::to_string(rt::ErrorCode()) + " " + rt::Clip(rt::ErrorText()) + " " +
         std::to_string(rt::FileErrorCode()) + ": " + rt::FileErrorText();
}

// Opens the file once no other copy of the program converts it (with
// the marker, as MarkedOpen). An open that finds no file while a
// conversion has moved it aside meanwhile waits for that conversion and
// opens again, so a missing file is reported only when nobody converts it.
void OpenPastConversions(db::FileDecl& file, uint32_t mode, const std::string& name) {
  for (int pass = 0; pass < 3; ++pass) {
    if (!RecoverInterruptedUpgrade(file)) return;
    MarkedOpen(file, mode, name);
    if (rt::ErrorCode() != rt::kFileNotFound || !FileExists(JournalName(name))) return;
  }
}

void UpgradeCase(db::FileDecl& file, uint32_t mode, const std::string& name,
                 std::string_view finished) {
  HookState& h = H();
  if (rt::ErrorCode() == rt::kInvalidRecordDeclaration && h.sqlServerSelected) {
    Trace(Flag::B, "Error 47 occured on SQL file! File Error? " + std::to_string(rt::FileErrorCode()) +
                       rt::FileErrorText());
    h.error47Seen = true;
    CheckSQLFile(file, h.serverCode);
    RuntimeOpen(file, mode);
  }
  // A file left open in record order (error 46) is closed before it is
  // converted and opened again.
  if (db::IsOpen(file)) {
    rt::ErrorSnapshot error = rt::SaveError();
    db::Close(file);
    rt::RestoreError(error);
  }
  Trace(Flag::B, "About to upgrade file : reason " + rt::ErrorText() + " " +
                     std::to_string(rt::ErrorCode()) + " IsSQLDriver: " +
                     std::to_string(h.sqlServerSelected ? 1 : 0));
  if (!h.sqlServerSelected) ds_UpgradeFile(file);
  Trace(Flag::B, std::string(finished));
  if (h.sqlServerSelected)
    MarkedOpen(file, mode, name);
  else
    OpenPastConversions(file, mode, name);
}

// Shows the message with the file's name and ends the program; the marker
// stays behind. A halt that returns (a test's handler) returns here too.
void HaltWith(const MessageDef& m, const std::string& name) {
  std::string details = " Name : " + rt::Clip(name);
  StopMessage(m, details, kFinalOpenExitCode);
  rt::Halt(kFinalOpenExitCode);
}

// Shows the final-open message by driver and halts; the Firebird flavour
// only traces and goes on.
void FinalOpenFailure(db::FileDecl& file, const std::string& name) {
  Trace(Flag::B, "RV3 File error on final open: " + name + " :" + H().serverCode + " " +
                     std::to_string(rt::FileErrorCode()) + ": " + rt::FileErrorText());
  rt::ErrorSnapshot error = rt::SaveError();
  WriteMarker(name);
  std::string driver = rt::Upper(DriverUsed(file));
  if (driver == "TPS") {
    HaltWith(kM19, name);
  } else if (driver == "BTR") {
    HaltWith(kM19a, name);
  } else if (rt::Upper(rt::Clip(ODBCFlavour())) == "FIREBIRD") {
    ds_Error(6, "M33", " " + name, "");
  } else {
    HaltWith(kM19b, name);
  }
  rt::RestoreError(error);
}

}  // namespace

void ds_FileOpen(db::FileDecl& file, uint32_t mode) {
  rt::CriticalSection::Guard guard(EngineSection());
  Trace(Flag::A, "ds_FileOpen In");
  SetUpgrading(1, Flag::B);
  HookState& h = H();
  const std::string name = file.Name();
  if (rt::Clip(name).empty()) {
    Trace(Flag::B, "Possible \"phantom\" file! Checking name...");
    Trace(Flag::B, "Ignoring \"phantom\" file: " + file.Label());
    RuntimeOpen(file, mode);
    SetUpgrading(0, Flag::B);
    return;
  }
  h.serverCode = rt::Upper(DriverUsed(file));
  h.sqlServerSelected = IsSqlServerCode(h.serverCode);
  h.connectionString = file.Owner();
  h.error47Seen = false;
  Trace(Flag::B, "Opening file: " + name + ", driver: " + h.serverCode + ", owner: " +
                     ds_EncryptOwner(h.serverCode, h.connectionString));
  h.conversionDetected = false;
  ConversionDetected() = 0;
  if (h.sqlServerSelected) {
    if (const ServerSlot* slot = ServerSlotOf(h.serverCode)) CurrentSQLFile() = slot->file;
    // The managed-files list keeps the first 50 characters of a name.
    std::string clipped = rt::Clip(name).substr(0, 50);
    if (std::find(h.managedFiles.begin(), h.managedFiles.end(), clipped) != h.managedFiles.end())
      Trace(Flag::B, "ds_FileOpen File has already been managed: " + name);
    else
      CheckSQLFile(file, h.serverCode);
  }
  if (h.serverCode.empty()) {
    RuntimeOpen(file, mode);
    Trace(Flag::A, "Driver not used : File Opened. This caused an error : " +
                       std::to_string(rt::ErrorCode()) + " " + rt::ErrorText());
  } else if (h.conversionDetected) {
    Trace(Flag::B, "SQL conversion detected - calling UpgradeFile...");
    const Dialect dialect = DialectOf(h.serverCode, ODBCFlavour());
    std::string table = SqlTableName(dialect, rt::Clip(h.sqlTableName));
    {
      // The statements of the conversion run on the server's statement file.
      StatementFile statements(true);
      if (h.identityInsert) ExecuteSQLStatement("SET IDENTITY_INSERT " + table + " ON", 0);
      // The record copy and the driver write INSERT statements of the
      // server's dialect while the flag is up; later conversions are ISAM.
      ConversionDetected() = 1;
      InsertDialect() = dialect;
      ds_UpgradeFile(file);
      ConversionDetected() = 0;
      if (h.identityInsert) ExecuteSQLStatement("SET IDENTITY_INSERT " + table + " OFF", 0);
    }
    MarkedOpen(file, mode, name);
  } else {
    Trace(Flag::D, "ds_FileOpen Driver found.");
    Trace(Flag::B, "ds_FileOpen About to open.");
    OpenPastConversions(file, mode, name);
    int code = rt::ErrorCode();
    if (code != 0) Trace(Flag::B, "Opening " + name + " caused an error : " + OpenErrorLine());
    switch (code) {
      case 0:
        break;
      case rt::kFileNotFound:
      case rt::kEntryNotFound:
      case rt::kInvalidDataFile:
      case rt::kInvalidRecordDeclaration:
      case rt::kInvalidKeyLength:
        UpgradeCase(file, mode, name, "Finished upgrade file");
        break;
      case rt::kKeysMustBeRebuilt:
        if (EngineSwitch("/rv246")) UpgradeCase(file, mode, name, "Finshed upgrade file");
        break;
      case rt::kDriverError:
        if (EngineSwitch("/rv290"))
          UpgradeCase(file, mode, name, "Finshed upgrade file");
        else
          FinalOpenFailure(file, name);
        break;
      case kError530: {
        rt::ErrorSnapshot error = rt::SaveError();
        WriteMarker(name);
        HaltWith(kM19, name);
        rt::RestoreError(error);
        break;
      }
      default:
        Trace(Flag::B, "RV3 Errorcode received on open: " + rt::ErrorText() + " " +
                           std::to_string(code));
    }
  }
  SetUpgrading(0, Flag::C);
  Trace(Flag::A, "ds_FileOpen Complete!");
}

void InstallOpenHook() { db::SetOpenHook(&ds_FileOpen); }

void SetRuntimeOpen(RuntimeOpenFn open) { OpenFn() = std::move(open); }

HookState& OpenHookState() {
  static HookState h;
  return h;
}

}  // namespace upg
