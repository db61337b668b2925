// The structure description queues DST and SRC, loaded from a
// declaration's record descriptor block through the files layer's codec.
#include "velmora/upgrade/structure.h"

#include <algorithm>

#include "velmora/runtime/system.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

std::vector<FieldRow> gDst, gSrc;

// The member count as the loaders read it: the low 16 bits at offset 6.
uint32_t MemberCount(const std::vector<uint8_t>& block) {
  if (block.size() < 8) return 0;
  return block[6] | (uint32_t{block[7]} << 8);
}

void AddInNameOrder(std::vector<FieldRow>& q, FieldRow row) {
  auto at = std::upper_bound(q.begin(), q.end(), row.name,
                             [](const std::string& n, const FieldRow& r) { return n < r.name; });
  q.insert(at, std::move(row));
}

// One member descriptor as the loaders read it (names, size part, dims).
FieldRow Describe(const db::FieldInfo& f, bool keepExtName) {
  FieldRow r;
  r.type = static_cast<uint8_t>(f.type);
  r.attrib = f.attrib;
  switch (f.type) {
    case db::Type::Decimal:
    case db::Type::PDecimal:
      r.len = f.size;
      r.chars = static_cast<uint8_t>(2 * f.size - 1);
      r.places = f.places;
      break;
    case db::Type::Group:
      r.grpLen = f.grpLen;
      r.grpNum = f.grpNum;
      r.grpDef = f.grpDef;
      r.len = 0;
      break;
    default:
      r.len = f.size;  // 0 for a type code the runtime does not know
  }
  r.picture = f.picture.substr(0, std::min<size_t>(f.picture.size(), 99));
  r.name = f.label;
  if (keepExtName) r.extName = f.extName;
  if (!f.dims.empty()) {
    r.dims = static_cast<uint8_t>(f.dims.size());
    for (size_t i = 0; i < f.dims.size() && i < 4; ++i) r.dim[i] = static_cast<int32_t>(f.dims[i]);
  }
  return r;
}

uint32_t Span(const FieldRow& r) {
  uint64_t n = r.len;
  for (int i = 0; i < 4; ++i) n *= static_cast<uint32_t>(r.dim[i]);
  return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
}

// One row per memo or blob; its OFFSET is its label's length.
void AddMemoRows(db::FileDecl& file, std::vector<FieldRow>& q) {
  for (db::MemoDesc& m : file.Memos()) {
    FieldRow r;
    r.type = kMemoRowType;
    r.ptr = &m.data;
    r.len = m.size;
    r.offset = static_cast<uint32_t>(m.label.size());
    r.name = m.label;
    AddInNameOrder(q, std::move(r));
  }
}

std::vector<db::FieldInfo> Members(const db::FileDecl& file) {
  std::vector<db::FieldInfo> fields = db::block::Decode(file.FieldBlock());
  fields.resize(std::min<size_t>(fields.size(), MemberCount(file.FieldBlock())));
  return fields;
}

}  // namespace

std::vector<FieldRow>& DstQueue() { return gDst; }
std::vector<FieldRow>& SrcQueue() { return gSrc; }

void LoadDstQueue(db::FileDecl& file) {
  Trace(Flag::A, "LoadDstQueue IN");
  gDst.clear();
  uint32_t offset = 1;
  uint32_t expected = 0;  // members left of the OVER group being walked
  for (const db::FieldInfo& f : Members(file)) {
    FieldRow r = Describe(f, true);
    if (r.attrib & db::kMemOver && f.type == db::Type::Group) expected = r.grpNum;
    if (r.attrib & db::kMemOver) {
      r.overed = 1;  // shares another field's bytes: not a row of its own
    } else if (expected > 0) {
      // A member of a group OVER another field lies within that field's
      // bytes and never moves the fields after it.
      --expected;
      r.overed = 1;
      r.offset = f.offset + 1;
      AddInNameOrder(gDst, std::move(r));
    } else {
      r.offset = offset;
      offset += Span(r);
      AddInNameOrder(gDst, std::move(r));
    }
  }
  AddMemoRows(file, gDst);
  Trace(Flag::A, "LoadDstQueue OUT: numkeys: " + std::to_string(file.Keys().size()) +
                     ", nummemos: " + std::to_string(file.Memos().size()) +
                     ", numfields: " + std::to_string(MemberCount(file.FieldBlock())));
}

void LoadSrcQueue(db::FileDecl& file) {
  if (EngineSwitch("/debugrv2f")) rt::Stop("LoadSrcQueue");
  gSrc.clear();
  uint32_t offset = 1;
  uint32_t expected = 0;
  for (const db::FieldInfo& f : Members(file)) {
    FieldRow r = Describe(f, false);
    if (r.attrib & db::kMemOver) {
      if (f.type == db::Type::Group) expected = r.grpNum;
      continue;
    }
    if (expected > 0) {
      --expected;
      continue;
    }
    r.offset = offset;
    offset += Span(r);
    AddInNameOrder(gSrc, std::move(r));
  }
  AddMemoRows(file, gSrc);
}

}  // namespace upg
