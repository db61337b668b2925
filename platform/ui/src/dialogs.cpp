// The dialogs, through the installed backend, and the backend registry.
#include <atomic>
#include <filesystem>
#include <mutex>

#include "unlocked.h"
#include "velmora/runtime/paths.h"
#include "velmora/runtime/text.h"
#include "velmora/ui/backend.h"
#include "velmora/ui/headless.h"

namespace ui {
namespace {

std::atomic<Backend*> g_backend{nullptr};

std::mutex& ResourceLock() {
  static std::mutex mu;
  return mu;
}
std::vector<std::string>& ResourceFolders() {
  static std::vector<std::string> folders;
  return folders;
}

// A file in `folder` whose name matches `name` in any case; "" when none.
std::string FindInFolder(const std::filesystem::path& folder, const std::string& name) {
  std::error_code ec;
  std::filesystem::path direct = folder / name;
  if (std::filesystem::is_regular_file(direct, ec)) return direct.string();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_regular_file(ec) && rt::EqualNoCase(entry.path().filename().string(), name))
      return entry.path().string();
  return {};
}

}  // namespace

Backend& CurrentBackend() {
  Backend* b = g_backend.load();
  return b ? *b : Headless();
}

void SetBackend(Backend* backend) { g_backend.store(backend); }

int ScreenDpiX() { return CurrentBackend().DpiX(); }
int ScreenDpiY() { return CurrentBackend().DpiY(); }

void AddResourceFolder(const std::string& folder) {
  std::lock_guard l(ResourceLock());
  ResourceFolders().push_back(folder);
}

std::string FindResource(const std::string& name) {
  std::string n = name;
  if (!n.empty() && n.front() == '~') n.erase(0, 1);
  if (n.empty()) return {};
  // The name may be a Windows path ("C:\\icons\\edit.ico"): the picture is
  // looked for by its file name in the resource folders.
  const std::string host = rt::HostPath(n);
  std::error_code ec;
  if (std::filesystem::is_regular_file(host, ec)) return host;
  std::lock_guard l(ResourceLock());
  std::string base = std::filesystem::path(host).filename().string();
  for (const std::string& folder : ResourceFolders()) {
    std::string found = FindInFolder(folder, base);
    if (!found.empty()) return found;
  }
  return {};
}

std::vector<std::string> MessageLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t bar = text.find_first_of("|\n", start);
    lines.emplace_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return lines;
}

std::vector<FileMask> ParseFileMasks(std::string_view text) {
  std::vector<std::string> parts = MessageLines(text);
  std::vector<FileMask> masks;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) masks.push_back({rt::Trim(parts[i]), rt::Trim(parts[i + 1])});
  return masks;
}

// Where a name's folder ends: names come in the system's Windows form
// ("\\tmp\\a.pdf") or in host form ("/tmp/a.pdf"); npos when there is none.
static size_t FolderEnd(const std::string& name) { return name.find_last_of("\\/"); }

std::string FileDialogText(const std::vector<std::string>& names) {
  if (names.empty()) return {};
  if (names.size() == 1) return names.front();
  const std::string& first = names.front();
  size_t end = FolderEnd(first);
  std::string text;
  if (end != std::string::npos) {
    // a root folder keeps its separator ("\\", "C:\\")
    bool root = end == 0 || (end == 2 && first[1] == ':');
    text = first.substr(0, root ? end + 1 : end);
  }
  for (const std::string& n : names) {
    size_t at = FolderEnd(n);
    text += "|" + (at == std::string::npos ? n : n.substr(at + 1));
  }
  return text;
}

// Each dialog waits for its answer without the runtime lock.
int Message(const MessageRequest& request) {
  MessageRequest r = request;
  if (r.buttons == 0) r.buttons = button::Ok;
  detail::Unlocked unlocked;
  return CurrentBackend().Message(r);
}

