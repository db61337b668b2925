// The Form Editor.
#include "placeholder.h"
#include "velmora/app/procedures.h"

namespace app {

void FormEditor(std::string_view /*mode*/) { RunPlainWindow("FormEditor", "Form Editor"); }

}  // namespace app
