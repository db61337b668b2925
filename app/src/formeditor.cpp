// The Form Editor procedure, as the frame and the record windows start it.
#include "velmora/app/procedures.h"
#include "velmora/editor/formeditor.h"

namespace app {

void FormEditor(std::string_view mode) { editor::RunFormEditor(mode); }

}  // namespace app
