#pragma once
// The open hook: every data-file open passes here. It opens the file and,
// when the open fails because the structure on disk is not the declared
// one or the file is missing, hands it to the upgrade driver and opens it
// again. The caller reads the runtime's error code afterwards, as after a
// plain open. One process-wide critical section serialises every call.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "velmora/files/decl.h"

namespace upg {

void ds_FileOpen(db::FileDecl& file, uint32_t mode);
// Installs ds_FileOpen as the files layer's open hook.
void InstallOpenHook();

// Converts a file whose open failed; the caller reopens it. When no
// stored structure opens the file it is left as it is, so the reopen
// reports the true error.
void ds_UpgradeFile(db::FileDecl& file);

// What each call of the hook sets up (process-wide, used inside the
// hook's critical section only); the SQL check reads and sets it.
struct HookState {
  std::string serverCode;        // upper-cased code of the file's driver
  bool sqlServerSelected = false;
  std::string connectionString;  // the file's owner
  bool error47Seen = false;
  bool conversionDetected = false;
  std::vector<std::string> managedFiles;  // SQL files already handled (MFQ)
  bool identityInsert = false;
  std::string sqlTableName;
};
HookState& OpenHookState();

// The runtime open the hook calls; tests put one in that fails the way a
// driver would. An empty function restores the runtime's own.
using RuntimeOpenFn = std::function<void(db::FileDecl&, uint32_t mode)>;
void SetRuntimeOpen(RuntimeOpenFn open);

// Exit code of a halt after a final-open failure (M19, M19a, M19b, 530).
inline constexpr int kFinalOpenExitCode = 3;

}  // namespace upg
