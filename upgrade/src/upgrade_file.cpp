// The upgrade driver: finds the stored structure that opens the old file,
// moves the old file aside, builds the new file under a work name, copies
// every record in batches, rebuilds the keys and puts the new file in
// place. The old file is removed only when every record it held is in the
// new one; otherwise it stays under its backup name and the user is told.
// Into an SQL table (the SQL check created it) each record is one INSERT
// statement, written in transactions of the table's connection.
#include "velmora/upgrade/upgrade_file.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "conversion_window.h"
#include "journal.h"
#include "statement_file.h"
#include "velmora/files/files.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/conversion.h"
#include "velmora/upgrade/format.h"
#include "velmora/upgrade/insert_lists.h"
#include "velmora/upgrade/openhook.h"
#include "velmora/upgrade/settings.h"
#include "velmora/upgrade/sql_entry.h"
#include "velmora/upgrade/sql_exec.h"
#include "velmora/upgrade/sqltext.h"
#include "velmora/upgrade/store.h"
#include "velmora/upgrade/structure.h"

namespace upg {
namespace {

constexpr rt::Long kBatch = 10000;
constexpr int kLogoutSeconds = 30;
// ADD, APPEND, or (into an SQL table without either switch) one INSERT
// statement per record.
enum class AddMode { Add, Append, Insert };

ConversionProbe probe = nullptr;
void Probe(const char* step) {
  if (probe) probe(step);
}

std::string Code() { return std::to_string(rt::ErrorCode()); }
std::string ErrorLine() { return Code() + " " + rt::ErrorText(); }

// Starts the next batch of writes: a transaction, or for an ISAM
// destination stream mode when the transaction cannot start (an SQL table
// then takes each statement by itself).
void StartWriting(db::FileDecl& out, bool first) {
  ConversionState& c = Conversion();
  if (ConversionDetected()) {
    c.streamed = false;
    db::Logout(kLogoutSeconds, {&out});
    c.sqlTransaction = rt::ErrorCode() == 0;
    Trace(Flag::B, std::string(first ? "Logout started [1] " : "Logout started [3] ") + ErrorLine());
    return;
  }
  if (rt::Upper(db::GetProperty(out, db::Prop::Driver)) == "TAVREL") {
    Trace(Flag::B, "Tavrel file detected - Streaming...");
    db::Stream(out);
    c.streamed = true;
    Trace(Flag::B, "Attempting to stream err: " + ErrorLine());
    return;
  }
  db::Logout(kLogoutSeconds, {&out});
  Trace(Flag::B, std::string(first ? "Logout started [2] " : "Logout started [4] ") + ErrorLine());
  if (rt::ErrorCode() != 0) {
    Trace(Flag::B, "Attempting Stream...");
    db::Stream(out);
    c.streamed = true;
    Trace(Flag::B, "Attempting to stream err: " + ErrorLine());
  } else {
    c.streamed = false;
  }
}

// Ends a batch: flush (stream mode) or commit. False when it failed: the
// batch's records may not be in the file.
bool EndBatch(db::FileDecl& out, const char* commitTrace) {
  if (Conversion().streamed) {
    db::Flush(out);
    Trace(Flag::B, "Attempted Flush...");
  } else {
    db::Commit();
    Trace(Flag::B, std::string(commitTrace) + rt::ErrorText());
  }
  return rt::ErrorCode() == 0;
}

// The old file goes back under its own name when a conversion stops
// before the new file could take its place.
void MoveOldFileBack(db::FileDecl& like) {
  ConversionState& c = Conversion();
  if (c.backupName.empty()) return;
  if (db::IsOpen(InFile())) db::Close(InFile());
  // Into an SQL table, or from an old-format file, the old file is
  // another file, with its own name.
  const bool sql = ConversionDetected();
  const bool other = sql || OldFormatSource();
  const std::string home = other ? c.inFileName : c.fileName;
  std::unique_ptr<db::FileDecl> f = other ? InFile().Clone() : like.Clone();
  if (!sql && FileExists(WorkName(c.fileName))) {
    f->SetName(FileOfTable(WorkName(c.fileName)));
    db::Remove(*f);
  }
  f->SetName(c.backupName);
  if (c.backupIsCopy) {
    f->SetName(FileOfTable(c.backupName));
    if (CurrentOptions().backup == 0) db::Remove(*f);  // the file itself never moved
    c.restored = true;
  } else {
    db::Rename(*f, home);
    c.restored = rt::ErrorCode() == 0;
    Trace(Flag::B, std::string(c.restored ? "Old file moved back: " : "Old file could not be moved back: ") +
                       c.backupName + " - " + home + " " + rt::ErrorText());
  }
  if (c.restored && !sql) RemoveJournal(c.fileName);
}

// Shows the conversion's losses: how many records are not in the new
// file, why, and where the old data is.
void ReportLoss(const std::string& why, const std::string& where) {
  ConversionState& c = Conversion();
  std::string text = "RV3: " + std::to_string(c.notConverted) + " of " +
                     std::to_string(std::max(c.total, RecordNumber())) + " records were not converted (" +
                     why + "). File : " + rt::Clip(c.fileName) + ". The old data is kept in " + rt::Clip(where);
  Trace(Flag::B, text);
  rt::Stop(text);
}

// Shows the declared fields that no alternate name could feed (they were
// left empty) and where the old data is.
void ReportUnmatchedAlternates(const std::string& where) {
  std::string fields;
  for (const UnmatchedAlternate& u : UnmatchedAlternates()) {
    std::string names;
    for (const std::string& s : u.sources) names += (names.empty() ? "" : ", ") + s;
    fields += (fields.empty() ? "" : ", ") + u.destination + " (" + names + ")";
  }
  const bool one = UnmatchedAlternates().size() == 1;
  std::string text = "RV3: No field of the old file matches the alternate names of " + fields +
                     (one ? "; it was" : "; they were") + " left empty. File : " +
                     rt::Clip(Conversion().fileName) + ". The old data is kept in " + rt::Clip(where);
  Trace(Flag::B, text);
  rt::Stop(text);
}

struct PassResult {
  bool readToEnd = false, batchesOk = true, flushed = false, keysBuilt = false;
  int buildError = 0;
  rt::Long writeErrors = 0, duplicates = 0, written = 0;
  std::string refusal;  // the disk's reason when it refused the new file
};

// The reason of the error that stands, as the driver gave it.
std::string Reason() { return rt::FileErrorText().empty() ? ErrorLine() : rt::FileErrorText(); }

// The disk refused the new file (no space, a size limit, a write error):
// the conversion stopped with the old data kept; one box says what
// happened and what to do.
void ReportDiskRefusal(const std::string& reason) {
  ConversionState& c = Conversion();
  std::error_code ec;
  const std::filesystem::path host(db::HostPath(c.fileName));
  std::filesystem::path folder = std::filesystem::absolute(host, ec).lexically_normal().parent_path();
  if (ec) folder = host.parent_path();
  std::string text = "RV3: The conversion of " + rt::Clip(c.fileName) + " stopped: " + reason +
                     ". No record was lost: the old data is kept in " +
                     rt::Clip(c.restored ? (ConversionDetected() ? c.inFileName : c.fileName) : c.backupName) +
                     ". Free space on " + rt::FromUtf8(folder.string()) + " and start the program again.";
  Trace(Flag::B, text);
  rt::Stop(text);
}

// After a record's write to `out`, with its error set: counts it, and
// shows a failure (a duplicate key is counted and traced, reported at the
// end). A failure that fails every later record too (the disk is full) is
// not shown here: it stops the copy (r.refusal).
void CountWrite(PassResult& r, rt::Long record, const db::FileDecl* out = nullptr) {
  if (rt::ErrorCode() == 0) {
    ++r.written;
  } else if (rt::ErrorCode() == rt::kDuplicateKey) {
    ++r.duplicates;
    Trace(Flag::B, "Record " + std::to_string(record) + " not written: " + ErrorLine());
  } else if (out && db::WritesCannotGoOn(*out)) {
    ++r.writeErrors;
    r.refusal = Reason();
    Trace(Flag::B, "Record " + std::to_string(record) + " not written, the copy stops: " + ErrorLine() + " " +
                       rt::FileErrorText());
  } else {
    ++r.writeErrors;
    std::string text = ReadMessage(kM8);
    std::string details = " " + ErrorLine() + " File Driver Error : " + rt::FileErrorText();
    rt::Stop("RV3: " + rt::Clip(text) + details);
    Trace(Flag::B, "RV3: " + std::string(kM8.text) + details);
  }
}

// One record's INSERT statement into an SQL table: its lists, kept for the
// traces of a refusal, and its record number (the text is kept beside).
struct InsertStatement {
  std::string names, values;
  rt::Long record = 0;
};

void TraceStatement(const std::string& text) {
  if (FlagOn(Flag::B)) Trace(Flag::B, "About to execute statement: " + MaskPasswords(text));
}

// A statement the server refused (90), with the error set: shown with its
// text; the error stays set.
void ReportRefusedInsert(const InsertStatement& s, const std::string& text) {
  if (rt::ErrorCode() != rt::kDriverError) return;
  const rt::ErrorSnapshot error = rt::SaveError();
  const std::string why = "RV3 Data Conversion error on insert: " + rt::FileErrorState() + " " +
                          rt::FileErrorText();
  if (FlagOn(Flag::B)) {
    Trace(Flag::B, "FieldNames: [4] " + s.names);
    Trace(Flag::B, "FieldValues: [4] " + MaskPasswords(s.values));
    Trace(Flag::B, why + " " + MaskPasswords(text));
  }
  rt::Stop(why + "\r\n" + MaskPasswords(text));
  rt::RestoreError(error);
}

// The INSERT statements of the records, run through the server's
// statement file. Inside a transaction they wait and go to the server in
// groups; either way each is traced, and each failure reported, in record
// order with the error the statement gives when it runs alone, and no
// statement after a failing one runs before the failure is reported.
class Inserts {
 public:
  explicit Inserts(std::string table) : table_(std::move(table)) {}

