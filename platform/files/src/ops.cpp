// The runtime's file operations: argument checks and dispatch to the
// file's driver; driver registry; memo and blob buffers; properties.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "internal.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"

namespace db {

namespace {

struct Registered {
  const char* name;
  Driver& (*get)();
};

const Registered kDrivers[] = {
    {"ISAM", &IsamDriver}, {"BASIC", &BasicDriver}, {"DOS", &DosDriver}, {"TAVREL", &TavrelDriver}};
constexpr uint32_t kEntryBase = 0x56460000;  // entries are kEntryBase + n
constexpr uint32_t kSqlEntryBase = kEntryBase + 0x100;  // registered SQL drivers

int DriverSlot(std::string_view name) {
  for (size_t i = 0; i < std::size(kDrivers); ++i) {
    std::string_view reg = kDrivers[i].name;
    if (reg.size() != name.size()) continue;
    bool same = true;
    for (size_t c = 0; c < reg.size() && same; ++c)
      same = Upper1252(static_cast<uint8_t>(name[c])) == static_cast<uint8_t>(reg[c]);
    if (same) return static_cast<int>(i);
  }
  return -1;
}

// The driver of a declaration, or nullptr with error 90 set.
Driver* DriverOf(const FileDecl& f) {
  int slot = DriverSlot(f.DriverName());
  if (slot < 0) {
    if (Driver* sql = SqlDriverFor(f.DriverName())) return sql;
    rt::SetFileError(rt::kDriverError, 0,
                     "File driver not registered: " + f.DriverName(), f.Name());
    return nullptr;
  }
  return &kDrivers[slot].get();
}

// The driver of an open declaration, or nullptr with error 37 set.
Driver* OpenDriver(const FileDecl& f) {
  if (!f.State()) {
    rt::SetError(rt::kFileNotOpen);
    return nullptr;
  }
  return f.State()->driver;
}

std::mutex gHookMutex;
OpenHookFn gHook;

}  // namespace

uint8_t Upper1252(uint8_t c) {
  return static_cast<uint8_t>(rt::UpperChar(static_cast<char>(c)));
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool CopyFileBytes(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  FILE* out = std::fopen(to.c_str(), "wbx");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char buf[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
    if (std::fwrite(buf, 1, n, out) != n) ok = false;
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fflush(out) != 0) ok = false;
  if (std::fclose(out) != 0) ok = false;
  if (!ok) std::remove(to.c_str());
  return ok;
}

uint64_t HostFileSize(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::vector<uint8_t> ReadHostBytes(int fd, uint64_t position, uint32_t length) {
  std::vector<uint8_t> out(length);
  ssize_t n = ::pread(fd, out.data(), length, static_cast<off_t>(position));
  if (n < 0) {
    rt::SetError(rt::kAccessDenied);
    return {};
  }
  out.resize(static_cast<size_t>(n));
  rt::ClearError();
  return out;
}

void NotSupported(const FileDecl& f, std::string_view what) {
  rt::SetFileError(rt::kDriverError, 0,
                   std::string(what) + " is not supported by the " +
                       f.DriverName() + " driver",
                   f.Name());
}

uint32_t FileDecl::DriverEntry() const { return DriverEntryFor(driver_); }

uint32_t DriverEntryFor(std::string_view driverName) {
  int slot = DriverSlot(driverName);
  if (slot >= 0) return kEntryBase + static_cast<uint32_t>(slot) + 1;
  uint32_t sql = SqlDriverSlot(driverName);
  return sql == 0 ? 0 : kSqlEntryBase + sql;
}

std::string DriverNameFor(uint32_t entry) {
  if (entry > kSqlEntryBase) return SqlDriverName(entry - kSqlEntryBase);
  if (entry <= kEntryBase || entry > kEntryBase + std::size(kDrivers)) return {};
  return kDrivers[entry - kEntryBase - 1].name;
}

std::string HostPath(std::string_view windowsName) {
  // "file\!table" names a table inside the file.
  size_t bang = windowsName.find("\\!");
  return rt::HostPath(windowsName.substr(0, bang));
}

// ---- default answers of a driver

void Driver::Build(FileDecl& f) { NotSupported(f, "BUILD"); }
void Driver::Add(FileDecl& f, uint32_t) { NotSupported(f, "ADD with a length"); }
void Driver::Remove(FileDecl& f) {
  std::string path = HostPath(f.Name());
  if (std::remove(path.c_str()) != 0)
    rt::SetError(PathExists(path) ? rt::kAccessDenied : rt::kFileNotFound);
  else
    rt::ClearError();
}
void Driver::Copy(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (PathExists(to) || !CopyFileBytes(from, to))
    return rt::SetError(rt::kAccessDenied);
  rt::ClearError();
}
void Driver::Rename(FileDecl& f, std::string_view target) {
  std::string from = HostPath(f.Name()), to = HostPath(target);
  if (!PathExists(from)) return rt::SetError(rt::kFileNotFound);
  if (PathExists(to) || std::rename(from.c_str(), to.c_str()) != 0)
    return rt::SetError(rt::kAccessDenied);
  rt::ClearError();
}
void Driver::Set(FileDecl& f, int key) {
  if (key != 0) return NotSupported(f, "SET on a key");
  NotSupported(f, "SET");
}
void Driver::SetFromRecord(FileDecl& f, int) { NotSupported(f, "SET on a key"); }
void Driver::SetAtPosition(FileDecl& f, std::string_view) { NotSupported(f, "SET"); }
void Driver::Previous(FileDecl& f) { NotSupported(f, "PREVIOUS"); }
void Driver::Get(FileDecl& f, int) { NotSupported(f, "GET by key"); }
void Driver::GetAtPosition(FileDecl& f, std::string_view) { NotSupported(f, "GET"); }
std::string Driver::Position(FileDecl& f) {
  NotSupported(f, "POSITION");
  return {};
}
void Driver::Reget(FileDecl& f, std::string_view position) {
  GetAtPosition(f, position);
}
void Driver::Append(FileDecl& f) { Add(f); }
void Driver::Put(FileDecl& f) { NotSupported(f, "PUT"); }
void Driver::Delete(FileDecl& f) { NotSupported(f, "DELETE"); }
uint32_t Driver::Records(FileDecl& f) {
  NotSupported(f, "RECORDS");
  return 0;
}
bool Driver::Duplicate(FileDecl&, int) {
  rt::ClearError();
  return false;
}
int64_t Driver::ReserveNumber(FileDecl&, int, int, int64_t highest) {
  rt::ClearError();
  return highest + 1;
}
void Driver::CreateMissing(FileDecl& f) {
  if (PathExists(HostPath(f.Name()))) return rt::ClearError();
  Create(f);
}
bool Driver::BeginLogout(FileDecl&, int) {
  rt::SetError(rt::kDriverError);
  return false;
}
bool Driver::EndLogout(FileDecl&, bool) {
  rt::ClearError();
  return true;
}
void Driver::Stream(FileDecl&) { rt::ClearError(); }
void Driver::Flush(FileDecl&) { rt::ClearError(); }
std::string Driver::Send(FileDecl&, std::string_view) {
  rt::ClearError();
  return {};
}
std::vector<uint8_t> Driver::ReadBytes(FileDecl& f, uint64_t, uint32_t) {
  NotSupported(f, "reading bytes");
  return {};
}
uint64_t Driver::FileSize(FileDecl& f) {
  NotSupported(f, "BYTES");
  return 0;
}

// ---- opening and structure

void Open(FileDecl& f, uint32_t mode) {
  if (f.State()) return rt::SetError(rt::kFileAlreadyOpen);
  if (Driver* d = DriverOf(f)) d->Open(f, mode);
}

void Create(FileDecl& f) {
  if (Driver* d = DriverOf(f)) d->Create(f);
}

bool WritesCannotGoOn(const FileDecl& f) {
  return f.State() && f.State()->driver && f.State()->driver->WritesCannotGoOn(f);
}

void CreateMissing(FileDecl& f) {
  if (Driver* d = DriverOf(f)) d->CreateMissing(f);
}

void Close(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Close(f);
}

bool IsOpen(const FileDecl& f) { return f.State() != nullptr; }

void Build(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Build(f);
}

void Remove(FileDecl& f) {
  if (f.State()) return rt::SetError(rt::kAccessDenied);
  if (Driver* d = DriverOf(f)) d->Remove(f);
}

void Copy(FileDecl& f, std::string_view target) {
  if (Driver* d = DriverOf(f)) d->Copy(f, target);
}

void Rename(FileDecl& f, std::string_view target) {
  if (f.State()) return rt::SetError(rt::kAccessDenied);
  if (Driver* d = DriverOf(f)) d->Rename(f, target);
}

namespace {
std::atomic<int> gLockWait{30};
}  // namespace

void SetLockWait(int seconds) { gLockWait = std::max(seconds, 0); }
int LockWait() { return gLockWait; }

void SetOpenHook(OpenHookFn hook) {
  std::lock_guard<std::mutex> lock(gHookMutex);
  gHook = std::move(hook);
}

void HookedOpen(FileDecl& f, uint32_t mode) {
  OpenHookFn hook;
  {
    std::lock_guard<std::mutex> lock(gHookMutex);
    hook = gHook;
  }
  if (hook)
    hook(f, mode);
  else
    Open(f, mode);
}

// ---- sequential and keyed access

void Set(FileDecl& f, int key) {
  if (Driver* d = OpenDriver(f)) d->Set(f, key);
}
void SetFromRecord(FileDecl& f, int key) {
  if (Driver* d = OpenDriver(f)) d->SetFromRecord(f, key);
}
void SetAtPosition(FileDecl& f, std::string_view position) {
  if (Driver* d = OpenDriver(f)) d->SetAtPosition(f, position);
}
void Next(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Next(f);
}
void Previous(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Previous(f);
}
void Get(FileDecl& f, int key) {
  if (Driver* d = OpenDriver(f)) d->Get(f, key);
}
void GetAtPosition(FileDecl& f, std::string_view position) {
  if (Driver* d = OpenDriver(f)) d->GetAtPosition(f, position);
}
std::string Position(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) return d->Position(f);
  return {};
}
void Reget(FileDecl& f, std::string_view position) {
  if (Driver* d = OpenDriver(f)) d->Reget(f, position);
}
void Add(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Add(f);
}
void Add(FileDecl& f, uint32_t length) {
  if (Driver* d = OpenDriver(f)) d->Add(f, length);
}
void Append(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Append(f);
}
void Put(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Put(f);
}
void Delete(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Delete(f);
}
uint32_t Records(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) return d->Records(f);
  return 0;
}
bool Duplicate(FileDecl& f, int key) {
  if (Driver* d = OpenDriver(f)) return d->Duplicate(f, key);
  return false;
}
int64_t ReserveNumber(FileDecl& f, int key, int component, int64_t highest) {
  Driver* d = OpenDriver(f);
  if (!d) return 0;
  if (key < 1 || static_cast<size_t>(key) > f.Keys().size() || component < 1 ||
      static_cast<size_t>(component) > f.Keys()[static_cast<size_t>(key - 1)].components.size()) {
    rt::SetError(rt::kInvalidIndex);
    return 0;
  }
  return d->ReserveNumber(f, key, component, highest);
}

// ---- batches

void Stream(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Stream(f);
}
void Flush(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) d->Flush(f);
}

