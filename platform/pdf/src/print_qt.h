#pragma once
// Painting a print job on a QPrinter (the Qt print backend's drawing).
#include <QPrinter>

#include "velmora/pdf/print.h"

namespace velmora::pdf::detail {

// Paints the job's pages on an opened-for-use printer, one paper page
// each; false when painting could not start.
bool PaintJob(QPrinter& printer, const PrintJob& job);

}  // namespace velmora::pdf::detail
