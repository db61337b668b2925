// The record copy: each declared field filled from its source field,
// found by name, alternate name or array element, or primed.
#include <algorithm>
#include <cstring>

#include "copy_internal.h"
#include "velmora/runtime/numbers.h"
#include "velmora/runtime/text.h"
#include "velmora/upgrade/store.h"

namespace upg {

rt::Byte& OldFormatSource() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Byte& ConversionDetected() {
  static rt::Byte flag = 0;
  return flag;
}

rt::Long& RecordNumber() {
  static rt::Long n = 0;
  return n;
}

std::vector<AlternateName>& AfnQueue() {
  static std::vector<AlternateName> q;
  return q;
}

std::vector<UnmatchedAlternate>& UnmatchedAlternates() {
  static std::vector<UnmatchedAlternate> q;
  return q;
}

bool AlternatesLeftOldDataBehind() {
  if (UnmatchedAlternates().empty()) return false;
  const std::vector<FieldRow>& src = SrcQueue();
  return std::any_of(src.begin(), src.end(),
                     [](const FieldRow& r) { return r.type != uint8_t(db::Type::Group) && !r.fed; });
}

std::string& FilePrefix() {
  thread_local std::string prefix;
  return prefix;
}

void ParseArraySubscripts(std::string_view text, rt::Long& a, rt::Long& b, rt::Long& c,
                          rt::Long& d) {
  rt::Long* out[4] = {&a, &b, &c, &d};
  a = b = c = d = 1;
  size_t open = text.find('[');
  if (open == std::string_view::npos) return;
  size_t close = text.find(']', open);
  size_t from = open + 1;
  for (int n = 0; n < 4; ++n) {
    size_t comma = text.find(',', from);
    bool last = comma == std::string_view::npos || (close != std::string_view::npos && comma > close);
    size_t to = last ? close : comma;
    if (to == std::string_view::npos) return;  // no "]": what was read stands
    *out[n] = rt::TextToLong(text.substr(from, to - from));
    if (last) return;
    from = comma + 1;
  }
}

namespace {

// The GUID buffer: the last GUID made for a primed field.
uint8_t gGuid[16];

// Looks a row up by exact name in a queue kept in name order.
FieldRow* FindRow(std::vector<FieldRow>& q, std::string_view name) {
  auto at = std::lower_bound(q.begin(), q.end(), name,
                             [](const FieldRow& r, std::string_view n) { return r.name < n; });
  return at != q.end() && at->name == name ? &*at : nullptr;
}

// The same-named source row of each DST row, found once per load of the
// queues (every record asks again).
FieldRow* SameNamedSource(size_t p, const FieldRow& dst) {
  static std::vector<size_t> hint;
  static uint64_t loads = 0;
  std::vector<FieldRow>& q = SrcQueue();
  if (loads != QueueLoads()) {
    hint.clear();
    loads = QueueLoads();
  }
  constexpr size_t kUnknown = SIZE_MAX, kNone = SIZE_MAX - 1;
  if (p < hint.size()) {
    if (hint[p] == kNone) return nullptr;
    if (hint[p] < q.size() && q[hint[p]].name.size() == dst.name.size()) return &q[hint[p]];
  }
  FieldRow* row = FindRow(q, dst.name);
  if (hint.size() <= p) hint.resize(p + 1, kUnknown);
  hint[p] = row ? static_cast<size_t>(row - q.data()) : kNone;
  return row;
}

const FieldOption* FindOption(std::string_view name) {
  if (FieldOptions().empty()) return nullptr;
  std::string up = rt::Upper(name).substr(0, 40);
  for (const FieldOption& o : FieldOptions())
    if (o.name == up) return &o;
  return nullptr;
}

// A memo row's buffer in the file being copied (the queues were loaded
// from declarations that may be other instances).
void BindMemo(FieldRow& row, db::FileDecl& file) {
  if (row.type != kMemoRowType) return;
  int m = file.MemoIndex(row.name);
  if (m >= 0) row.ptr = &file.Memos()[static_cast<size_t>(m)].data;
}

rt::Long ElementIndex(const CopyContext& cx, const std::array<int32_t, 10>& dim) {
  return ((cx.i - 1) * dim[1] * dim[2] * dim[3] + (cx.j - 1) * dim[2] * dim[3] +
          (cx.k - 1) * dim[3] + (cx.l - 1));
}

// The field's element lies inside its record (or is a memo).
bool Inside(const FieldRow& r, rt::Long elementOffset, uint32_t recordLength) {
  if (r.type == kMemoRowType) return r.ptr != nullptr;
  return r.offset >= 1 && uint64_t{r.offset} - 1 + uint64_t(elementOffset) + r.len <= recordLength;
}

struct Copy {
  CopyContext cx;
  db::FileDecl& source;
  db::FileDecl& destination;

