// The rich-text control over unrtf.
#include "velmora/ui/richtext.h"

#include <filesystem>

#include "velmora/runtime/paths.h"
#include "velmora/runtime/process.h"
#include "unlocked.h"

namespace ui {
namespace {

// unrtf's text output starts with a rule line before the document.
constexpr std::string_view kTextRule = "-----------------\n";

}  // namespace

bool RichTextControl::Convert(const std::string& hostPath, std::string& html, std::string& text) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(hostPath, ec)) return false;
  rt::RunOptions o;
  o.captureOutput = true;
  rt::ProcessResult h = rt::RunProgram({"unrtf", "--quiet", "--nopict", "--html", hostPath}, o);
  if (!h.Succeeded() || h.output.empty()) return false;
  rt::ProcessResult t = rt::RunProgram({"unrtf", "--quiet", "--nopict", "--text", hostPath}, o);
  if (!t.Succeeded()) return false;
  html = std::move(h.output);
  text = std::move(t.output);
  size_t rule = text.find(kTextRule);
  if (rule != std::string::npos) text.erase(0, rule + kTextRule.size());
  return true;
}

void RichTextControl::Init(Window& window, int control) {
  window_ = &window;
  control_ = control;
  title_ = DefaultTitle();
  window.Set(control, Prop::ReadOnly, 1L);
  window.Set(control, Prop::VScroll, 1L);
  window.Set(control, Prop::RichText, 1L);
}

bool RichTextControl::Load(std::string_view fileName) {
  if (!window_) return false;
  std::string html, text;
  bool ok = false;
  if (!fileName.empty()) {
    detail::Unlocked unlocked;  // other threads run while unrtf does
    ok = Convert(rt::HostPath(fileName), html, text);
  }
  window_->Set(control_, Prop::Html, html);
  window_->Set(control_, Prop::ScreenText, text);
  title_ = DefaultTitle();
  return ok;
}

void RichTextControl::Kill() {
  window_ = nullptr;
  control_ = 0;
}

}  // namespace ui
