#pragma once
// The import of an old-format data file's structure (".Dat" files signed
// "C3" that carry their own field, key, picture and array descriptions).
#include "velmora/runtime/types.h"

namespace upg {

// Reads the file INFILE's name gives (InFileName()). Result 1 when it is
// an old-format data file: its structure is then serialised, in the older
// generation, at the start of UpgFmt() for MakeFile, and the OEM flag is
// set. Result 0 otherwise: the file is not one, cannot be opened, or its
// header is scrambled or damaged; UpgFmt() is then left as it was.
rt::Byte ImportTavrel();

}  // namespace upg
