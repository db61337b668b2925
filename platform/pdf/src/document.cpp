// Documents: loading, encryption, saving, information and fonts.
#include "document.h"
#include "fields.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <time.h>

#include "poppler_worker.h"
#include "structure.h"
#include "velmora/pdf/pdf.h"
#include "velmora/runtime/paths.h"

namespace velmora::pdf::detail {
namespace {

struct Table {
  std::mutex mutex;
  std::map<int, std::shared_ptr<Document>> docs;
  int next = 1;
};

Table& Docs() {
  static Table table;
  return table;
}

thread_local int tSelected = 0;

bool ReadFile(const std::string& path, std::string& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  // Read straight into the string at the size the file has; a file that
  // grows meanwhile is read on to its end all the same.
  long size = 0;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::max(0L, std::ftell(f));
  std::rewind(f);
  size_t have = 0;
  out.resize(static_cast<size_t>(size) + 1);
  for (size_t got; (got = std::fread(out.data() + have, 1, out.size() - have, f)) > 0;) {
    have += got;
    if (have == out.size()) out.resize(out.size() * 2);
  }
  out.resize(have);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}


}  // namespace

Document::~Document() = default;

Selected::Selected() {
  if (tSelected == 0) return;
  std::shared_ptr<Document> doc;
  {
    std::lock_guard<std::mutex> g(Docs().mutex);
    auto it = Docs().docs.find(tSelected);
    if (it == Docs().docs.end()) return;
    doc = it->second;
  }
  lock_ = std::unique_lock<std::mutex>(doc->mutex);
  doc_ = std::move(doc);
}

int AddDocument(std::shared_ptr<Document> doc) {
  std::lock_guard<std::mutex> g(Docs().mutex);
  int id = Docs().next++;
  Docs().docs[id] = std::move(doc);
  tSelected = id;
  return id;
}

QPDFObjectHandle SelectedPageObject(Document& d) {
  if (d.selectedPage < 1 || d.selectedPage > static_cast<int>(d.pages.size()))
    return QPDFObjectHandle::newNull();
  return d.pages[d.selectedPage - 1];
}

void KeepHeapForWriting() {
#ifdef __GLIBC__
  // Writing compresses every stream through zlib, whose quarter of a
  // megabyte of state is freed after each one: without some slack at the
  // top of the heap, the C library gives it back to the system and faults
  // it in again for the next stream, at several times the cost of the
  // compression (and of the whole write of a small form).
  static std::once_flag once;
  std::call_once(once, [] { mallopt(M_TOP_PAD, 4 << 20); });
#endif
}

std::string WriteToMemory(Document& d) {
  SettleRemovals(d);
  KeepHeapForWriting();
  QPDFWriter w(*d.qpdf);
  w.setOutputMemory();
  w.setPreserveEncryption(false);  // poppler reads it without passwords
  w.write();
  auto buf = w.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(buf->getBuffer()), buf->getSize());
}

std::shared_ptr<const std::string> CurrentBytes(Document& d) {
  if (d.generation == 0) return d.bytes;
  if (d.poppler && d.popplerGeneration == d.generation) return d.poppler->bytes();
  return std::make_shared<std::string>(WriteToMemory(d));
}

std::shared_ptr<PopplerPool> Poppler(Document& d) {
  if (d.poppler && d.popplerGeneration == d.generation) return d.poppler;
  d.poppler = std::make_shared<PopplerPool>(CurrentBytes(d));
  d.popplerGeneration = d.generation;
  return d.poppler;
}

bool ReadRect(QPDFObjectHandle array, double out[4]) {
  if (!array.isArray() || array.getArrayNItems() != 4) return false;
  double v[4];
  for (int i = 0; i < 4; ++i) {
    auto item = array.getArrayItem(i);
    if (!item.isNumber()) return false;
    v[i] = item.getNumericValue();
  }
  out[0] = std::min(v[0], v[2]);
  out[1] = std::min(v[1], v[3]);
  out[2] = std::max(v[0], v[2]);
  out[3] = std::max(v[1], v[3]);
  return true;
}

