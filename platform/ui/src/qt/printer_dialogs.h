#pragma once
// The printer dialogs on the Qt backend: the desktop's print dialog, and a
// print set-up that chooses the printer the program prints on.
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "velmora/ui/dialogs.h"

namespace ui::qtprint {

// The desktop's printers (its print server's queues), in its order.
std::vector<std::string> PrinterNames();

// GUI thread: the print dialog, or for a set-up request the "Print Setup"
// window (a list of the printers with the request's printer, else the
// desktop's default, chosen). Printing to a PDF file in the print dialog
// gives the file; nullopt when cancelled.
std::optional<PrinterChoice> Ask(QWidget* parent, const PrinterRequest& request);

}  // namespace ui::qtprint
