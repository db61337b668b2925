// Registered SQL file drivers: each is served through the runtime's
// driver interface, with the statement property and result rows.
#include "velmora/files/sql_driver.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/text.h"

namespace db {
namespace {

struct SqlOpenState : FileDecl::OpenState {
  std::string statement;  // the last one set in the SQL property
  bool ended = false;     // its result was dropped (EndResult)
  bool inLogout = false;  // takes part in the thread's LOGOUT
  FileDecl* file = nullptr;
  SqlDriver* sql = nullptr;
  // A file dropped without CLOSE inside a LOGOUT: as CLOSE does, its
  // transaction is rolled back (the file's names are still there: the
  // open state is the declaration's last member).
  ~SqlOpenState() override { LeaveTransaction(); }
  void LeaveTransaction() {
    if (!inLogout) return;
    inLogout = false;
    LeaveLogout(*file);
    sql->End(*file, false);
  }
};

class SqlFileDriver final : public Driver {
 public:
  explicit SqlFileDriver(std::shared_ptr<SqlDriver> sql) : sql_(std::move(sql)) {}

  void Open(FileDecl& f, uint32_t mode) override {
    auto state = std::make_unique<SqlOpenState>();
    state->driver = this;
    state->mode = mode;
    state->file = &f;
    state->sql = sql_.get();
    sql_->Open(f, mode);
    if (rt::ErrorCode() == 0) f.StateSlot() = std::move(state);
  }
  void Create(FileDecl& f) override { sql_->Create(f); }
  // A file closed inside a LOGOUT rolls its transaction back: a
  // connection must never stay without autocommit once nobody ends it.
  void Close(FileDecl& f) override {
    if (auto* s = static_cast<SqlOpenState*>(f.State())) s->LeaveTransaction();
    sql_->Close(f);
    f.StateSlot().reset();
  }
  bool BeginLogout(FileDecl& f, int timeoutSeconds) override {
    rt::ClearError();
    sql_->Begin(f, timeoutSeconds);
    if (rt::ErrorCode() != 0) return false;
    static_cast<SqlOpenState*>(f.State())->inLogout = true;
    return true;
  }
  bool EndLogout(FileDecl& f, bool commit) override {
    auto* s = static_cast<SqlOpenState*>(f.State());
    rt::ClearError();
    if (!s->inLogout) return true;
    s->inLogout = false;
    sql_->End(f, commit);
    return rt::ErrorCode() == 0;
  }
  void Next(FileDecl& f) override {
    if (static_cast<SqlOpenState*>(f.State())->ended) return rt::SetError(rt::kRecordNotAvailable);
    sql_->Next(f);
  }
  void Add(FileDecl& f) override { sql_->Add(f); }
  // A table is no disk file: the disk operations of the other drivers
  // must never touch a file that happens to carry the table's name.
  void Remove(FileDecl& f) override { NotSupported(f, "REMOVE"); }
  void Copy(FileDecl& f, std::string_view) override { NotSupported(f, "COPY"); }
  void Rename(FileDecl& f, std::string_view) override { NotSupported(f, "RENAME"); }
  std::string ServerVersion(FileDecl& f) {
    rt::ClearError();
    return sql_->ServerVersion(f);
  }
  void Execute(FileDecl& f, std::string_view statement) {
    auto* state = static_cast<SqlOpenState*>(f.State());
    state->statement = std::string(statement);
    state->ended = false;
    rt::ClearError();
    sql_->Execute(f, statement);
  }
  // The SQL property then holds the failing statement, or the last one.
  size_t ExecuteEach(FileDecl& f, const std::vector<std::string>& statements, size_t from) {
    if (from >= statements.size()) {
      rt::ClearError();
      return 0;
    }
    rt::ClearError();
    size_t ran = sql_->ExecuteEach(f, statements, from);
    static_cast<SqlOpenState*>(f.State())->statement = statements[std::min(from + ran, statements.size() - 1)];
    return ran;
  }