QPDFObjectHandle Inherited(QPDFObjectHandle object, const char* key) {
  static const std::string parentKey = "/Parent";
  const std::string name(key);
  // A node met again ends the climb. Chains are short: the nodes met are
  // kept in a small list, and in a set only beyond it.
  constexpr int kNear = 16;
  QPDFObjGen near[kNear];
  int nearCount = 0;
  std::set<QPDFObjGen> far;
  int depth = 0;
  // (Keys are looked for before they are taken: qpdf answers a missing key
  // with a null it describes, at several times the cost of the look.)
  for (auto o = object; o.isDictionary() && depth <= kMaxInheritDepth; o = o.getKey(parentKey), ++depth) {
    if (o.isIndirect()) {
      const QPDFObjGen og = o.getObjGen();
      if (std::find(near, near + nearCount, og) != near + nearCount) break;
      if (nearCount < kNear)
        near[nearCount++] = og;
      else if (!far.insert(og).second)
        break;
    }
    if (o.hasKey(name)) return o.getKey(name);
    if (!o.hasKey(parentKey)) break;
  }
  return QPDFObjectHandle::newNull();
}

QPDFObjectHandle SubDictionary(QPDFObjectHandle parent, const std::string& key) {
  auto d = parent.getKey(key);
  if (!d.isDictionary()) {
    d = QPDFObjectHandle::newDictionary();
    parent.replaceKey(key, d);
  }
  return d;
}

std::shared_ptr<PopplerPool> PopplerForPages(int firstPage, int lastPage) {
  Selected d;
  if (!d) return nullptr;
  int count = static_cast<int>(d->pages.size());
  if (firstPage < 1 || lastPage > count || firstPage > lastPage) return nullptr;
  return Guard(std::shared_ptr<PopplerPool>(), [&] { return Poppler(*d); });
}

int PageRotation(QPDFObjectHandle page) {
  auto r = Inherited(page, "/Rotate");
  if (!r.isNumber()) return 0;
  int deg = static_cast<int>(std::lround(r.getNumericValue()));
  deg = ((deg % 360) + 360) % 360;
  return deg / 90 * 90;
}

namespace {

// One load, shared by the caller that waits for it and the thread that
// does it: the caller gives up when the clock runs out and leaves the
// thread to end on its own (it stops at its next check of the clock).
struct LoadJob {
  explicit LoadJob(double seconds) : clock(seconds, std::max(seconds, kLoadWallSeconds)) {}
  LoadClock clock;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;  // the caller has given up waiting
  std::shared_ptr<Document> doc;
  int failure = kLoadUnreadable;
};

std::atomic<double> gLoadSeconds{kLoadSeconds};
thread_local int tLoadFailure = 0;

// Loads given up on run on by themselves until their next check. The
// process waits for them when it exits, so none is still inside qpdf while
// the libraries' static objects are destroyed.
struct Abandoned {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;
};
Abandoned& AbandonedLoads() {
  static Abandoned* a = new Abandoned;  // never destroyed: used at exit
  return *a;
}
void WaitForAbandonedLoads() {
  Abandoned& a = AbandonedLoads();
  std::unique_lock<std::mutex> lock(a.mutex);
  a.ended.wait_for(lock, std::chrono::seconds(30), [&] { return a.running == 0; });
}

// Reads the file and its structure: the pages, and the field index.
void Load(LoadJob& job, const std::string& name, const std::string& host) {
  auto doc = std::make_shared<Document>();
  int failure = kLoadUnreadable;
  try {
    doc->bytes = std::make_shared<std::string>();
    if (ReadFile(host, *doc->bytes) && !doc->bytes->empty()) {
      doc->qpdf = std::make_unique<QPDF>();
      doc->qpdf->setSuppressWarnings(true);
      doc->qpdf->processMemoryFile(name.c_str(), doc->bytes->data(), doc->bytes->size(), "");
      if (doc->qpdf->getRoot().isDictionary()) {
        CheckStructure(*doc->qpdf, job.clock);
        doc->encrypted = doc->qpdf->isEncrypted();
        doc->pages = doc->qpdf->getAllPages();
        job.clock.Check();
        if (FieldTreeReadable(*doc, job.clock))
          failure = 0;
        else
          failure = kLoadTooComplex;
        // What qpdf noted while repairing is not kept with the document.
        doc->qpdf->getWarnings();
      }
    }
  } catch (const LoadRefused&) {
    failure = kLoadTooComplex;
  } catch (...) {
    failure = kLoadUnreadable;
  }
  std::lock_guard<std::mutex> g(job.mutex);
  job.failure = failure;
  if (!failure) job.doc = std::move(doc);
  job.done = true;
  job.finished.notify_all();
}

}  // namespace

