#pragma once
// The structure description queues: a declaration's record descriptor
// block turned into a flat list of field descriptors with their record
// positions. DST describes the declared (destination) file, SRC the
// source file built from a stored structure; the record copy walks DST
// and finds each field's counterpart in SRC by name.
//
// Both are kept in name order (a row goes after rows with an equal name)
// and are rebuilt by every load. Positions are 1-based. Memos and blobs
// are rows of type 200 whose OFFSET is the length of their label.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "velmora/files/decl.h"

namespace upg {

inline constexpr uint8_t kMemoRowType = 200;

struct FieldRow {
  uint8_t type = 0;
  uint8_t attrib = 0;   // bit 0x08 cleared when the field is not really OVER
  uint8_t chars = 0;    // DECIMAL/PDECIMAL digit count (2 x size - 1)
  uint8_t places = 0;
  uint32_t len = 0;     // one element's storage size; 0 for a GROUP
  uint32_t offset = 0;  // 1-based record position; a memo's label length
  uint32_t grpLen = 0, grpNum = 0, grpDef = 0;
  std::string name;     // "PRE:NAME"
  std::string extName;  // DST only
  uint8_t dims = 1;
  std::array<int32_t, 10> dim{1, 1, 1, 1, 0, 0, 0, 0, 0, 0};  // DST uses 4
  std::vector<uint8_t>* ptr = nullptr;  // a memo's buffer
  std::string picture;
  uint8_t autoNumber = 0;  // DST only, never set by the loader
  uint8_t overed = 0;      // DST only: a member of a group OVER another field
  bool fed = false;        // SRC only: copied into some declared field
  // For a member of an array of groups: each enclosing group array's
  // element size and element count, outermost first (empty otherwise).
  std::vector<std::pair<uint32_t, uint32_t>> groupSteps;
};

// Fills DST from the declared file.
void LoadDstQueue(db::FileDecl& file);
// Fills SRC from the source file; with "/debugrv2f" the stop box
// "LoadSrcQueue" comes first.
void LoadSrcQueue(db::FileDecl& file);

std::vector<FieldRow>& DstQueue();
std::vector<FieldRow>& SrcQueue();
// Counts the loads of DST and SRC: what was found in them holds while it
// stays the same.
uint64_t QueueLoads();

}  // namespace upg