// ---- driver commands and properties

std::string Send(FileDecl& f, std::string_view command) {
  if (f.State()) return f.State()->driver->Send(f, command);
  if (Driver* d = DriverOf(f)) return d->Send(f, command);
  return {};
}

std::string GetProperty(const FileDecl& f, Prop p) {
  rt::ClearError();
  switch (p) {
    case Prop::Name: return f.Name();
    case Prop::Owner: return f.Owner();
    case Prop::Driver: return f.DriverName();
    case Prop::Label: return f.Label();
    case Prop::Attributes: return std::to_string(f.Attributes());
    case Prop::Create: return (f.Attributes() & kAttrCreate) ? "1" : "0";
    case Prop::Records:
      if (f.State())
        return std::to_string(f.State()->driver->Records(const_cast<FileDecl&>(f)));
      rt::SetError(rt::kFileNotOpen);
      return {};
    case Prop::Sql: {
      std::string statement;
      GetSqlStatement(f, statement);
      return statement;
    }
    case Prop::DriverLogout:
      return {};
    case Prop::EndResult:
    case Prop::Statement:
    case Prop::ServerVersion: {
      // A closed file has no result or statement; only the version needs
      // the connection.
      std::string out;
      if (!GetSqlFileProperty(f, p, out) && p == Prop::ServerVersion) rt::SetError(rt::kFileNotOpen);
      return out;
    }
  }
  return {};
}