 private:
  std::shared_ptr<SqlDriver> sql_;
};

struct Entry {
  std::string name;  // upper case
  std::unique_ptr<SqlFileDriver> driver;   // the one serving the name, or null
  std::unique_ptr<SqlFileDriver> builtIn;  // served when none other is registered
  // Replaced drivers stay alive: files opened through them keep pointing at them.
  std::vector<std::unique_ptr<SqlFileDriver>> retired;
};

// Built-in drivers register from static initialisers of other libraries,
// so the registry is made on first use.
std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::vector<Entry>& Entries() {  // slots are never reused
  static std::vector<Entry> entries;
  return entries;
}

Entry* Find(std::string_view name) {
  std::string up = rt::Upper(name);
  for (Entry& e : Entries())
    if (e.name == up) return &e;
  return nullptr;
}

// The entry of a name, made when missing; null for the name of one of the
// runtime's other file drivers (ISAM, BASIC, DOS), which cannot be taken.
Entry* Slot(std::string_view name, bool fileDriver) {
  if (Entry* e = Find(name)) return e;
  if (fileDriver) return nullptr;
  return &Entries().emplace_back(Entry{rt::Upper(name), nullptr, nullptr, {}});
}

Driver* Serving(const Entry& e) { return e.driver ? e.driver.get() : e.builtIn.get(); }

SqlOpenState* SqlState(const FileDecl& f) {
  return dynamic_cast<SqlOpenState*>(f.State());
}

}  // namespace

void SqlDriver::Create(FileDecl& f) { NotSupported(f, "CREATE"); }
void SqlDriver::Add(FileDecl& f) { NotSupported(f, "ADD"); }
std::string SqlDriver::ServerVersion(FileDecl& f) {
  NotSupported(f, "The server version");
  return {};
}

void SqlDriver::Begin(FileDecl& f, int) { NotSupported(f, "LOGOUT"); }
void SqlDriver::End(FileDecl&, bool) { rt::ClearError(); }
size_t SqlDriver::ExecuteEach(FileDecl& f, const std::vector<std::string>& statements, size_t from) {
  for (size_t i = from; i < statements.size(); ++i) {
    rt::ClearError();
    Execute(f, statements[i]);
    if (rt::ErrorCode() != 0) return i - from;
  }
  rt::ClearError();
  return statements.size() - from;
}

void RegisterSqlDriver(std::string_view name, std::shared_ptr<SqlDriver> driver) {
  bool fileDriver = DriverEntryFor(name) != 0 && !SqlDriverFor(name);
  std::lock_guard lock(Mutex());
  Entry* e = Slot(name, fileDriver);
  if (!e) return;
  if (e->driver) e->retired.push_back(std::move(e->driver));
  if (driver) e->driver = std::make_unique<SqlFileDriver>(std::move(driver));
}

void RegisterBuiltInSqlDriver(std::string_view name, std::shared_ptr<SqlDriver> driver) {
  bool fileDriver = DriverEntryFor(name) != 0 && !SqlDriverFor(name);
  std::lock_guard lock(Mutex());
  Entry* e = Slot(name, fileDriver);
  if (!e) return;
  if (e->builtIn) e->retired.push_back(std::move(e->builtIn));
  if (driver) e->builtIn = std::make_unique<SqlFileDriver>(std::move(driver));
}

Driver* SqlDriverFor(std::string_view name) {
  std::lock_guard lock(Mutex());
  Entry* e = Find(name);
  return e ? Serving(*e) : nullptr;
}

uint32_t SqlDriverSlot(std::string_view name) {
  std::lock_guard lock(Mutex());
  const auto& entries = Entries();
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].name == rt::Upper(name) && Serving(entries[i]))
      return static_cast<uint32_t>(i + 1);
  return 0;
}

std::string SqlDriverName(uint32_t slot) {
  std::lock_guard lock(Mutex());
  const auto& entries = Entries();
  if (slot == 0 || slot > entries.size() || !Serving(entries[slot - 1])) return {};
  return entries[slot - 1].name;
}

bool SetSqlStatement(FileDecl& f, std::string_view statement) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  static_cast<SqlFileDriver*>(s->driver)->Execute(f, statement);
  return true;
}

bool IsOpenSqlFile(const FileDecl& f) { return SqlState(f) != nullptr; }

bool GetSqlFileProperty(const FileDecl& f, Prop p, std::string& out) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  out.clear();
  if (p == Prop::EndResult) s->ended = true;
  if (p == Prop::Statement) out = s->statement;
  if (p == Prop::ServerVersion)
    out = static_cast<SqlFileDriver*>(s->driver)->ServerVersion(const_cast<FileDecl&>(f));
  return true;
}

bool SetSqlFileProperty(FileDecl& f, Prop p, std::string_view value) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  if (p == Prop::Statement) s->statement = std::string(value);
  return true;
}

size_t RunSqlStatements(FileDecl& f, const std::vector<std::string>& statements, size_t from) {
  SqlOpenState* s = SqlState(f);
  if (!s) {
    rt::SetError(f.State() ? rt::kDriverError : rt::kFileNotOpen);
    return 0;
  }
  s->ended = false;  // a new result, as after any statement
  return static_cast<SqlFileDriver*>(s->driver)->ExecuteEach(f, statements, from);
}

bool GetSqlStatement(const FileDecl& f, std::string& out) {
  SqlOpenState* s = SqlState(f);
  if (!s) return false;
  out = s->statement;
  return true;
}

}  // namespace db