void InstallMessageHandler() {
  rt::SetMessageHandler([](std::string_view text, std::string_view caption, std::string_view icon, int buttons,
                           int defaultButton) { return Message(text, caption, icon, buttons, defaultButton); });
}

int Message(std::string_view text, std::string_view caption, std::string_view icon, int buttons, int defaultButton) {
  return Message(MessageRequest{std::string(text), std::string(caption), std::string(icon), buttons, defaultButton});
}

std::vector<std::string> FileDialog(const FileRequest& request) {
  std::error_code ec;
  std::filesystem::path here = std::filesystem::current_path(ec);
  std::vector<std::string> names;
  {
    detail::Unlocked unlocked;
    names = CurrentBackend().FileDialog(request);
  }
  if (request.keepFolder && !here.empty()) std::filesystem::current_path(here, ec);
  return names;
}

std::optional<long> ColorDialog(std::string_view title, long initial) {
  detail::Unlocked unlocked;
  return CurrentBackend().ColorDialog(std::string(title), initial);
}

std::optional<Font> FontDialog(std::string_view title, const Font& initial) {
  detail::Unlocked unlocked;
  return CurrentBackend().FontDialog(std::string(title), initial);
}

namespace {

std::mutex& PrinterLock() {
  static std::mutex mu;
  return mu;
}
// The printer chosen in the print set-up ("": none chosen yet).
std::string& SetUpPrinter() {
  static std::string printer;
  return printer;
}

constexpr const char* kNoPrinter = "No printer is set up on this computer.";

// Without any printer: the set-up says so; printing offers a PDF file.
std::optional<PrinterChoice> WithoutPrinter(Backend& b, const PrinterRequest& r) {
  if (r.setupOnly) {
    b.Message(MessageRequest{std::string(kNoPrinter) + "|Forms can still be printed: Print then offers to write "
                                                       "them to a PDF file.",
                             "Print Setup", std::string(icon::Information), button::Ok, 0});
    return std::nullopt;
  }
  const int answer = b.Message(MessageRequest{std::string(kNoPrinter) + "|Do you want to print to a PDF file instead?",
                                              r.title.empty() ? "Print" : r.title, std::string(icon::Question),
                                              button::Yes | button::No, button::Yes});
  if (answer != button::Yes) return std::nullopt;
  FileRequest file;
  file.title = "Print to File";
  file.masks = {{"PDF Files", "*.pdf"}};
  file.save = true;
  const std::vector<std::string> names = b.FileDialog(file);
  if (names.empty()) return std::nullopt;
  PrinterChoice choice;
  choice.file = names.front();
  // a name without an extension gets the PDF one
  if (choice.file.find('.', choice.file.find_last_of("\\/") + 1) == std::string::npos) choice.file += ".pdf";
  return choice;
}

}  // namespace

std::optional<PrinterChoice> PrinterDialog(const PrinterRequest& request) {
  PrinterRequest r = request;
  if (r.setupOnly && r.title.empty()) r.title = "Print Setup";
  if (r.printer.empty()) {
    std::lock_guard l(PrinterLock());
    r.printer = SetUpPrinter();
  }
  std::optional<PrinterChoice> choice;
  {
    detail::Unlocked unlocked;
    Backend& b = CurrentBackend();
    choice = b.Printers().empty() ? WithoutPrinter(b, r) : b.PrinterDialog(r);
  }
  if (choice && r.setupOnly && !choice->printer.empty()) {
    std::lock_guard l(PrinterLock());
    SetUpPrinter() = choice->printer;
  }
  return choice;
}

int Popup(std::string_view text, int x, int y) {
  PopupRequest request{ParsePopup(text), x, y};
  int chosen;
  {
    detail::Unlocked unlocked;
    chosen = CurrentBackend().Popup(request);
  }
  for (const PopupItem& item : request.items)
    if (item.number == chosen && chosen != 0) return item.greyed ? 0 : chosen;
  return 0;
}

}  // namespace ui