double LoadSeconds() { return gLoadSeconds; }
void SetLoadSeconds(double seconds) { gLoadSeconds = seconds; }

}  // namespace velmora::pdf::detail

using namespace velmora::pdf::detail;

int iSEDLoadFromFile(const std::string& file) {
  tLoadFailure = kLoadUnreadable;
  return Guard(0, [&] {
    auto job = std::make_shared<LoadJob>(LoadSeconds());
    std::thread worker([job, file, host = rt::HostPath(file)] {
      Load(*job, file, host);
      std::lock_guard<std::mutex> g(job->mutex);
      if (job->abandoned) {
        Abandoned& a = AbandonedLoads();
        std::lock_guard<std::mutex> ga(a.mutex);
        --a.running;
        a.ended.notify_all();
      }
    });
    clockid_t workerClock;
    const bool haveClock = pthread_getcpuclockid(worker.native_handle(), &workerClock) == 0;
    auto workDone = [&] {
      timespec used{};
      return haveClock && clock_gettime(workerClock, &used) == 0 &&
             used.tv_sec + used.tv_nsec / 1e9 >= job->clock.CpuSeconds();
    };
    std::shared_ptr<Document> doc;
    {
      // The loading thread stops itself when its time is over; the wait
      // also ends when it is inside qpdf for longer than that.
      std::unique_lock<std::mutex> lock(job->mutex);
      while (!job->finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return job->done; })) {
        if (workDone() || std::chrono::steady_clock::now() >= job->clock.WallEnd()) {
          job->clock.Abandon();
          job->abandoned = true;
          {
            Abandoned& a = AbandonedLoads();
            std::lock_guard<std::mutex> ga(a.mutex);
            ++a.running;
          }
          static std::once_flag waitAtExit;
          std::call_once(waitAtExit, [] { std::atexit(WaitForAbandonedLoads); });
          lock.unlock();
          worker.detach();
          tLoadFailure = kLoadTooComplex;
          return 0;
        }
      }
      tLoadFailure = job->failure;
      doc = std::move(job->doc);
    }
    worker.join();
    return doc ? AddDocument(std::move(doc)) : 0;
  });
}

int iSEDLoadFailure() { return tLoadFailure; }

int iSEDEncrypted() {
  Selected d;
  return d && d->encrypted ? 1 : 0;
}

int iSEDUnencrypt() {
  Selected d;
  if (!d) return 0;
  d->decrypt = true;
  d->encrypted = false;
  return 1;
}

int iSEDSelectedDocument() {
  std::lock_guard<std::mutex> g(Docs().mutex);
  return Docs().docs.count(tSelected) ? tSelected : 0;
}

