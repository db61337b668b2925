#include "velmora/classlib/errors.h"

#include <array>
#include <filesystem>

#include "velmora/files/files.h"
#include "velmora/runtime/errors.h"
#include "velmora/runtime/system.h"

namespace cl {
namespace {

struct MessageDef {
  Msg id;
  std::string_view text;
  std::string_view caption;
  int level;
};

// Refused records are the user's business ("Velmora"); failures of the
// file system are errors ("Error").
constexpr std::array<MessageDef, 11> kMessages = {{
    {Msg::OpenFailed, "Unable to open %File%Where: %Reason", "Error", kFatal},
    {Msg::CreateFailed, "Unable to create %File%Where: %Reason", "Error", kFatal},
    {Msg::ReadFailed, "Error reading %File.|Error: %ErrorText", "Error", kFatal},
    {Msg::FetchFailed, "No %File record was found.|Error: %ErrorText", "Velmora", kNotify},
    {Msg::AddFailed, "Unable to add the %File record.|Error: %ErrorText", "Error", kFatal},
    {Msg::DuplicateKey,
     "Adding this %File record creates a duplicate entry for the key: %Field", "Velmora",
     kNotify},
    {Msg::PutFailed, "Unable to change the %File record.|Error: %ErrorText", "Error", kFatal},
    {Msg::RecordChanged,
     "This %File record was changed by another station.|Your changes were not saved.",
     "Velmora", kNotify},
    {Msg::DeleteFailed, "Unable to delete the %File record.|Error: %ErrorText", "Error",
     kFatal},
    {Msg::CascadeFailed,
     "The %Message of the %File record could not be completed; nothing was changed.|"
     "Error: %ErrorText",
     "Error", kFatal},
    {Msg::FileNotOpen, "%File is not open.|Error: %ErrorText", "Error", kFatal},
}};

const MessageDef& Def(Msg id) {
  for (const MessageDef& d : kMessages)
    if (d.id == id) return d;
  return kMessages[0];
}

std::string ErrorTextNow() {
  std::string t = rt::ErrorText() + " (" + std::to_string(rt::ErrorCode()) + ")";
  std::string driver = rt::FileErrorText();
  if (!driver.empty())
    t += " " + std::to_string(rt::FileErrorCode()) + ": " + driver;
  return t;
}

std::string PathOf(const std::string& fileName) {
  if (fileName.empty()) return {};
  std::error_code ec;
  const std::filesystem::path host(db::HostPath(fileName));
  const std::filesystem::path full = std::filesystem::absolute(host, ec);
  return (ec ? host : full.lexically_normal()).string();
}

// What happened, in words: the driver's own text when it gave one (without
// the file's path in front, which the message shows already), else the
// runtime's; then the error number.
std::string ReasonNow(const std::string& path) {
  std::string reason = rt::FileErrorText();
  if (!path.empty() && reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
  if (reason.empty()) reason = rt::ErrorText();
  return reason + " (" + std::to_string(rt::ErrorCode()) + ")";
}

}  // namespace

ErrorReporter::ErrorReporter() = default;
ErrorReporter::~ErrorReporter() = default;

void ErrorReporter::Setup() { details_.Get() = ErrorDetails{}; }
void ErrorReporter::Teardown() { details_.Get() = ErrorDetails{}; }

ErrorDetails& ErrorReporter::Details() const { return details_.Get(); }

void ErrorReporter::PushProcedure(std::string_view name) {
  Details().procedures.emplace_back(name);
}

void ErrorReporter::PopProcedure() {
  auto& p = Details().procedures;
  if (!p.empty()) p.pop_back();
}

std::string ErrorReporter::Procedure() const {
  const auto& p = Details().procedures;
  return p.empty() ? std::string() : p.back();
}

void ErrorReporter::SetFile(std::string_view label) { Details().file = label; }
void ErrorReporter::SetField(std::string_view d) { Details().field = d; }

std::string_view ErrorReporter::Text(Msg id) { return Def(id).text; }
std::string_view ErrorReporter::Caption(Msg id) { return Def(id).caption; }
int ErrorReporter::LevelOf(Msg id) { return Def(id).level; }

std::string ErrorReporter::Substitute(std::string_view text) const {
  const ErrorDetails& d = Details();
  const std::string path = PathOf(d.fileName);
  const std::pair<std::string_view, std::string> subs[] = {
      {"%Where", path.empty() ? std::string() : " (" + path + ")"},
      {"%Reason", ReasonNow(path)},
      {"%File", d.file},         {"%ErrorText", ErrorTextNow()},
      {"%Field", d.field},       {"%Message", d.message},
      {"%Procedure", Procedure()},
  };
  // One pass: substituted values are never searched again.
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool done = false;
    if (text[i] == '%') {
      for (const auto& [name, value] : subs) {
        if (text.substr(i, name.size()) == name) {
          out += value;
          i += name.size();
          done = true;
          break;
        }
      }
    }
    if (!done) out += text[i++];
  }
  return out;
}

int ErrorReporter::Throw(Msg id) {
  const MessageDef& def = Def(id);
  const bool error = def.level == kFatal;
  rt::Message(Substitute(def.text), def.caption,
              error ? rt::kIconHand : rt::kIconExclamation, rt::kButtonOk, rt::kButtonOk);
  return def.level;
}

int ErrorReporter::ThrowFile(Msg id, std::string_view fileLabel, std::string_view fileName) {
  SetFile(fileLabel);
  Details().fileName = fileName;
  const int level = Throw(id);
  Details().fileName.clear();
  return level;
}

int ErrorReporter::ThrowMessage(Msg id, std::string_view message) {
  Details().message = message;
  return Throw(id);
}

}  // namespace cl