  void ClearField(const FieldRow& dst) {
    TraceIf(Flag::C, [&] {
      return "Clearing Field: \"" + rt::Upper(rt::Clip(dst.name)) + "\" \"" +
             rt::Upper(rt::Clip(UpgPrefix())) + ":GUID\" " + std::to_string(dst.type) + " 18" +
             " upg:prefix=" + rt::Clip(UpgPrefix()) + " len " + std::to_string(dst.len);
    });
    if (const FieldOption* o = FindOption(rt::Clip(dst.name));
        o && rt::Clip(o->value) == "UNREALFIELD") {
      Trace(Flag::C, "UNREALFIELD: " + rt::Clip(o->name) +
                         " not clearing or converting! - exiting routine.");
      return;
    }
    if (dst.type == kMemoRowType) {  // an empty memo reads as blank
      if (dst.ptr) dst.ptr->clear();
      return;
    }
    if (!Inside(dst, cx.destOffset, destination.RecordLength())) return;
    uint8_t* to = cx.destRecord + dst.offset - 1 + cx.destOffset;
    if (dst.type == uint8_t(db::Type::String) && dst.len == 16 &&
        rt::Upper(rt::Clip(dst.name)) == rt::Upper(rt::Clip(UpgPrefix())) + ":GUID") {
      Trace(Flag::C, "New GUID field detected... prime it... " + rt::Clip(dst.name));
      cx.resultText.assign(16, ' ');
      for (int n = 0; n < 16; ++n) {
        rt::Long b = rt::Random(1, 255);
        if (b == '\'') b = 40;
        gGuid[n] = static_cast<uint8_t>(b);
        cx.resultText[static_cast<size_t>(n)] = static_cast<char>(b);
      }
      cx.stringValue = cx.resultText;
      std::memcpy(to, gGuid, 16);
      Trace(Flag::C, "GUID =  " + rt::Clip(cx.resultText));
      if (ConversionDetected()) InsertGuid(cx, dst);
      return;
    }
    bool blanks = dst.type == uint8_t(db::Type::String) || dst.type == uint8_t(db::Type::PString);
    std::memset(to, blanks ? ' ' : 0, dst.len);
  }

  void OneField(FieldRow* src, const FieldRow& dst) {
    TraceIf(Flag::B, [&] {
      std::string rfq;
      if (const FieldOption* o = FindOption(rt::Clip(dst.name))) rfq = o->value;
      return "OneField: src:name=" + (src ? rt::Clip(src->name) : std::string()) + " rfq:" + rfq;
    });
    bool outside = !src || cx.i > src->dim[0] || cx.j > src->dim[1] || cx.k > src->dim[2] ||
                   cx.l > src->dim[3];
    if (!outside) {
      cx.sourceOffset =
          cx.sourceGroupOffset + ElementIndex(cx, src->dim) * static_cast<rt::Long>(src->len);
      outside = !Inside(*src, cx.sourceOffset, source.RecordLength());
    }
    if (outside) {
      if (RecordNumber() < 5) Trace(Flag::C, "Clearing Field" + dst.name);
      ClearField(dst);
      return;
    }
    if (!Inside(dst, cx.destOffset, destination.RecordLength())) return;
    uint8_t type = src->type;
    ConvertField(cx, *src, dst);
    src->type = type;
  }

