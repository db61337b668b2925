// The structure description queues DST and SRC, loaded from a
// declaration's record descriptor block through the files layer's codec.
#include "velmora/upgrade/structure.h"

#include <algorithm>

#include "velmora/runtime/system.h"
#include "velmora/upgrade/settings.h"

namespace upg {
namespace {

std::vector<FieldRow> gDst, gSrc;
uint64_t gLoads = 0;

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

// The element size and count of every group array around field i.
std::vector<std::pair<uint32_t, uint32_t>> GroupSteps(const std::vector<db::FieldInfo>& fields,
                                                      size_t i) {
  std::vector<std::pair<uint32_t, uint32_t>> steps;
  for (int p = fields[i].parent; p >= 0 && size_t(p) < i; p = fields[size_t(p)].parent) {
    const db::FieldInfo& g = fields[size_t(p)];
    if (g.Elements() > 1) steps.insert(steps.begin(), {g.grpLen, g.Elements()});
  }
  return steps;
}

std::vector<db::FieldInfo> Members(const db::FileDecl& file) {
  std::vector<db::FieldInfo> fields = db::block::Decode(file.FieldBlock());
  fields.resize(std::min<size_t>(fields.size(), MemberCount(file.FieldBlock())));
  return fields;
}

}  // namespace

std::vector<FieldRow>& DstQueue() { return gDst; }
std::vector<FieldRow>& SrcQueue() { return gSrc; }
uint64_t QueueLoads() { return gLoads; }

void LoadDstQueue(db::FileDecl& file) {
  Trace(Flag::A, "LoadDstQueue IN");
  ++gLoads;
  gDst.clear();
  uint32_t expected = 0;  // members left of the OVER group being walked
  std::vector<db::FieldInfo> fields = Members(file);
  for (size_t i = 0; i < fields.size(); ++i) {
    const db::FieldInfo& f = fields[i];
    FieldRow r = Describe(f, true);
    r.groupSteps = GroupSteps(fields, i);
    if (r.attrib & db::kMemOver && f.type == db::Type::Group) expected = r.grpNum;
    if (r.attrib & db::kMemOver) continue;  // shares another field's bytes: no row
    if (expected > 0) {
      // A member of a group OVER another field: within that field's bytes.
      --expected;
      r.overed = 1;
    }
    r.offset = f.offset + 1;  // the record position the runtime lays out
    AddInNameOrder(gDst, std::move(r));
  }
  AddMemoRows(file, gDst);
  Trace(Flag::A, "LoadDstQueue OUT: numkeys: " + std::to_string(file.Keys().size()) +
                     ", nummemos: " + std::to_string(file.Memos().size()) +
                     ", numfields: " + std::to_string(MemberCount(file.FieldBlock())));
}

void LoadSrcQueue(db::FileDecl& file) {
  if (EngineSwitch("/debugrv2f")) rt::Stop("LoadSrcQueue");
  ++gLoads;
  gSrc.clear();
  uint32_t expected = 0;
  std::vector<db::FieldInfo> fields = Members(file);
  for (size_t i = 0; i < fields.size(); ++i) {
    const db::FieldInfo& f = fields[i];
    FieldRow r = Describe(f, false);
    r.groupSteps = GroupSteps(fields, i);
    if (r.attrib & db::kMemOver) {
      if (f.type == db::Type::Group) expected = r.grpNum;
      continue;
    }
    if (expected > 0) {
      --expected;
      continue;
    }
    r.offset = f.offset + 1;
    AddInNameOrder(gSrc, std::move(r));
  }
  AddMemoRows(file, gSrc);
}

}  // namespace upg
