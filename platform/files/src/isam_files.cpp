// The ISAM driver's operations on a file as a whole: OPEN (with the
// checks that keep a refused open from changing anything), CREATE, CLOSE,
// BUILD, REMOVE, COPY, RENAME and the driver commands.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "isam_state.h"
#include "owner.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"

namespace db::isam {

void RemoveDatabaseFiles(const std::string& path) {
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
  std::remove(path.c_str());
}

// Opens the SQLite connection of an existing database and applies the
// connection settings.
int OpenConnection(const std::string& path, int flags, BusyWait& wait, sqlite3** db) {
  int rc = sqlite3_open_v2(path.c_str(), db, flags, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_extended_result_codes(*db, 1);
  if (wait.path.empty()) wait.path = path;
  WaitFor(*db, wait, wait.ms);
  char* msg = nullptr;
  rc = sqlite3_exec(*db, "PRAGMA synchronous=FULL", nullptr, nullptr, &msg);
  sqlite3_free(msg);
  return rc;
}

void SetSync(IsamState& s, bool on) {
  sqlite3_exec(s.db, on ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  s.pendingSync = -1;
}

// Runs a journal_mode pragma; the mode in force after it ("" when it failed).
static std::string JournalMode(sqlite3* db, const char* pragma) {
  sqlite3_stmt* st = nullptr;
  std::string mode;
  if (sqlite3_prepare_v2(db, pragma, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    if (const unsigned char* t = sqlite3_column_text(st, 0)) mode = reinterpret_cast<const char*>(t);
  sqlite3_finalize(st);
  return mode;
}

// Creates the record table and its indexes for `f` in an open database.
bool CreateTable(FileDecl& f, sqlite3* db, const std::string& table) {
  std::string T = SqlTable(table);
  std::string sql = "CREATE TABLE IF NOT EXISTS vm_files (tbl TEXT PRIMARY KEY, decl BLOB NOT NULL, stale INTEGER NOT NULL DEFAULT 0);"
                    "DROP TABLE IF EXISTS " + T + ";"
                    "CREATE TABLE " + T + " (id INTEGER PRIMARY KEY, ver INTEGER NOT NULL, rec BLOB NOT NULL";
  for (size_t k = 0; k < f.Keys().size(); ++k) sql += ", k" + std::to_string(k + 1) + " BLOB";
  for (size_t m = 0; m < f.Memos().size(); ++m) sql += ", m" + std::to_string(m + 1) + " BLOB";
  sql += ");";
  for (size_t k = 0; k < f.Keys().size(); ++k) {
    std::string n = std::to_string(k + 1);
    sql += std::string("CREATE ") + ((f.Keys()[k].attrib & kKeyDup) ? "" : "UNIQUE ") +
           "INDEX " + T + "_k" + n + " ON " + T + " (k" + n + ");";
  }
  sql += "CREATE TABLE IF NOT EXISTS vm_numbers (tbl TEXT, key INTEGER, grp BLOB, "
         "last INTEGER NOT NULL, PRIMARY KEY (tbl, key, grp));";
  std::string esc;
  for (char c : table) esc += c == '\'' ? std::string("''") : std::string(1, c);
  sql += "DELETE FROM vm_numbers WHERE tbl = '" + esc + "';";
  if (!Exec(f, db, sql)) return false;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO vm_files (tbl, decl, stale) VALUES (?1, ?2, 0)", -1, &st, nullptr);
  std::string decl = SerializeDecl(f);
  sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
  sqlite3_bind_blob(st, 2, decl.data(), static_cast<int>(decl.size()), SQLITE_STATIC);
  int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    ReportSql(f, sqlite3_extended_errcode(db), db);
    return false;
  }
  return StoreOwnerHash(f, db, table);
}

// Lets the last connection write the WAL back into the file and remove
// it, so the main file alone holds every record. False, with the disk's
// reason set, when records stay in the WAL (the write-back failed): the
// main file alone is then incomplete and must not be moved or copied.
bool Quiesce(FileDecl& f, const std::string& path) {
  if (CheckFormat(path).kind != FormatCheck::Ours) return true;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  if (rc != SQLITE_OK) ReportSql(f, sqlite3_extended_errcode(db), db);
  sqlite3_close_v2(db);
  if (!WalHasFrames(path)) return true;
  if (rc == SQLITE_OK) Fail(f, rt::kDriverError, 0, "its WAL could not be written back into the file");
  rt::SetFileError(rt::kDriverError, rt::FileErrorCode(),
                   rt::FileErrorText() + "; the records in its WAL are not yet in the file", f.Name());
  return false;
}

// The file and its folder can be written (the WAL and its index live
// beside the file).
bool Writable(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  return ::access(path.c_str(), W_OK) == 0 && ::access(dir.empty() ? "." : dir.c_str(), W_OK) == 0;
}

// A path as an SQLite URI ("file:" with the unsafe bytes escaped).
std::string Uri(const std::string& path, const char* query) {
  static const char* hex = "0123456789ABCDEF";
  std::string u = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
      u.push_back(static_cast<char>(c));
    } else {
      u.push_back('%');
      u.push_back(hex[c >> 4]);
      u.push_back(hex[c & 15]);
    }
  }
  return u + "?" + query;
}

// The runtime's code and the words for an SQLite failure while a file is
// opened: 36 only for files that are not ours or damaged; locks give 5,
// transient conditions (disk full, I/O errors, no room for the WAL index)
// the driver error 90.
int OpenFailureCode(int rc, sqlite3* db) {
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return rt::kAccessDenied;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_ERROR:  // no table of ours in it
    case SQLITE_SCHEMA:
      return rt::kInvalidDataFile;
    case SQLITE_CANTOPEN: {
      int err = db ? sqlite3_system_errno(db) : 0;
      return err == EACCES || err == EPERM || err == EROFS ? rt::kAccessDenied
                                                             : rt::kDriverError;
    }
    default:
      return rt::kDriverError;
  }
}

// True when an SQLite failure means the disk has no room (or no longer
// takes writes), not that the file is locked, damaged or not ours.
bool NoRoom(int rc, sqlite3* db) {
  switch (rc & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
      return true;
    case SQLITE_CANTOPEN: {
      const int err = db ? sqlite3_system_errno(db) : 0;
      return err == ENOSPC || err == EDQUOT || err == EIO;
    }
    default:
      return false;
  }
}

void Isam::Open(FileDecl& f, uint32_t mode) {
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (path.empty()) return rt::SetError(rt::kFileNotFound);
  auto s = std::make_unique<IsamState>();
  s->driver = this;
  s->owner = &f;
  s->mode = mode;
  s->readOnly = (mode & 0x0F) == 0;
  s->path = path;
  s->wait.path = path;
  s->busyMs = s->wait.ms = LockWait() * 1000;
  s->table = table;
  s->sqlTable = SqlTable(table);
  for (std::string_view opts = f.SendText(); !opts.empty();) {
    size_t sp = opts.find(' ');
    ApplyCommand(*s, opts.substr(0, sp), nullptr);
    opts = sp == std::string_view::npos ? std::string_view{} : opts.substr(sp + 1);
  }
  for (const std::string& c : f.SentCommands()) ApplyCommand(*s, c, nullptr);
  // The bytes are checked before anything (the lock file, SQLite) is
  // created or opened for writing beside the file.
  FormatCheck fmt = CheckFormat(path);
  switch (fmt.kind) {
    case FormatCheck::Ours: break;
    case FormatCheck::Missing: return Fail(f, rt::kFileNotFound, 0, fmt.reason);
    case FormatCheck::NotOurs: return Fail(f, rt::kInvalidDataFile, 0, fmt.reason);
    case FormatCheck::Denied: return Fail(f, rt::kAccessDenied, 0, fmt.reason);
    case FormatCheck::Failed: return Fail(f, rt::kDriverError, 0, fmt.reason);
  }
  s->gen = Generation(path);
  // A read-only file or folder opens in the read-only modes alone, through
  // SQLite's read-only mode, immutable when no WAL holds changes, so
  // nothing is created beside the file.
  const bool writable = Writable(path);
  if (!writable && !s->readOnly)
    return Fail(f, rt::kAccessDenied, 0, "the file or its folder is read-only");
  if (!s->lock.Acquire(path, table, mode, true))
    return Fail(f, rt::ErrorCode(), 0, rt::FileErrorText());
  const bool walHasFrames = WalHasFrames(path);
  // Reads the stored declaration through a new connection: read/write, or
  // SQLite's read-only mode, immutable when no WAL holds changes, so that
  // nothing is created beside the file.
  std::string stored;
  int stale = 0;
  auto readDecl = [&](bool readWrite) {
    if (s->db) {
      sqlite3_db_config(s->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
      sqlite3_close_v2(s->db);
      s->db = nullptr;
    }
    int rc = readWrite ? OpenConnection(path, SQLITE_OPEN_READWRITE, s->wait, &s->db)
                       : OpenConnection(Uri(path, walHasFrames ? "mode=ro" : "immutable=1"),
                                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, s->wait, &s->db);
    // A refused open leaves the file as it was: a WAL holding changes is
    // not folded in. An empty one (made by this open) is removed at close as usual.
    if (s->db && walHasFrames) sqlite3_db_config(s->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_stmt* st = nullptr;
    if (rc == SQLITE_OK)
      rc = sqlite3_prepare_v2(s->db, "SELECT decl, stale FROM vm_files WHERE tbl = ?1", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
      rc = sqlite3_step(st);
      if (rc == SQLITE_ROW) {
        const char* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
        stored.assign(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
        stale = sqlite3_column_int(st, 1);
      }
    }
    sqlite3_finalize(st);
    return rc;
  };
  int rc = readDecl(writable);
  // Reading needs no room on the disk: a read-only open that the disk
  // refuses room for the WAL index (or any write) reads through the
  // read-only mode instead. Without room no writer adds to the WAL meanwhile.
  if (writable && s->readOnly && NoRoom(rc, s->db)) rc = readDecl(false);
  if (rc == SQLITE_DONE) return Fail(f, rt::kFileNotFound, 0, "no table \"" + table + "\" in the file");
  if (rc != SQLITE_ROW) {
    int code = OpenFailureCode(rc, s->db);
    std::string text = s->db ? sqlite3_errmsg(s->db) : sqlite3_errstr(rc);
    if (code == rt::kInvalidDataFile) text = "not a data file of this program, or damaged (" + text + ")";
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED)
      text = "locked by another user or process (" + text + ")";
    return Fail(f, code, rc, text);
  }
  std::unique_ptr<FileDecl> disk = isam::ParseDecl(stored);
  if (!disk) return Fail(f, rt::kInvalidDataFile, 0, "damaged: its stored declaration cannot be read");
  if (!isam::SameStructure(f, *disk))
    return Fail(f, rt::kInvalidRecordDeclaration, 0,
                "the record declaration differs from the structure stored in the file");
  if (!OwnerMatches(f, s->db, table)) return;
  sqlite3_db_config(s->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
  s->stale = stale != 0;
  for (const KeyDesc& k : f.Keys()) s->keyLen.push_back(KeyLength(f, k));
  s->seqKey = 0;
  s->fwd = {{}, kIdMin, true};
  s->back = {{}, kIdMax, true};
  f.SentCommands().clear();
  f.StateSlot() = std::move(s);
  if (StateOf(f)->stale)
    rt::SetError(rt::kKeysMustBeRebuilt);
  else
    rt::ClearError();
}

// True when the table has its entry in an open database's vm_files.
bool HasTable(sqlite3* db, const std::string& table) {
  sqlite3_stmt* st = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM vm_files WHERE tbl = ?1", -1, &st, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
    found = sqlite3_step(st) == SQLITE_ROW;
  }
  sqlite3_finalize(st);
  return found;
}

// Moves a complete new file to its name without ever replacing a file
// that exists there; false with errno EEXIST when one does.
bool PlaceIfMissing(const std::string& tmp, const std::string& path) {
  if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A file system without the no-replace rename: a hard link fails the
  // same way on an existing name.
  if (::link(tmp.c_str(), path.c_str()) != 0) return false;
  std::remove(tmp.c_str());
  return true;
}

// CREATE: a new file (or table) that replaces any, or, for `missing`, one
// made only where none exists: a file or table that another instance or
// process made meanwhile is kept as it is.
void CreateFile(FileDecl& f, bool missing) {
  if (f.State()) return rt::SetError(rt::kAccessDenied);
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (path.empty()) return rt::SetError(rt::kFileNotFound);
  FormatCheck::Kind fmt = CheckFormat(path).kind;
  if (missing && table.empty() && fmt != FormatCheck::Missing) return rt::ClearError();
  if (!missing && !FileIsFree(path)) return Fail(f, rt::kAccessDenied, 0, "the file is in use");
  sqlite3* db = nullptr;
  BusyWait wait;
  wait.ms = LockWait() * 1000;
  if (!table.empty() && fmt == FormatCheck::Ours) {
    // Another table of a multi-table file: replace this table alone.
    int rc = OpenConnection(path, SQLITE_OPEN_READWRITE, wait, &db);
    bool ok = rc == SQLITE_OK && Exec(f, db, "BEGIN IMMEDIATE");
    if (ok && !(missing && HasTable(db, table))) ok = CreateTable(f, db, table);
    ok = ok && Exec(f, db, "COMMIT");
    if (rc != SQLITE_OK) ReportSql(f, rc, db);
    sqlite3_close_v2(db);
    if (ok) rt::ClearError();
    return;
  }
  if (!table.empty() && fmt == FormatCheck::NotOurs)
    return Fail(f, rt::kInvalidDataFile, 0, "not a data file of this program");
  // A new file: built beside the target, then moved over it, so a crash
  // leaves the old file or the new one. A file rebuilt from another
  // ("SYNC=off" sent before CREATE) is of no use until it is complete and
  // its CLOSE syncs it: it is made without waiting for the disk.
  bool unsynced = false;
  for (const std::string& c : f.SentCommands()) {
    const DriverCommand command = ParseCommand(c);
    if (command.name == "SYNC" && !command.query) unsynced = !command.On();
  }
  std::string tmp = path + ".new" + std::to_string(::getpid());
  RemoveDatabaseFiles(tmp);
  int rc = OpenConnection(tmp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, wait, &db);
  if (rc == SQLITE_OK && unsynced) sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    int err = db ? sqlite3_system_errno(db) : 0;
    sqlite3_close_v2(db);
    RemoveDatabaseFiles(tmp);
    return Fail(f, err == ENOENT ? rt::kPathNotFound : rt::kAccessDenied, rc,
                std::string("cannot create the file: ") + std::strerror(err));
  }
  bool ok = Exec(f, db, "PRAGMA journal_mode=WAL") && Exec(f, db, "BEGIN") &&
            CreateTable(f, db, table) && Exec(f, db, "COMMIT");
  sqlite3_close_v2(db);  // the last connection folds the WAL into the file
  if (ok && PathExists(tmp + "-wal")) {
    ok = false;
    Fail(f, rt::kDriverError, 0, "the new file could not be completed");
  }
  if (!ok) {
    RemoveDatabaseFiles(tmp);
    return;
  }
  if (missing) {
    if (!PlaceIfMissing(tmp, path)) {
      int err = errno;
      RemoveDatabaseFiles(tmp);
      if (err == EEXIST) return table.empty() ? rt::ClearError() : CreateFile(f, true);
      return Fail(f, rt::kAccessDenied, 0, std::string("cannot create the file: ") + std::strerror(err));
    }
  } else {
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
      int err = errno;
      RemoveDatabaseFiles(tmp);
      return Fail(f, rt::kAccessDenied, 0, std::string("cannot replace the file: ") + std::strerror(err));
    }
  }
  // The new name is durable once the folder is synced.
  if (!unsynced && !rt::SyncFolderOf(path))
    return Fail(f, rt::kDriverError, 0, std::string("cannot sync the folder: ") + std::strerror(errno));
  rt::ClearError();
}

void Isam::Create(FileDecl& f) { CreateFile(f, false); }
void Isam::CreateMissing(FileDecl& f) { CreateFile(f, true); }

// CLOSE writes what the WAL holds back into the file as far as the other
// connections let it; a write-back that the disk refuses (no space, a
// size limit, an I/O error) is the close's error, with the disk's reason.
// The records stay in the WAL then, and the next open reads them there.
void Isam::Close(FileDecl& f) {
  IsamState& s = *StateOf(f);
  rt::ClearError();
  bool ok = true;
  if (s.streaming) {
    s.streaming = false;
    ok = EndBatch(f, s, true);
  }
  rt::ErrorSnapshot e = rt::SaveError();
  if (s.inLogout) {  // its part of the transaction is rolled back
    EndBatch(f, s, false);
    std::erase(tTransaction, &f);
    s.inLogout = false;
  }
  // A file written without its WAL gets it back, synced, before anyone
  // else can open it. (After a failed batch it stays without: such a file
  // is never used, and is made again.)
  if (ok && s.unjournaled && s.db) {
    SetSync(s, true);
    if (JournalMode(s.db, "PRAGMA journal_mode=WAL") != "wal") {
      ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
      rt::SetFileError(rt::kDriverError, rt::FileErrorCode(),
                       rt::FileErrorText() + "; the file could not be given its WAL again", f.Name());
      e = rt::SaveError();
      ok = false;
    }
  }
  if (ok && !s.readOnly && s.db) {
    int rc = sqlite3_wal_checkpoint_v2(s.db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) {
      ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
      rt::SetFileError(rt::kDriverError, rt::FileErrorCode(),
                       rt::FileErrorText() + "; the records in its WAL could not be written back into the file",
                       f.Name());
      e = rt::SaveError();
      ok = false;
    }
  }
  f.StateSlot().reset();
  if (ok)
    rt::ClearError();
  else
    rt::RestoreError(e);
}

void Isam::Build(FileDecl& f) {
  IsamState& s = *StateOf(f);
  WriteOp(f, s, [&] {
    std::string T = s.sqlTable;
    std::string drop;
    for (size_t k = 0; k < f.Keys().size(); ++k)
      drop += "DROP INDEX IF EXISTS " + T + "_k" + std::to_string(k + 1) + ";";
    if (!Exec(f, s.db, drop)) return false;
    if (!f.Keys().empty() && (s.fullBuild || !s.keysComplete)) {
      std::string set;
      for (size_t k = 0; k < f.Keys().size(); ++k)
        set += std::string(k ? ", " : "") + "k" + std::to_string(k + 1) + " = ?" + std::to_string(k + 2);
      sqlite3_stmt *sel = nullptr, *upd = nullptr;
      // Records appended since the keys went stale carry their key values;
      // the others (written while stale, or with an optional key left out)
      // are encoded again. FULLBUILD encodes every record.
      std::string missing;
      for (size_t k = 0; k < f.Keys().size(); ++k)
        missing += std::string(k ? " OR " : "") + "k" + std::to_string(k + 1) + " IS NULL";
      std::string where = s.fullBuild ? std::string() : " AND (" + missing + ")";
      sqlite3_prepare_v2(s.db, ("SELECT id, rec FROM " + T + " WHERE id > ?1" + where + " ORDER BY id LIMIT 512").c_str(), -1, &sel, nullptr);
      sqlite3_prepare_v2(s.db, ("UPDATE " + T + " SET " + set + " WHERE id = ?1").c_str(), -1, &upd, nullptr);
      std::vector<uint8_t> saved(f.Record(), f.Record() + f.RecordLength());
      int64_t last = kIdMin;
      bool ok = sel && upd;
      std::vector<std::pair<int64_t, std::vector<uint8_t>>> batch;
      while (ok) {
        batch.clear();
        sqlite3_bind_int64(sel, 1, last);
        while (sqlite3_step(sel) == SQLITE_ROW) {
          const uint8_t* p = static_cast<const uint8_t*>(sqlite3_column_blob(sel, 1));
          size_t n = static_cast<size_t>(sqlite3_column_bytes(sel, 1));
          batch.emplace_back(sqlite3_column_int64(sel, 0), std::vector<uint8_t>(p, p + (p ? n : 0)));
        }
        sqlite3_reset(sel);
        if (batch.empty()) break;
        for (auto& [id, rec] : batch) {
          rec.resize(f.RecordLength(), 0);
          std::memcpy(f.Record(), rec.data(), f.RecordLength());
          std::vector<std::string> keys(f.Keys().size());
          sqlite3_bind_int64(upd, 1, id);
          for (size_t k = 0; k < keys.size(); ++k) {
            if (KeyValue(f, k, id, keys[k]))
              sqlite3_bind_blob(upd, static_cast<int>(k + 2), keys[k].data(), static_cast<int>(keys[k].size()), SQLITE_STATIC);
            else
              sqlite3_bind_null(upd, static_cast<int>(k + 2));
          }
          if (sqlite3_step(upd) != SQLITE_DONE) ok = false;
          sqlite3_reset(upd);
          last = id;
          if (!ok) break;
        }
      }
      if (!ok) ReportSql(f, sqlite3_extended_errcode(s.db), s.db);
      sqlite3_finalize(sel);
      sqlite3_finalize(upd);
      std::memcpy(f.Record(), saved.data(), f.RecordLength());
      if (!ok) return false;
    }
    std::string create;
    for (size_t k = 0; k < f.Keys().size(); ++k) {
      std::string n = std::to_string(k + 1);
      create += std::string("CREATE ") + ((f.Keys()[k].attrib & kKeyDup) ? "" : "UNIQUE ") +
                "INDEX " + T + "_k" + n + " ON " + T + " (k" + n + ");";
    }
    std::string tbl = s.table;
    std::string esc;
    for (char c : tbl) esc += c == '\'' ? std::string("''") : std::string(1, c);
    create += "UPDATE vm_files SET stale = 0 WHERE tbl = '" + esc + "';";
    return Exec(f, s.db, create);
  });
  if (rt::ErrorCode() == 0) {
    s.stale = false;
    s.fullBuild = false;
    s.keysComplete = false;
  }
}

void Isam::Remove(FileDecl& f) {
  std::string path = HostPath(f.Name()), table = TableOf(f.Name());
  if (!PathExists(path)) return rt::SetError(rt::kFileNotFound);
  if (!FileIsFree(path)) return rt::SetError(rt::kAccessDenied);
  if (table.empty()) {
    RemoveLockFile(path);
    RemoveDatabaseFiles(path);
    return PathExists(path) ? rt::SetError(rt::kAccessDenied) : rt::ClearError();
  }
  if (CheckFormat(path).kind != FormatCheck::Ours) return rt::SetError(rt::kInvalidDataFile);
  sqlite3* db = nullptr;
  BusyWait wait;
  wait.ms = LockWait() * 1000;
  OpenConnection(path, SQLITE_OPEN_READWRITE, wait, &db);
  std::string esc;
  for (char c : table) esc += c == '\'' ? std::string("''") : std::string(1, c);
  bool ok = Exec(f, db, "BEGIN IMMEDIATE; DROP TABLE IF EXISTS " + SqlTable(table) +
                            "; DELETE FROM vm_files WHERE tbl = '" + esc + "'; COMMIT");
  sqlite3_close_v2(db);
  if (ok) rt::ClearError();
}

void Isam::Copy(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (to.empty() || PathExists(to) || !FileIsFree(from)) return rt::SetError(rt::kAccessDenied);
  if (!Quiesce(f, from)) return;
  if (!CopyFileBytes(from, to)) return rt::SetError(rt::kAccessDenied);
  rt::ClearError();
}

// RENAME moves the main file alone, so only once it holds every record;
// the new name (and the old one's removal) is durable when it returns.
void Isam::Rename(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (to.empty() || PathExists(to) || !FileIsFree(from)) return rt::SetError(rt::kAccessDenied);
  if (!Quiesce(f, from)) return;
  std::remove((from + "-shm").c_str());
  RemoveLockFile(from);
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    const int err = errno;
    return Fail(f, err == EIO || err == ENOSPC || err == EDQUOT ? rt::kDriverError : rt::kAccessDenied, 0,
                std::string("cannot rename the file: ") + std::strerror(err));
  }
  const bool synced = rt::SyncFolderOf(to) && (std::filesystem::path(from).parent_path() ==
                                                   std::filesystem::path(to).parent_path() ||
                                               rt::SyncFolderOf(from));
  if (!synced)
    return Fail(f, rt::kDriverError, 0, std::string("cannot sync the folder: ") + std::strerror(errno));
  rt::ClearError();
}