  // A record whose every value is left out (zeronull) has no column list:
  // MySQL takes "() VALUES ()", the standard servers only DEFAULT VALUES
  // (Oracle takes neither, so it keeps the form that reports its error).
  std::string Statement(const InsertLists& l) const {
    const Dialect d = InsertDialect();
    if (rt::Clip(l.names).empty() && d != Dialect::MySql && d != Dialect::Oracle)
      return "INSERT INTO " + table_ + " DEFAULT VALUES";
    return "INSERT INTO " + table_ + " (" + l.names + ") VALUES (" + l.values + ")";
  }

  void Add(rt::Long record, bool grouped, PassResult& r) {
    const InsertLists& l = Insert();
    queue_.push_back({l.names, l.values, record});
    texts_.push_back(Statement(l));
    if (!grouped || queue_.size() >= kGroup) Send(r);
  }

  // Runs what waits.
  void Send(PassResult& r) {
    db::FileDecl* server = CurrentSQLFile();
    for (size_t from = 0; from < queue_.size();) {
      size_t ran = 0;
      if (server)
        ran = db::RunSqlStatements(*server, texts_, from);
      else
        rt::SetError(rt::kFileNotOpen);
      const rt::ErrorSnapshot error = rt::SaveError();
      for (size_t i = from; i < from + ran; ++i) {
        TraceStatement(texts_[i]);
        rt::ClearError();
        CountWrite(r, queue_[i].record);
      }
      from += ran;
      if (from == queue_.size()) break;
      rt::RestoreError(error);
      TraceStatement(texts_[from]);
      ReportRefusedInsert(queue_[from], texts_[from]);
      CountWrite(r, queue_[from].record);
      ++from;
    }
    queue_.clear();
    texts_.clear();
  }

