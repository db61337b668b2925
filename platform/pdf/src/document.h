#pragma once
// The library's documents: a process-wide table keyed by document id, and
// the selected document of each thread.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace velmora::pdf::detail {

// Loading: the work (CPU seconds of the loading thread) a load may take
// before the file is refused, at most so many seconds on the clock however
// busy the machine, and why the last load of a thread failed
// (iSEDLoadFailure).
constexpr double kLoadSeconds = 10;
constexpr double kLoadWallSeconds = 60;
constexpr int kLoadUnreadable = 1;   // not a PDF file, damaged, or locked
constexpr int kLoadTooComplex = 2;   // not readable within the time or the work allowed
double LoadSeconds();
void SetLoadSeconds(double seconds);  // for tests

// Attributes are inherited through at most this many /Parent levels.
constexpr int kMaxInheritDepth = 256;

// The index of the document's form fields (fields.h).
struct FieldIndex;
class PopplerPool;

struct Document {
  std::mutex mutex;
  std::shared_ptr<std::string> bytes;  // the loaded file; qpdf reads from it
  std::unique_ptr<QPDF> qpdf;
  bool encrypted = false;
  bool decrypt = false;
  int generation = 0;  // goes up with every change to the document
  int selectedPage = 0;
  std::vector<QPDFObjectHandle> pages;

  // Terminal fields by number, radio buttons by temporary index, and where
  // each widget sits: built once per loaded document.
  std::shared_ptr<FieldIndex> fieldIndex;
  std::set<QPDFObjGen> staleAppearance;  // value or look changed
  std::set<QPDFObjGen> restyled;         // look changed: rebuild the base
  std::set<QPDFObjGen> drawn;            // widgets whose appearance the library drew
  std::set<QPDFObjGen> ownAppearances;   // appearance streams the library made
  // Per page, the drawing of its flattened fields: a content stream of its
  // own whose data qpdf asks for whenever it reads the stream.
  struct Flattened {
    QPDFObjectHandle stream;
    std::shared_ptr<std::string> text;
  };
  std::map<QPDFObjGen, Flattened> flattened;
  // Arrays that flattening takes items out of (a page's /Annots, a field's
  // /Kids, the form's /Fields), by their holder and key: the items are
  // taken out in one pass when the document is written (SettleRemovals),
  // so that each flattening costs the same however long the array is.
  struct Leaving {
    QPDFObjectHandle array;
    std::map<QPDFObjGen, int> listed;  // the items, and how often each is listed
    std::set<QPDFObjGen> gone;
    long removed = 0;  // places the gone items take in the array
    int size = -1;     // the array's length when its items were listed
  };
  std::map<std::pair<QPDFObjGen, std::string>, Leaving> leaving;
  int nextXObject = 1;

  std::vector<QPDFObjectHandle> fonts;
  int selectedFont = 0;

  // Poppler's view of the document for text and pictures, in workers.
  std::shared_ptr<PopplerPool> poppler;
  int popplerGeneration = -1;

  ~Document();
  void Changed() { ++generation; }
};

// The calling thread's selected document, locked for the caller's use.
class Selected {
 public:
  Selected();
  explicit operator bool() const { return doc_ != nullptr; }
  Document* operator->() const { return doc_.get(); }
  Document& operator*() const { return *doc_; }

 private:
  std::shared_ptr<Document> doc_;
  std::unique_lock<std::mutex> lock_;
};

int AddDocument(std::shared_ptr<Document> doc);  // selects it; returns its id

// Runs an operation, turning any exception into the fallback result.
template <class R, class F>
R Guard(R fallback, F&& f) {
  try {
    return f();
  } catch (...) {
    return fallback;
  }
}

// Texts at the edge: Windows-1252 inside the system, UTF-8 in the libraries.
std::string ToHost(const std::string& cp1252);
std::string FromHost(const std::string& utf8);

// The selected page's object, or null.
QPDFObjectHandle SelectedPageObject(Document& d);
// The bytes poppler should read: the loaded file, or the changed document
// written out.
std::shared_ptr<const std::string> CurrentBytes(Document& d);
// The poppler workers of the current state, kept while nothing changes.
std::shared_ptr<PopplerPool> Poppler(Document& d);

// Writes the document, without encryption, to memory.
std::string WriteToMemory(Document& d);

// The value under `key` when `object` is a dictionary that has it, else
// null. qpdf answers a key asked of anything else (a missing /MK, say)
// with a warning it builds and keeps, and a missing key with a null it
// describes, each at many times the cost of looking.
inline QPDFObjectHandle KeyOf(QPDFObjectHandle object, const std::string& key) {
  return object.isDictionary() && object.hasKey(key) ? object.getKey(key) : QPDFObjectHandle::newNull();
}

// A rectangle array normalised: {llx, lly, urx, ury}; false when absent.
bool ReadRect(QPDFObjectHandle array, double out[4]);

// The value of `key` on the object or the nearest /Parent that has it
// (inheritable page attributes and field attributes); null when none.
QPDFObjectHandle Inherited(QPDFObjectHandle object, const char* key);
// The dictionary under `key`, made when it is missing or not a dictionary.
QPDFObjectHandle SubDictionary(QPDFObjectHandle parent, const std::string& key);
// The selected document's poppler workers for pages first..last, or null
// when there is no selected document or the range is not within it.
std::shared_ptr<PopplerPool> PopplerForPages(int firstPage, int lastPage);
// Box 1 MediaBox, 2 CropBox, 3 BleedBox, 4 TrimBox, 5 ArtBox as {llx, lly,
// urx, ury}. `present` tells whether the page states the box; the rectangle
// falls back the way readers do (crop to media, the others to crop).
bool PageBox(QPDFObjectHandle page, int box, double r[4], bool* present);

// Rectangles {llx, lly, urx, ury} between the page's own coordinates and
// the page as shown: points from the lower-left corner of its MediaBox as a
// reader shows it, the page's rotation applied. A null page is unrotated
// with its corner at 0, 0.
void ToShown(QPDFObjectHandle page, const double in[4], double out[4]);
void FromShown(QPDFObjectHandle page, const double in[4], double out[4]);

// The page's /Rotate value (inherited) as 0, 90, 180 or 270.
int PageRotation(QPDFObjectHandle page);

}  // namespace velmora::pdf::detail