  // The copy of one destination row.
  void Row(FieldRow& dst, size_t p) {
    auto tail = [&] {
      return rt::Clip(dst.name) + " :: " + std::to_string(dst.type) + " :: " +
             std::to_string(dst.overed) + " ::x=" + std::to_string(p);
    };
    TraceIf(Flag::E, [&] { return "CopyRec dst loop: " + tail(); });
    if (dst.type == uint8_t(db::Type::Group)) return;
    if (dst.overed == 1) {
      if (!ConversionDetected()) {
        TraceIf(Flag::E, [&] { return "CopyRec cycling (3): " + tail(); });
        return;
      }
      const FieldOption* o = FindOption(rt::Clip(dst.name));
      if (!o) {
        TraceIf(Flag::E, [&] { return "CopyRec cycling (2): " + tail(); });
        return;
      }
      if (o->value == "UNREALFIELD") {
        TraceIf(Flag::E, [&] { return "CopyRec UNREALFIELD Found: " + tail(); });
        return;
      }
      if (o->value != "REALFIELD") {
        TraceIf(Flag::E, [&] { return "CopyRec cycling (1): " + tail(); });
        return;
      }
      Trace(Flag::C, "CopyRec REALFIELD Found: " + tail());
    }
    BindMemo(dst, destination);
    std::vector<FieldRow>& srcQ = SrcQueue();
    FieldRow* src = SameNamedSource(p - 1, dst);
    if (!src && AlternateSource(dst, src)) return;
    if (!src && OldFormatSource()) src = FindRow(srcQ, dst.name.substr(0, 16));
    if (src) {
      src->fed = true;
      BindMemo(*src, source);
    }
    Trace(Flag::D, "CopyRec Part 4");
    TraceIf(Flag::C, [&] {
      return "About to enter CopyRec loops... " + (src ? rt::Clip(src->name) : std::string());
    });
    // A memo or blob is copied whole whatever its declared size.
    if (dst.len == 0 && dst.type != kMemoRowType) return;
    if (dst.groupSteps.empty()) {
      cx.destGroupOffset = cx.sourceGroupOffset = 0;
      Elements(src, dst);
      return;
    }
    // A member of an array of groups: every element of the group array,
    // fed by the source's element of the same number when it has one.
    size_t combos = 1;
    for (const auto& step : dst.groupSteps) combos *= step.second;
    std::vector<size_t> index(dst.groupSteps.size());
    for (size_t g = 0; g < combos; ++g) {
      size_t rest = g;
      for (size_t n = index.size(); n-- > 0;) {
        index[n] = rest % dst.groupSteps[n].second;
        rest /= dst.groupSteps[n].second;
      }
      cx.destGroupOffset = cx.sourceGroupOffset = 0;
      for (size_t n = 0; n < index.size(); ++n)
        cx.destGroupOffset += static_cast<rt::Long>(index[n] * dst.groupSteps[n].first);
      FieldRow* from = src;
      if (from && from->groupSteps.size() == index.size()) {
        for (size_t n = 0; n < index.size() && from; ++n) {
          if (index[n] >= from->groupSteps[n].second) from = nullptr;
          else cx.sourceGroupOffset += static_cast<rt::Long>(index[n] * src->groupSteps[n].first);
        }
      } else if (g != 0) {
        from = nullptr;  // a source outside such an array feeds the first element
      }
      Elements(from, dst);
    }
  }

  // Every element of the destination field (l innermost).
  void Elements(FieldRow* src, const FieldRow& dst) {
    const auto& d = dst.dim;
    for (cx.i = 1; cx.i <= d[0]; ++cx.i)
      for (cx.j = 1; cx.j <= d[1]; ++cx.j)
        for (cx.k = 1; cx.k <= d[2]; ++cx.k)
          for (cx.l = 1; cx.l <= d[3]; ++cx.l) {
            cx.destOffset =
                cx.destGroupOffset + ElementIndex(cx, d) * static_cast<rt::Long>(dst.len);
            Trace(Flag::E, "CopyRec Calling OneField");
            OneField(src, dst);
            TraceIf(Flag::E, [&] {
              return "CopyRec Onefield i=" + std::to_string(cx.i) + " j=" + std::to_string(cx.j) +
                     " k=" + std::to_string(cx.k) + " l=" + std::to_string(cx.l);
            });
          }
  }