// Driver commands: "FULLBUILD=on|off", "Recover=<seconds>" (the time
// waited for a lock). A command without "=" asks for the setting.
DriverCommand ParseCommand(std::string_view cmd) {
  DriverCommand c;
  size_t eq = cmd.find('=');
  c.name = cmd.substr(0, eq);
  for (char& ch : c.name) ch = static_cast<char>(Upper1252(static_cast<uint8_t>(ch)));
  c.query = eq == std::string_view::npos;
  if (!c.query) c.value = cmd.substr(eq + 1);
  return c;
}

void ApplyCommand(IsamState& s, std::string_view cmd, std::string* answer) {
  const DriverCommand command = ParseCommand(cmd);
  const std::string& name = command.name;
  const std::string& value = command.value;
  const bool query = command.query;
  if (name == "FULLBUILD") {
    if (query && answer) *answer = s.fullBuild ? "on" : "off";
    if (!query) s.fullBuild = command.On();
  } else if (name == "NOMEMO") {
    s.noMemo = true;
  } else if (name == "SYNC" && !query && s.db) {
    // "SYNC=off" for a file that is rebuilt from another one: its commits
    // are not waited for on disk until "SYNC=on" (the next commit or close
    // then syncs everything written before it).
    const bool on = command.On();
    // SQLite refuses a new level inside a transaction: one sent during a
    // batch holds from the batch's end.
    if (!sqlite3_get_autocommit(s.db))
      s.pendingSync = on ? 1 : 0;
    else
      SetSync(s, on);
    // Such a file is of no use until it is complete (a crash builds it
    // again from the other), so it is written without the WAL, each page
    // once (its rollback journal is in memory), with a large cache, and
    // read back through a memory map while its keys are built. CLOSE
    // gives it its WAL again.
    if (!on && !s.unjournaled && !s.InTx() && !s.readOnly &&
        JournalMode(s.db, "PRAGMA journal_mode=MEMORY") == "memory") {
      s.unjournaled = true;
      sqlite3_exec(s.db, "PRAGMA cache_size=-65536; PRAGMA mmap_size=17179869184", nullptr, nullptr, nullptr);
    }
  } else if (name == "RECOVER") {
    if (query && answer) *answer = std::to_string(s.busyMs / 1000);
    if (!query) {
      long secs = std::strtol(value.c_str(), nullptr, 10);
      s.busyMs = secs > 0 ? static_cast<int>(std::min(secs, 3600L) * 1000) : LockWait() * 1000;
      s.wait.ms = s.busyMs;
      if (s.db) WaitFor(s.db, s.wait, s.busyMs);
    }
  }
}

std::string Isam::Send(FileDecl& f, std::string_view command) {
  rt::ClearError();
  std::string answer;
  if (IsamState* s = StateOf(f)) {
    ApplyCommand(*s, command, &answer);
  } else if (command.find('=') != std::string_view::npos) {
    f.SentCommands().emplace_back(command);  // applied at the next open
  }
  return answer;
}

}  // namespace db::isam