int iSEDRemoveDocument(int document) {
  std::shared_ptr<Document> doc;
  {
    std::lock_guard<std::mutex> g(Docs().mutex);
    auto it = Docs().docs.find(document);
    if (it == Docs().docs.end()) return 0;
    doc = std::move(it->second);
    Docs().docs.erase(it);
    if (tSelected == document) tSelected = 0;
  }
  // Wait for a thread still working on it before it goes.
  std::lock_guard<std::mutex> g(doc->mutex);
  return 1;
}

int iSEDSaveToFile(const std::string& file) {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    namespace fs = std::filesystem;
    fs::path target(rt::HostPath(file));
    // Written beside the target and moved over it, so that saving over the
    // loaded file (or a failed write) never leaves a half-written file.
    fs::path temp = target;
    temp += ".velmora-tmp";
    // Buttons whose appearances are missing or empty are drawn, so that
    // they show their state whether or not the reader makes appearances.
    Guard(0, [&] {
      DrawMissingButtonAppearances(*d);
      return 0;
    });
    SettleRemovals(*d);
    KeepHeapForWriting();
    {
      QPDFWriter w(*d->qpdf, temp.c_str());
      if (d->decrypt) w.setPreserveEncryption(false);
      w.write();
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
      fs::remove(temp, ec);
      return 0;
    }
    return 1;
  });
}

int iSEDSetNeedAppearances(int need) {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    auto root = d->qpdf->getRoot();
    auto af = root.getKey("/AcroForm");
    if (!af.isDictionary()) {
      af = d->qpdf->makeIndirectObject(QPDFObjectHandle::newDictionary());
      af.replaceKey("/Fields", QPDFObjectHandle::newArray());
      root.replaceKey("/AcroForm", af);
    }
    if (need)
      af.replaceKey("/NeedAppearances", QPDFObjectHandle::newBool(true));
    else
      af.removeKey("/NeedAppearances");
    d->Changed();
    return 1;
  });
}

std::string iSEDGetInformation(int key) {
  Selected d;
  if (!d) return {};
  return Guard(std::string(), [&]() -> std::string {
    if (key == 0) return d->qpdf->getPDFVersion();
    static const char* const names[] = {nullptr,    "/Author",   "/Title",
                                        "/Subject", nullptr,     "/Creator",
                                        "/Producer", "/CreationDate", "/ModDate"};
    if (key < 1 || key > 8 || !names[key]) return {};
    auto info = d->qpdf->getTrailer().getKey("/Info");
    if (!info.isDictionary()) return {};
    auto v = info.getKey(names[key]);
    if (v.isString()) return FromHost(v.getUTF8Value());
    if (v.isName()) return FromHost(v.getName().substr(1));
    return {};
  });
}

int iSEDFindFonts() {
  Selected d;
  if (!d) return 0;
  return Guard(0, [&] {
    d->fonts.clear();
    d->selectedFont = 0;
    std::set<QPDFObjGen> seen;
    auto addFrom = [&](QPDFObjectHandle resources) {
      if (!resources.isDictionary()) return;
      auto fonts = resources.getKey("/Font");
      if (!fonts.isDictionary()) return;
      for (auto& [name, font] : fonts.getDictAsMap()) {
        if (!font.isDictionary()) continue;
        if (font.isIndirect() && !seen.insert(font.getObjGen()).second) continue;
        d->fonts.push_back(font);
      }
    };
    for (auto& page : d->pages) addFrom(Inherited(page, "/Resources"));
    auto af = d->qpdf->getRoot().getKey("/AcroForm");
    if (af.isDictionary()) addFrom(af.getKey("/DR"));
    return static_cast<int>(d->fonts.size());
  });
}

int iSEDFontID(int index) {
  Selected d;
  if (!d || index < 1 || index > static_cast<int>(d->fonts.size())) return 0;
  return index;
}

int iSEDSelectFont(int id) {
  Selected d;
  if (!d || id < 1 || id > static_cast<int>(d->fonts.size())) return 0;
  d->selectedFont = id;
  return 1;
}