  // The alternate names of a destination field. True when an array
  // element pair copied the field already; `src` is the source found.
  bool AlternateSource(const FieldRow& dst, FieldRow*& src) {
    std::vector<FieldRow>& srcQ = SrcQueue();
    if (FlagOn(Flag::B) && RecordNumber() < 5) {
      std::string list;
      for (const FieldRow& r : srcQ) list += " " + r.name;
      Trace(Flag::C, "Unable to find Src field " + dst.name + " " + list);
    }
    std::string dstName = rt::Upper(rt::Clip(dst.name));
    const std::vector<AlternateName>& afn = AfnQueue();
    std::vector<std::string> tried;
    for (size_t n = 0; n < afn.size(); ++n) {
      std::string want = rt::Upper(rt::Clip(afn[n].destination));
      TraceIf(Flag::E, [&] {
        return "CopyRec AFNqueue i=" + std::to_string(n + 1) + ", afn:destname1: " + want +
               ", dst:name: " + dstName;
      });
      if (want != dstName) continue;
      std::string srcName = rt::Clip(afn[n].source);
      Trace(Flag::C, "Match found... " + rt::Clip(dst.name) + "; afn:src=" + srcName);
      std::string candidate = srcName.find(':') != std::string::npos
                                  ? rt::Upper(srcName)
                                  : rt::Upper(rt::Clip(FilePrefix())) + ":" + srcName;
      Trace(Flag::C, "src:name = " + candidate);
      src = FindRow(srcQ, candidate);
      if (src) {
        Trace(Flag::C, "Match found 2... " + candidate);
        return false;
      }
      tried.push_back(candidate);
      size_t open = srcName.find('['), close = srcName.find(']');
      if (open == std::string::npos || close == std::string::npos) continue;
      FieldRow* base = FindRow(srcQ, srcName.substr(0, open));
      if (!base) continue;
      ParseArraySubscripts(srcName, cx.i, cx.j, cx.k, cx.l);
      if (cx.i > base->dim[0] || cx.j > base->dim[1] || cx.k > base->dim[2] ||
          cx.l > base->dim[3])
        continue;  // no such element: the pair does not apply
      base->fed = true;
      BindMemo(*base, source);
      cx.destOffset = cx.destGroupOffset = cx.sourceGroupOffset = 0;
      OneField(base, dst);
      return true;
    }
    src = nullptr;
    if (!tried.empty()) NoteUnmatched(dst.name, tried);
    return false;
  }

