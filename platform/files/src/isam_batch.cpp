// The ISAM driver's batches: STREAM/FLUSH (one SQLite transaction begun
// at the first write) and LOGOUT/COMMIT/ROLLBACK (one transaction per file,
// committed in LOGOUT order). A batch SQLite rolled back by itself is lost
// as a whole.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>

#include "isam_state.h"
#include "velmora/runtime/errors.h"

namespace db::isam {

// The calling thread's LOGOUT transaction: its files in LOGOUT order.
thread_local std::vector<FileDecl*> tTransaction;

// An instance dropped without CLOSE leaves its transaction (rolled back
// with the connection).
IsamState::~IsamState() {
  if (inLogout) std::erase(tTransaction, owner);
  for (sqlite3_stmt* st : stmts) sqlite3_finalize(st);
  if (db) sqlite3_close_v2(db);
  // Closed only after SQLite's own descriptors: closing any descriptor of
  // the file drops the process's locks on it.
  if (writeBackFd >= 0) ::close(writeBackFd);
}

// A file written without its WAL has its committed pages handed to the
// disk as each batch ends, without waiting: the sync that completes it
// (its CLOSE) then finds little left to write.
static void StartWriteBack(IsamState& s) {
  if (s.writeBackFd < 0) s.writeBackFd = ::open(s.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (s.writeBackFd >= 0) ::sync_file_range(s.writeBackFd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

// A STREAM takes SQLite's write lock only at its first write, so a batch
// begun before long work or a question to the user holds nothing meanwhile.
void Isam::Stream(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (s.InTx()) return rt::ClearError();
  s.streaming = true;
  s.txOpen = false;
  rt::ClearError();
}

// Ends a batch: commits what it wrote; a failed commit is rolled back and
// keeps its reason. Returns false with the error set.
bool EndBatch(FileDecl& f, IsamState& s, bool commit) {
  s.nextId = 0;
  if (s.lost) {
    s.lost = false;
    rt::RestoreError(s.lostError);
    return false;
  }
  if (!s.txOpen) {
    rt::ClearError();
    return true;
  }
  s.txOpen = false;
  s.Changed();
  bool ok = RunSlot(f, s, commit ? kCommit : kRollback);
  const rt::ErrorSnapshot e = rt::SaveError();
  if (ok && commit && s.unjournaled) StartWriteBack(s);
  if (!ok && !sqlite3_get_autocommit(s.db)) RunSlot(f, s, kRollback);
  if (s.pendingSync >= 0 && sqlite3_get_autocommit(s.db)) SetSync(s, s.pendingSync == 1);
  if (ok) {
    rt::ClearError();
    return true;
  }
  rt::RestoreError(e);
  return false;
}

void Isam::Flush(FileDecl& f) {
  IsamState& s = *StateOf(f);
  if (!s.streaming) return rt::ClearError();
  s.streaming = false;
  EndBatch(f, s, true);
}

// Ends every file's part in LOGOUT order; the first failure (a failed
// commit, a part SQLite had already rolled back) is the result, with its
// reason.
void EndTransaction(bool commit) {
  bool failed = false;
  rt::ErrorSnapshot first;
  for (FileDecl* f : tTransaction) {
    if (f->State() && f->State()->driver != &IsamDriver()) {
      if (!f->State()->driver->EndLogout(*f, commit) && commit && !failed) {
        failed = true;
        first = rt::SaveError();
      }
      continue;
    }
    IsamState* s = StateOf(*f);
    if (!s || !s->inLogout) continue;
    s->inLogout = false;
    WaitFor(s->db, s->wait, s->busyMs);
    // A part SQLite had already rolled back fails a COMMIT, not a ROLLBACK.
    if (!EndBatch(*f, *s, commit) && commit && !failed) {
      failed = true;
      first = rt::SaveError();
    }
  }
  tTransaction.clear();
  if (failed)
    rt::RestoreError(first);
  else
    rt::ClearError();
}

}  // namespace db::isam

namespace db {

using isam::CheckWrite;
using isam::EndBatch;
using isam::EndTransaction;
using isam::Isam;
using isam::IsamState;
using isam::kBegin;
using isam::kCommit;
using isam::RunSlot;
using isam::StateOf;
using isam::tTransaction;
using isam::WaitFor;

Driver& IsamDriver() {
  static Isam d;
  return d;
}

void Logout(int timeoutSeconds, const std::vector<FileDecl*>& files) {
  if (!tTransaction.empty())
    return rt::SetFileError(rt::kAccessDenied, 0, "A transaction is already active");
  for (FileDecl* f : files) {
    if (f && f->State() && f->State()->driver != &IsamDriver()) {
      if (!f->State()->driver->BeginLogout(*f, timeoutSeconds)) {
        const rt::ErrorSnapshot e = rt::SaveError();
        EndTransaction(false);
        return rt::RestoreError(e);
      }
      tTransaction.push_back(f);
      continue;
    }
    IsamState* s = f && f->State() ? StateOf(*f) : nullptr;
    if (!s) {
      EndTransaction(false);
      return rt::SetError(rt::kFileNotOpen);
    }
    if (s->streaming) {  // the batch ends where the transaction begins
      s->streaming = false;
      if (!EndBatch(*f, *s, true)) {
        const rt::ErrorSnapshot e = rt::SaveError();
        EndTransaction(false);
        return rt::RestoreError(e);
      }
    }
    WaitFor(s->db, s->wait, std::max(timeoutSeconds, 0) * 1000);
    if (!CheckWrite(*f, *s) || !RunSlot(*f, *s, kBegin)) {
      const rt::ErrorSnapshot e = rt::SaveError();
      WaitFor(s->db, s->wait, s->busyMs);
      EndTransaction(false);
      return rt::RestoreError(e);
    }
    s->txOpen = true;
    s->inLogout = true;
    tTransaction.push_back(f);
  }
  rt::ClearError();
}

void LeaveLogout(FileDecl& f) { std::erase(tTransaction, &f); }

void Commit() { EndTransaction(true); }

void Rollback() { EndTransaction(false); }

}  // namespace db