void SetProperty(FileDecl& f, Prop p, std::string_view value) {
  rt::ClearError();
  switch (p) {
    case Prop::Name:
      // A table's name only names it in statements: it may change while
      // the file is open.
      if (f.State() && !IsOpenSqlFile(f)) return rt::SetError(rt::kAccessDenied);
      f.SetName(std::string(value));
      return;
    case Prop::Owner:
      f.SetOwner(std::string(value));
      return;
    case Prop::Create: {
      bool on = !value.empty() && value != "0";
      f.SetAttributes(on ? (f.Attributes() | kAttrCreate)
                         : (f.Attributes() & ~kAttrCreate));
      return;
    }
    case Prop::Attributes: {
      unsigned v = 0;
      for (char c : value)
        if (c >= '0' && c <= '9') v = v * 10 + static_cast<unsigned>(c - '0');
      f.SetAttributes(static_cast<uint8_t>(v));
      return;
    }
    case Prop::Sql:
      if (!f.State()) return rt::SetError(rt::kFileNotOpen);
      SetSqlStatement(f, value);  // the other drivers have no use for it
      return;
    case Prop::DriverLogout:
      return;  // the ISAM drivers have no use for this
    case Prop::EndResult:
    case Prop::Statement:
      SetSqlFileProperty(f, p, value);
      return;
    case Prop::ServerVersion:
      rt::SetError(rt::kAccessDenied);
      return;
    case Prop::Driver:
    case Prop::Label:
    case Prop::Records:
      rt::SetError(rt::kAccessDenied);
      return;
  }
}