  // A field whose alternate names all missed: traced and kept for the
  // conversion's summary, once per conversion.
  static void NoteUnmatched(const std::string& dst, const std::vector<std::string>& tried) {
    std::vector<UnmatchedAlternate>& q = UnmatchedAlternates();
    for (const UnmatchedAlternate& u : q)
      if (u.destination == dst) return;
    for (const std::string& s : tried)
      Trace(Flag::B, "Alternate name " + s + " of " + rt::Clip(dst) + " matches no field of the old file");
    q.push_back({rt::Clip(dst), tried});
  }
};

// The fields that every record copies unchanged: a number, date or time
// of the same type, size and picture on both sides, one element, found by
// its own name and inside both records. Worked out once per load of the
// queues; their bytes are copied in runs that lie side by side in both
// records. Every other field takes the whole path (Copy::Row).
struct Plan {
  uint64_t loads = 0;
  uint32_t sourceLength = 0, destinationLength = 0;
  bool made = false;
  std::vector<bool> plain;  // by DST position
  struct Run {
    uint32_t from, to, len;  // 0-based offsets in the source and destination records
  };
  std::vector<Run> runs;
};

bool OneElement(const FieldRow& r) {
  return r.dim[0] == 1 && r.dim[1] == 1 && r.dim[2] == 1 && r.dim[3] == 1 && r.groupSteps.empty();
}

bool IsTextType(uint8_t t) {
  return t == kMemoRowType || t == uint8_t(db::Type::String) || t == uint8_t(db::Type::CString) ||
         t == uint8_t(db::Type::PString);
}

const Plan& PlanFor(const db::FileDecl& source, const db::FileDecl& destination) {
  static Plan plan;
  if (plan.made && plan.loads == QueueLoads() && plan.sourceLength == source.RecordLength() &&
      plan.destinationLength == destination.RecordLength())
    return plan;
  plan = Plan{};
  plan.made = true;
  plan.loads = QueueLoads();
  plan.sourceLength = source.RecordLength();
  plan.destinationLength = destination.RecordLength();
  std::vector<FieldRow>& dst = DstQueue();
  plan.plain.assign(dst.size(), false);
  std::vector<Plan::Run> fields;
  for (size_t p = 0; p < dst.size(); ++p) {
    const FieldRow& d = dst[p];
    if (d.type == uint8_t(db::Type::Group) || d.overed != 0 || IsTextType(d.type) || d.len == 0 ||
        !OneElement(d) || !Inside(d, 0, plan.destinationLength))
      continue;
    FieldRow* s = SameNamedSource(p, d);
    if (!s || s->type != d.type || s->len != d.len || s->places != d.places || s->picture != d.picture ||
        !OneElement(*s) || !Inside(*s, 0, plan.sourceLength))
      continue;
    s->fed = true;
    plan.plain[p] = true;
    fields.push_back({s->offset - 1, d.offset - 1, d.len});
  }
  std::sort(fields.begin(), fields.end(), [](const Plan::Run& a, const Plan::Run& b) { return a.to < b.to; });
  for (const Plan::Run& f : fields) {
    if (!plan.runs.empty()) {
      Plan::Run& last = plan.runs.back();
      if (last.from + last.len == f.from && last.to + last.len == f.to) {
        last.len += f.len;
        continue;
      }
    }
    plan.runs.push_back(f);
  }
  return plan;
}

}  // namespace

void CopyRec(db::FileDecl& source, db::FileDecl& destination) {
  Trace(Flag::A, "CopyRec IN.");
  TraceIf(Flag::C, [] { return "Copying record " + std::to_string(RecordNumber()); });
  if (FlagOn(Flag::D)) {
    WriteTrace("CR 1");
    for (int n = 1; n <= 21; ++n) WriteTrace("CR peek " + std::to_string(n));
    WriteTrace("CR 2");
  }
  Copy copy{CopyContext{}, source, destination};
  copy.cx.sourceRecord = source.Record();
  copy.cx.destRecord = destination.Record();
  std::vector<FieldRow>& dst = DstQueue();
  // With the per-field traces on, or into an SQL table (every column goes
  // into the INSERT lists), each field takes the whole path.
  const bool traced = FlagOn(Flag::B) || FlagOn(Flag::C) || FlagOn(Flag::D) || FlagOn(Flag::E);
  if (traced || ConversionDetected() || OldFormatSource()) {
    for (size_t p = 0; p < dst.size(); ++p) copy.Row(dst[p], p + 1);
  } else {
    const Plan& plan = PlanFor(source, destination);
    for (const Plan::Run& r : plan.runs)
      std::memcpy(copy.cx.destRecord + r.to, copy.cx.sourceRecord + r.from, r.len);
    for (size_t p = 0; p < dst.size(); ++p)
      if (!plan.plain[p]) copy.Row(dst[p], p + 1);
  }
  Trace(Flag::C, "CopyRec Finishing Up records(DateTimeQ)=0");
  if (ConversionDetected()) InsertDateTimePairs(copy.cx);
  Trace(Flag::A, "CopyRec OUT.");
}

}  // namespace upg
