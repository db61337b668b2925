// The printer dialogs on the Qt backend.
#include "printer_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>

#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"

namespace ui::qtprint {
namespace {

QString Q(const std::string& cp1252) { return QString::fromStdString(rt::ToUtf8(cp1252)); }
std::string FromQ(const QString& s) { return rt::FromUtf8(s.toStdString()); }

std::optional<PrinterChoice> SetUp(QWidget* parent, const PrinterRequest& r) {
  QDialog dialog(parent);
  dialog.setObjectName("velmoraPrintSetup");
  dialog.setWindowTitle(Q(r.title.empty() ? std::string("Print Setup") : r.title));
  auto* layout = new QVBoxLayout(&dialog);
  auto* form = new QFormLayout();
  auto* printers = new QComboBox(&dialog);
  printers->setObjectName("printer");
  for (const std::string& name : PrinterNames()) printers->addItem(Q(name));
  const QString wanted = r.printer.empty() ? QPrinterInfo::defaultPrinterName() : Q(r.printer);
  if (int at = printers->findText(wanted); at >= 0) printers->setCurrentIndex(at);
  form->addRow("&Printer:", printers);
  layout->addLayout(form);
  auto* note = new QLabel("Forms are printed on this printer until another one is chosen.", &dialog);
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted || printers->currentText().isEmpty()) return std::nullopt;
  PrinterChoice choice;
  choice.printer = FromQ(printers->currentText());
  return choice;
}

}  // namespace

std::vector<std::string> PrinterNames() {
  std::vector<std::string> names;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) names.push_back(FromQ(name));
  return names;
}

std::optional<PrinterChoice> Ask(QWidget* parent, const PrinterRequest& r) {
  if (r.setupOnly) return SetUp(parent, r);
  QPrinter printer;
  if (!r.printer.empty()) printer.setPrinterName(Q(r.printer));
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle(Q(r.title.empty() ? std::string("Print") : r.title));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  PrinterChoice choice;
  choice.firstPage = printer.fromPage() > 0 ? printer.fromPage() : -1;
  choice.lastPage = printer.toPage() > 0 ? printer.toPage() : -1;
  choice.copies = printer.copyCount();
  // "Print to File (PDF)": the file the user named, in the runtime's form
  if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
    choice.file = rt::WindowsPath(printer.outputFileName().toStdString());
  else
    choice.printer = FromQ(printer.printerName());
  return choice;
}

}  // namespace ui::qtprint