// ---- memos and blobs of the current record

namespace {
MemoDesc* MemoAt(FileDecl& f, int memo) {
  if (memo < 0 || static_cast<size_t>(memo) >= f.Memos().size()) {
    rt::SetError(rt::kDriverError, "No such memo or blob");
    return nullptr;
  }
  rt::ClearError();
  return &f.Memos()[static_cast<size_t>(memo)];
}
// Text memos hold at most their declared size.
uint64_t MemoLimit(const MemoDesc& m) {
  return (m.kind == kMemoText && m.size > 0) ? m.size : UINT32_MAX;
}
}  // namespace

uint32_t BlobSize(const FileDecl& f, int memo) {
  MemoDesc* m = MemoAt(const_cast<FileDecl&>(f), memo);
  return m ? static_cast<uint32_t>(m->data.size()) : 0;
}

void BlobSetSize(FileDecl& f, int memo, uint32_t size) {
  if (MemoDesc* m = MemoAt(f, memo))
    m->data.resize(static_cast<size_t>(std::min<uint64_t>(size, MemoLimit(*m))), 0);
}

std::vector<uint8_t> BlobRead(const FileDecl& f, int memo, uint32_t offset,
                              uint32_t length) {
  MemoDesc* m = MemoAt(const_cast<FileDecl&>(f), memo);
  if (!m || offset >= m->data.size()) return {};
  size_t n = std::min<size_t>(length, m->data.size() - offset);
  return {m->data.begin() + offset, m->data.begin() + static_cast<ptrdiff_t>(offset + n)};
}

void BlobWrite(FileDecl& f, int memo, uint32_t offset,
               const std::vector<uint8_t>& bytes) {
  MemoDesc* m = MemoAt(f, memo);
  if (!m) return;
  uint64_t end = uint64_t{offset} + bytes.size();
  uint64_t limit = MemoLimit(*m);
  if (end > limit) end = limit;
  if (offset >= end) return;
  if (m->data.size() < end) m->data.resize(static_cast<size_t>(end), 0);
  std::copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(end - offset),
            m->data.begin() + offset);
}

// ---- DOS driver extras

std::vector<uint8_t> ReadBytes(FileDecl& f, uint64_t position, uint32_t length) {
  if (Driver* d = OpenDriver(f)) return d->ReadBytes(f, position, length);
  return {};
}

uint64_t FileSize(FileDecl& f) {
  if (Driver* d = OpenDriver(f)) return d->FileSize(f);
  return 0;
}

}  // namespace db