 private:
  static constexpr size_t kGroup = 1000;
  std::string table_;
  std::vector<InsertStatement> queue_;
  std::vector<std::string> texts_;  // the statements of queue_, as the server gets them
};

// Steps 16 to 24 and the flush and close of step 25: creates and opens
// the new file, copies every record of the old one into it and builds the
// keys. False when the conversion stopped (the old file was moved back).
bool CopyPass(db::FileDecl& file, db::FileDecl& out, AddMode addMode, bool bit0, ConversionWindow& window,
              const std::string& oldName, PassResult& r) {
  ConversionState& c = Conversion();
  const bool sql = ConversionDetected();
  Inserts inserts(sql ? SqlTableName(InsertDialect(), rt::Clip(c.fileName)) : std::string());
  RecordNumber() = 0;
  // 16. Created (an SQL table was created by the SQL check).
  if (!sql) {
    Trace(Flag::B, "RV3create: " + c.fileName);
    // The work file is never used before it is complete (see step 18):
    // it is made without waiting for the disk.
    db::Send(out, "SYNC=off");
    if (CopyOtherTables(out)) db::Create(out);
    if (rt::ErrorCode() != 0) {
      std::string details = " " + rt::Clip(c.fileName) + " " + ErrorLine();
      StopMessage(kM6Create, details);
      MoveOldFileBack(file);
      return false;
    }
    Trace(Flag::B, "File created " + c.fileName);
  }
  Probe("created");
  // 17. Opened exclusively.
  db::Open(out, db::kReadWrite | db::kDenyAll);
  c.row.fileName = c.fileName;
  if (rt::ErrorCode() != 0) {
    Trace(Flag::B, "Error occured opening outfile: " + Code() + ": " + rt::ErrorText());
    if (rt::ErrorCode() == rt::kAccessDenied && c.fileName.find("\\!") != std::string::npos) {
      Trace(Flag::B, "Error 5 Access Denied, trying share...");
      db::Open(out, db::kReadWrite | db::kDenyNone);
      if (rt::ErrorCode() == 0)
        Trace(Flag::B, "Share open successful...");
      else
        Trace(Flag::B, "Error occured attempting a share open of outfile: " + Code() + ": " + rt::ErrorText());
    }
    if (rt::ErrorCode() != 0) {
      std::string details = " " + rt::Clip(c.fileName) + " " + rt::ErrorText() + " " + rt::FileErrorText();
      StopMessage(kM6Open, details);
      MoveOldFileBack(file);
      return false;
    }
  }
  // 18. Writing starts. The work file's batches need not wait for the
  // disk: until it is complete it is never used (a crash converts again
  // from the old file); the last commit syncs everything.
  if (!sql) db::Send(out, "SYNC=off");
  StatementFile statements(sql);
  StartWriting(out, true);
  // 19. The declaration again, and DST over the new file's buffers.
  Trace(Flag::F, "About to call ReadFormat 2");
  ReadFormat(file);
  Trace(Flag::F, "Format read, about to load Q");
  LoadDstQueue(out);
  // 20. The old file, under its backup name.
  db::FileDecl& in = InFile();
  db::Open(in, db::kReadWrite | db::kDenyAll);
  Trace(Flag::B, "Infile Opened - Error = " + rt::ErrorText());
  if (rt::ErrorCode() != 0 && rt::ErrorCode() != rt::kKeysMustBeRebuilt) {
    Trace(Flag::B, "Error occured opening infile: " + Code() + ": " + rt::ErrorText());
    if (rt::ErrorCode() == rt::kAccessDenied && c.backupName.find("\\!") != std::string::npos) {
      db::Open(in, db::kReadWrite | db::kDenyNone);
      if (rt::ErrorCode() != 0)
        Trace(Flag::B, "Error occured attempting a share open of infile: " + Code() + ": " + rt::ErrorText());
    }
    if (rt::ErrorCode() != 0 && rt::ErrorCode() != rt::kKeysMustBeRebuilt) {
      std::string text = ReadMessage(kM7);
      std::string details = " " + rt::ErrorText() + " " + rt::Clip(oldName);
      db::Close(out);
      rt::Stop("RV3: " + rt::Clip(text) + details);
      Trace(Flag::B, "RV3: " + std::string(kM7.text) + details);
      MoveOldFileBack(file);
      return false;
    }
  }
  // 21. Reading starts.
  window.Message() = ReadMessage(bit0 ? kM18 : kM12);
  window.Display();
  Trace(Flag::B, "records to be converted : " + std::to_string(c.total));
  db::Stream(in);
  db::Send(in, "QUICKSCAN=ON");
  db::Send(in, "/QUICKSCAN=true");
  LoadSrcQueue(in);
  LoadAlternateNames();
  db::Set(in);
  Trace(Flag::B, "About to Copy records..." + rt::ErrorText());
  c.batchCounter = 1;

  // 22. Every record.
  int readError = 0;
  for (;;) {
    db::Next(in);
    if (rt::ErrorCode() != 0) {
      readError = rt::ErrorCode();
      break;
    }
    rt::Long n = ++RecordNumber();
    rt::Long percent = c.total > 0 ? static_cast<rt::Long>(int64_t{n} * 100 / c.total) : 0;
    if (percent != window.Percent()) {
      window.Percent() = percent;
      window.DisplayProgress();
    }
    out.ClearRecord();
    for (db::MemoDesc& m : out.Memos()) m.data.clear();
    if (sql) ClearInsertLists();
    CopyRec(in, out);
    if (addMode == AddMode::Insert) {
      inserts.Add(n, c.sqlTransaction, r);
    } else {
      if (addMode == AddMode::Add)
        db::Add(out);
      else
        db::Append(out);
      // Never dropped without a word: a duplicate is counted and traced.
      CountWrite(r, n, &out);
    }
    if (!r.refusal.empty()) break;
    if (++c.batchCounter > kBatch) {
      inserts.Send(r);
      r.batchesOk = EndBatch(out, sql ? "RV3: Committing records... [1] err: "
                                      : "RV3: Committing records... [2] err: ") &&
                    r.batchesOk;
      if (!sql && !r.batchesOk && db::WritesCannotGoOn(out)) {
        r.refusal = Reason();
        break;
      }
      Probe("batch");
      StartWriting(out, false);
      c.batchCounter = 1;
    }
  }
  if (!r.refusal.empty()) {
    // The disk refuses the new file: nothing more is written to it.
    Trace(Flag::B, "RV3: the copy stopped after record " + std::to_string(RecordNumber()) + ": " + r.refusal);
    r.batchesOk = false;
    db::Close(out);
    db::Close(in);
    return true;
  }
  inserts.Send(r);
  // 23. The end of the old file: only "no more records" is a clean end.
  r.readToEnd = readError == rt::kRecordNotAvailable;
  Trace(Flag::B, "records converted : " + std::to_string(RecordNumber()) + " final error : " +
                     rt::ErrorText() + ", b:" + std::to_string(bit0 ? 1 : 0) + ", c:" +
                     EngineCommand("/AddRecords"));
  if (!r.readToEnd)
    Trace(Flag::B, "Error reading source file " + std::to_string(readError) + " after record " +
                       std::to_string(RecordNumber()));
  // 24. The last commit and the keys (a table's keys are the server's).
  if (!sql) db::Send(out, "SYNC=on");
  if (addMode == AddMode::Add) {
    r.batchesOk = EndBatch(out, "RV3: Committing records... [3] err: ") && r.batchesOk;
    r.keysBuilt = true;
  } else {
    Trace(Flag::B, "RV3: building keys...");
    window.Message() = ReadMessage(kM17);
    window.Percent() = 0;
    window.Display();
    r.batchesOk = EndBatch(out, sql ? "RV3: Committing records... [4] err: "
                                    : "RV3: Committing records... [5] err: ") &&
                  r.batchesOk;
  }
  if (!sql && !r.batchesOk && db::WritesCannotGoOn(out)) r.refusal = Reason();
  if (sql) {
    r.keysBuilt = true;  // the server keeps the table's keys
  } else if (addMode != AddMode::Add && r.refusal.empty()) {
    Probe("copied");
    db::Build(out);
    r.keysBuilt = rt::ErrorCode() == 0;
    r.buildError = rt::ErrorCode();
    if (!r.keysBuilt) {
      std::string text = "RV3: Error building keys [2] : " + ErrorLine() + " " + rt::Clip(c.fileName);
      Trace(Flag::B, text);
      // Old records that duplicate a unique key are found record by record
      // in a second copy (below); a refusal of the disk is shown once the
      // old file is back; any other failure is shown here.
      if (db::WritesCannotGoOn(out))
        r.refusal = Reason();
      else if (r.buildError != rt::kDuplicateKey)
        rt::Stop(text);
    }
    Probe("built");
  }
  // 25. Flushed and closed. A table holds the records its statements
  // wrote (it was created empty).
  if (!sql) db::Flush(out);
  r.flushed = rt::ErrorCode() == 0;
  if (!r.flushed && r.refusal.empty()) r.refusal = Reason();
  c.written = sql ? r.written : static_cast<rt::Long>(db::Records(out));
  // The close writes the records back from the WAL into the file.
  db::Close(out);
  if (r.flushed && rt::ErrorCode() != 0 && r.refusal.empty()) r.refusal = Reason();
  r.flushed = r.flushed && rt::ErrorCode() == 0;
  db::Flush(in);
  db::Close(in);
  return true;
}

// Once the new file is in place: the old one goes (unless backups are
// kept) when it was converted whole; otherwise it stays and the user is
// told what is missing.
void KeepOrRemoveOldFile(bool complete, const PassResult& r) {
  ConversionState& c = Conversion();
  const bool unmatched = AlternatesLeftOldDataBehind();
  if (complete && !unmatched) {
    if (CurrentOptions().backup == 0) {  // a table's backup is its whole file
      std::unique_ptr<db::FileDecl> old = InFile().Clone();
      old->SetName(FileOfTable(c.backupName));
      db::Remove(*old);
    }
    return;
  }
  c.oldKept = true;
  if (!complete) {
    if (!r.readToEnd)
      ReportLoss("the old file could not be read to its end", c.backupName);
    else if (r.duplicates > 0)
      ReportLoss(std::to_string(r.duplicates) + " would duplicate a unique key", c.backupName);
    else
      ReportLoss("write errors", c.backupName);
  }
  if (unmatched) ReportUnmatchedAlternates(c.backupName);
}

// Puts the complete new file under the file's name. False, with the
// reason in `why`, when it cannot: the name is held by another file, or
// the rename failed; nothing is removed then.
bool PlaceNewFile(db::FileDecl& file, db::FileDecl& out, std::string& why) {
  ConversionState& c = Conversion();
  if (c.backupIsCopy && FileExists(c.fileName)) {  // the old file, copied into the backup
    std::unique_ptr<db::FileDecl> old = file.Clone();
    old->SetName(FileOfTable(c.fileName));  // a table's new file holds the other tables
    db::Remove(*old);
    if (rt::ErrorCode() != 0) {
      why = "the old file could not be removed: " + ErrorLine() + " " + rt::FileErrorText();
      return false;
    }
  }
  if (FileExists(c.fileName)) {
    why = "another file holds the name";
    return false;
  }
  db::Rename(out, c.fileName);
  if (rt::ErrorCode() != 0) {
    why = ErrorLine() + " " + rt::FileErrorText();
    return false;
  }
  return true;
}

// The new file is complete but did not take the file's place: both copies
// stay, the journal is left for the next open (which no longer waits for
// this process) and the user is told where the data is.
void ReportFailedPlacing(const std::string& why) {
  ConversionState& c = Conversion();
  c.oldKept = true;
  std::string text = "RV3: The converted file could not take the place of " + rt::Clip(c.fileName) + " (" +
                     why + "). The converted records are kept in " + WorkName(c.fileName) +
                     ", the old data in " + rt::Clip(c.backupName) +
                     ". The next open of the file finishes the conversion.";
  Trace(Flag::B, text);
  rt::Stop(text);
}

struct Leave {
  ConversionWindow& window;
  bool storeOpened = false;
  ~Leave() {
    Trace(Flag::A, "ds_UpgradeFileEx Out ");
    // A journal left behind is for the next open, which need not wait.
    if (!ConversionDetected() && !Conversion().fileName.empty()) ReleaseJournal(Conversion().fileName);
    *GetUpgradingFlag() = 0;
    window.Close();
    SetCurrentConversionWindow(nullptr);
    if (db::IsOpen(InFile())) db::Close(InFile());
    if (storeOpened && db::IsOpen(UpgFile())) db::Close(UpgFile());
    SrcQueue().clear();
    DstQueue().clear();
    AfnQueue().clear();
  }
};

}  // namespace

ConversionState& Conversion() {
  static ConversionState state;
  return state;
}

std::vector<ConversionRow>& RVQ() {
  static std::vector<ConversionRow> rows;
  return rows;
}

std::vector<OldFileName>& OFN() {
  static std::vector<OldFileName> rows;
  return rows;
}

void SetConversionProbe(ConversionProbe p) { probe = p; }

void LoadAlternateNames() {
  std::vector<AlternateName>& afn = AfnQueue();
  afn.clear();
  UnmatchedAlternates().clear();
  for (const AlternateName& a : AlternateNames()) {
    bool declared = std::any_of(DstQueue().begin(), DstQueue().end(), [&](const FieldRow& r) {
      return rt::Upper(rt::Clip(r.name)) == a.destination;
    });
    if (declared) afn.push_back(a);
  }
}

void ds_UpgradeFile(db::FileDecl& file) {
  Trace(Flag::A, "ds_UpgradeFile In ");
  ds_UpgradeFileEx(file, 0);
  Trace(Flag::A, "ds_UpgradeFile Out ");
}

void ds_UpgradeFileEx(db::FileDecl& file, rt::Long mode) {
  // 1. The wait window, the state, the clock.
  ConversionWindow window;
  SetCurrentConversionWindow(&window);
  Leave leave{window};
  ConversionState& c = Conversion();
  c = ConversionState{};
  c.file = &file;
  RecordNumber() = 0;
  const std::string cause = rt::ErrorText();
  Trace(Flag::A, "ds_UpgradeFileEx In " + file.Name() + "  " + std::to_string(mode) + " cause " + cause);
  if (*GetUpgradingFlag() == 0) *GetUpgradingFlag() = 1;
  if (EngineSwitch("/Profile")) ProfileReport(1);
  const rt::Long started = ProfileClock();

  // 2. Only a file declared with the create attribute is built anew.
  Trace(Flag::B, "Checking for File Create attribute... " + db::GetProperty(file, db::Prop::Create));
  if ((file.Attributes() & db::kAttrCreate) == 0) {
    Trace(Flag::B, "File Create attribute is not on. Cannot upgrade file!");
    return;
  }
  // 3. How records are written.
  const bool bit0 = (mode & 1) != 0;
  const bool addSwitch = EngineSwitch("/AddRecords");
  const bool sql = ConversionDetected();
  const AddMode addMode = addSwitch || bit0                               ? AddMode::Add
                          : sql && !EngineSwitch("/AppendRecords") ? AddMode::Insert
                                                                   : AddMode::Append;
  // 4.
  c.fileName = file.Name();
  Trace(Flag::B, "About to attempt upgrading file " + c.fileName);
  OldFormatSource() = 0;

  // 5. The version store.
  SetUpgFileName();
  db::Open(UpgFile(), db::kReadWrite | db::kDenyNone);
  if (rt::ErrorCode() != 0 && rt::ErrorCode() != rt::kFileAlreadyOpen) {
    StopMessage(kM2Convert, " " + ErrorLine() + " Name : " + rt::Clip(UpgFileName()));
    return;
  }
  leave.storeOpened = rt::ErrorCode() == 0;

  // 6. The declaration, serialised.
  Trace(Flag::B, "About to call ReadFormat 1");
  rt::Long format = ReadFormat(file);
  if (format == kFormatNoDriver) {
    Trace(Flag::B, "RV3: ReadFormat returned 1 (no file driver identified!). File : " + c.fileName);
    return;
  }
  if (format == kFormatTooLarge) {
    StopMessage(kM14Convert, " " + rt::Clip(c.fileName));
    return;
  }
  // 7. The declared structure and DESTFILE.
  LoadDstQueue(file);
  MakeFile(kDestFile);
  DestFileName().clear();

  // 8. The prefix of the declaration's field names.
  std::string prefix;
  for (const FieldRow& r : DstQueue())
    if (size_t colon = r.name.find(':'); colon != std::string::npos) {
      prefix = r.name.substr(0, colon);
      break;
    }
  if (prefix.empty())
    for (const FieldRow& r : DstQueue())
      if (size_t bar = r.name.find('_'); bar != std::string::npos) {
        prefix = r.name.substr(0, bar);
        break;
      }
  if (prefix.empty()) {
    Trace(Flag::B, "records dst queue = " + std::to_string(DstQueue().size()) + " dst:name " +
                       c.fileName + " Error getting record : " + rt::ErrorText());
    std::string text = ReadMessage(kM3);
    if (!SilentMode()) rt::Stop("RV3: " + rt::Clip(text) + " " + rt::Clip(c.fileName));
    return;
  }
  // 9. The registered file.
  prefix = rt::Upper(rt::Clip(prefix));
  c.row.prefix = prefix;
  for (const UsedFile& u : UsedFiles())
    if (u.prefix == prefix) c.used = &u;
  if (!c.used) {
    std::string text = ReadMessage(kM4);
    Trace(Flag::B, "RV3: Unable to upgrade file - Not \"Using\" file " + prefix);
    Trace(Flag::B, "Records ufQueue = " + std::to_string(UsedFiles().size()));
    for (const UsedFile& u : UsedFiles()) Trace(Flag::B, u.prefix + " " + std::to_string(u.version));
    return;
  }
  // Alternate source names without a colon are fields of this file
  // (an SQL check has set the prefix of the table it interpreted).
  struct PrefixScope {
    std::string saved = FilePrefix();
    ~PrefixScope() { FilePrefix() = saved; }
  } prefixScope;
  if (!sql || rt::Clip(FilePrefix()).empty()) FilePrefix() = prefix;

  // 10-13. The stored structure that opens the old file.
  OemFlag() = DeclaredOemFlag(file);
  InFileName() = c.fileName;
  UpgradeLoop();
  Trace(Flag::D, "UpgradeFileEX (d) ");
  if (!c.found) SearchOldFileName();
  if (!c.found) {
    Trace(Flag::B, "No matching structure found - searching for pre-super files");
    size_t bang = c.fileName.find('!');
    InFileName() = bang == std::string::npos ? c.fileName : c.fileName.substr(bang + 1);
    Trace(Flag::D, "UpgradeFileEX (g)");
    if (InFileName() != c.fileName) UpgradeLoop();
    Trace(Flag::D, "UpgradeFileEX (h)");
  }
  if (!c.found && OldDatDriverPresent()) {
    Trace(Flag::B, "No matching structure found - searching for old Tavrel file");
    InFileName() = c.fileName;
    const std::vector<IgnoredDriver>& igd = IgnoredDrivers();
    auto ignored = [&](const std::string& name) {
      for (const IgnoredDriver& d : igd)
        if (d.name == name) return (d.flags & 1) != 0;
      return false;
    };
    Trace(Flag::B, "Looking for all files - igd:name = ALLFILES error was " + rt::ErrorText());
    if (!ignored("ALLFILES") && !ignored(rt::Upper(rt::Clip(c.used->label)))) {
      Trace(Flag::D, "UpgradeFileEX (i)");
      UpgradeFromDatFile();
      Trace(Flag::D, "UpgradeFileEX (j)");
    }
  }
  if (!c.found) {
    Trace(Flag::D, "UpgradeFileEX (k)");
    return;
  }

  // 14. Found: the count, the wait window.
  Trace(Flag::D, "match found a.");
  c.total = static_cast<rt::Long>(db::Records(InFile()));
  db::Close(InFile());
  Trace(Flag::D, "match found b.");
  Trace(Flag::D, "opening window a");
  window.Open();
  window.Message() = ReadMessage(kM16);
  window.OutFileName() = c.fileName;
  window.Percent() = 0;
  window.Display();
  Trace(Flag::D, "match found i.");

  // 15. The old file moves aside, unless another copy of the program
  // converts the file already (the open then waits for it).
  if (!sql && ConvertedElsewhere(c.fileName)) {
    Trace(Flag::B, "Another copy of the program converts " + c.fileName);
    return;
  }
  Probe("found");
  BackupOldFile();
  Trace(Flag::D, "UpgradeFileEX (l)");
  if (c.backupName.empty() && !c.refusal.empty()) {
    c.restored = true;  // the old file never moved
    ReportDiskRefusal(c.refusal);
    return;
  }
  if (c.backupName.empty()) {
    std::string text = ReadMessage(kM5);
    rt::Stop("RV3: " + rt::Clip(text) + rt::Clip(InFileName()));
    Trace(Flag::B, "RV3: " + std::string(kM5.text) + rt::Clip(InFileName()));
    return;
  }
  const std::string oldName = InFileName();
  c.inFileName = oldName;
  InFileName() = c.backupName;
  InFile().SetName(c.backupName);
  Trace(Flag::D, "UpgradeFileEX (m) File copied to " + c.backupName);
  if (!sql && !WriteJournal(c.fileName, c.backupName, JournalPhase::Moved, CurrentOptions().backup != 0,
                            c.backupIsCopy)) {
    const std::string why = JournalRefusal(c.fileName);
    MoveOldFileBack(file);
    ReportDiskRefusal(why);
    return;
  }
  Probe("moved");

  // 16-24. The records, into a new file under the work name (or into the
  // table itself). When the keys cannot be built because old records
  // duplicate a unique key, the copy runs again with ADD, which keeps
  // every record it can and counts the others.
  std::unique_ptr<db::FileDecl> out = file.Clone();
  out->SetName(sql ? c.fileName : WorkName(c.fileName));
  PassResult r;
  if (!CopyPass(file, *out, addMode, bit0, window, oldName, r)) return;
  if (!r.keysBuilt && r.buildError == rt::kDuplicateKey) {
    Trace(Flag::B, "RV3: copying again with ADD to find the duplicate records");
    r = PassResult{};
    if (!CopyPass(file, *out, AddMode::Add, bit0, window, oldName, r)) return;
  }
  c.readToEnd = r.readToEnd;

  // 25. Flushed and closed; then the new file takes the file's place.
  // Records never read (a read error) count as well as records not written.
  c.notConverted = std::max<rt::Long>(0, std::max(c.total, RecordNumber()) - c.written);
  const bool complete = r.readToEnd && r.batchesOk && r.flushed && r.keysBuilt && c.notConverted == 0 &&
                        r.writeErrors == 0 && r.duplicates == 0;
  if (!r.keysBuilt || !r.batchesOk || !r.flushed) {
    // A file without usable keys or with lost batches never replaces the
    // old one: the old file goes back under its own name.
    MoveOldFileBack(file);
    c.notConverted = std::max(c.total, RecordNumber());
    if (!r.refusal.empty())
      ReportDiskRefusal(r.refusal);
    else
      ReportLoss(r.keysBuilt ? "the new file could not be written" : "the keys could not be built",
                 c.restored ? (sql || OldFormatSource() ? c.inFileName : c.fileName) : c.backupName);
  } else if (!sql) {
    // From here on the new file is complete and never removed: a placing
    // cut short or refused is finished by the next open.
    const bool keepOld = !complete || AlternatesLeftOldDataBehind();
    if (!WriteJournal(c.fileName, c.backupName, keepOld ? JournalPhase::Kept : JournalPhase::Placing,
                      CurrentOptions().backup != 0 || keepOld, c.backupIsCopy)) {
      // Not placed without its journal: the old file goes back.
      const std::string why = JournalRefusal(c.fileName);
      MoveOldFileBack(file);
      ReportDiskRefusal(why);
      return;
    }
    Probe("placing");
    std::string why;
    if (!PlaceNewFile(file, *out, why)) {
      Trace(Flag::B, "New file could not take its place: " + why + " " + c.fileName);
      ReportFailedPlacing(why);
      return;
    }
    Probe("placed");
    KeepOrRemoveOldFile(complete, r);
    RemoveJournal(c.fileName);
    RVQ().push_back(c.row);
  } else {
    // The table is in place from the start.
    KeepOrRemoveOldFile(complete, r);
    RVQ().push_back(c.row);
  }
  Trace(Flag::C, "Conversion time : " + std::to_string(ProfileClock() - started));
}

}  // namespace upg
