// LinkHelper's reach outside the program: which program opens a link or a
// file kind, preparing an e-mail address, and opening through the shell.
#include <algorithm>
#include <cctype>

#include "address.h"
#include "velmora/links/linkhelper.h"
#include "velmora/runtime/cmdline.h"
#include "velmora/runtime/text.h"
#include "velmora/win/version.h"

namespace links {
namespace {

constexpr std::string_view kOpenCommand = "\\shell\\open\\command";
constexpr std::string_view kSystemDrive = "%SystemDrive%";

bool StartsWithNoCase(std::string_view s, std::string_view head) {
  return s.size() >= head.size() && rt::Lower(s.substr(0, head.size())) == head;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string_view Unquoted(std::string_view address) {
  if (address.size() >= 2 && address.front() == '"' && address.back() == '"')
    return address.substr(1, address.size() - 2);
  return address;
}

std::string SchemeOf(std::string_view address) {
  size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(address[0])))
    return {};
  for (size_t i = 1; i < colon; ++i) {
    char c = address[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
  }
  return rt::Lower(address.substr(0, colon));
}

bool LinkHelper::RegRead(const std::string& key, std::string& out) {
  REGSUBKEYNAME = key;
  REGBUFFERSIZE = 200;
  std::string buffer(static_cast<size_t>(REGBUFFERSIZE), '\0');
  win::LONG size = REGBUFFERSIZE;
  win::LONG rc = win::RegQueryValueA(REGQUERYHANDLE, REGSUBKEYNAME.c_str(), buffer.data(), &size);
  if (rc != win::ERROR_SUCCESS) return false;
  out = buffer.c_str();
  return true;
}

// "mailto\shell\open\command" into HYPEREMAIL; a "%SystemDrive%" in it
// becomes the system folder's drive (at the start too, or only later on).
void LinkHelper::ReadMailProgram(bool replaceAtStart) {
  HYPEREMAIL.clear();
  if (!RegRead("mailto" + std::string(kOpenCommand), HYPEREMAIL) || HYPEREMAIL.empty()) {
    HYPEREMAIL.clear();
    if (replaceAtStart || rt::HasSwitch("/LXdbg")) Trace("No Email program found");
    return;
  }
  size_t at = HYPEREMAIL.find(kSystemDrive);
  if (at == std::string::npos || (!replaceAtStart && at == 0)) return;
  std::string folder(PSZBUFFER, '\0');
  win::UINT n = win::GetWindowsDirectoryA(folder.data(), PSZBUFFER);
  if (n == 0 || n >= PSZBUFFER) {
    if (!replaceAtStart && rt::HasSwitch("/LXdbg")) Trace("Could not get the %SystemDrive%");
    return;
  }
  PSZPATH = folder.c_str();
  size_t colon = PSZPATH.find(':');
  if (colon != std::string::npos) HYPEREMAIL.replace(at, kSystemDrive.size(), PSZPATH.substr(0, colon + 1));
}

// The browser is the desktop's program for web links, the mail program
// the one for "mailto:" links.
void LinkHelper::LookUpPrograms() {
  HYPERBROWSER.clear();
  HYPEREMAIL.clear();
  REGQUERYHANDLE = win::HKEY_CLASSES_ROOT;
  if (!RegRead("http" + std::string(kOpenCommand), HYPERBROWSER)) {
    HYPERBROWSER.clear();
    Trace("No Browser found in the registry.");
  }
  ReadMailProgram(true);
}

// ---- slot 14
rt::Byte LinkHelper::FindProgram(std::string_view address) {
  const std::string a = rt::Clip(address);
  const std::string scheme = SchemeOf(a);
  std::string extension;
  if (StartsWithNoCase(a, "www.") || scheme == "http" || scheme == "https") {
    if (!HYPERBROWSER.empty()) {
      OPENPROGRAM = HYPERBROWSER;
      return 1;
    }
    if (!scheme.empty() && RegRead(scheme + std::string(kOpenCommand), OPENPROGRAM)) return 1;
    extension = "htm";
  } else if (scheme == "mailto" || (scheme.empty() && a.find('@') != std::string::npos)) {
    if (HYPEREMAIL.empty()) ReadMailProgram(false);
    if (HYPEREMAIL.empty()) return 0;
    OPENPROGRAM = HYPEREMAIL;
    return 1;
  } else if (!scheme.empty() && scheme != "file") {
    // any other scheme opens with the desktop's program for it
    if (RegRead(scheme + std::string(kOpenCommand), OPENPROGRAM)) return 1;
    if (rt::HasSwitch("/LXdbg"))
      Trace("RegQueryValue: 2\r\n RegSubkeyName: " + REGSUBKEYNAME + "\r\n self.OpenProgram: " + OPENPROGRAM);
    return 0;
  } else {
    if (a.empty()) return 0;
    size_t dot = a.rfind('.');
    extension = dot == std::string::npos ? a : a.substr(dot + 1);
  }
  const std::string keys[] = {extension + "file" + std::string(kOpenCommand),
                              extension + "_auto_file" + std::string(kOpenCommand), "." + extension};
  for (int n = 1; n <= 3; ++n) {
    std::string value;
    bool ok = RegRead(keys[n - 1], value);
    if (rt::HasSwitch("/LXdbgReg"))
      Trace("Tried(" + std::to_string(n) + "): " + keys[n - 1] + "\r\nReturned:" + (ok ? "0" : "2"));
    if (ok && n == 3) {
      // the extension's class name; its command is the program
      const std::string key = value + std::string(kOpenCommand);
      ok = RegRead(key, value);
      if (rt::HasSwitch("/LXdbgReg")) Trace("Tried(3+): " + key + "\r\nReturned:" + (ok ? "0" : "2"));
      if (ok && extension == "htm") HYPERBROWSER = value;
    }
    if (ok) {
      OPENPROGRAM = value;
      return 1;
    }
    if (rt::HasSwitch("/LXdbg"))
      Trace("RegQueryValue: 2\r\n RegSubkeyName: " + REGSUBKEYNAME + "\r\n self.OpenProgram: " + OPENPROGRAM);
  }
  return 0;
}

// ---- slot 4
void LinkHelper::RunUrl(long maxLength) {
  const std::string url = rt::Clip(URLTORUN);
  if (url.empty()) return;
  // a quoted address has its scheme inside the quotes
  const std::string scheme = SchemeOf(Unquoted(url));
  std::string command;
  win::HINSTANCE result;
  if (url.find('@') != std::string::npos && (scheme.empty() || scheme == "mailto")) {
    const std::string prefix = rt::InString("mailto:", rt::Lower(url)) > 0 ? "" : "mailto:";
    if (ENCODEEMAILS == 1) MakeEmailURLSafe();
    command = prefix + rt::Clip(URLTORUN);
    if (maxLength == -1) {
      win::OSVERSIONINFOA v;
      win::GetVersionExA(&v);
      bool oldShell = (v.dwPlatformId == win::VER_PLATFORM_WIN32_WINDOWS &&
                       (v.dwMinorVersion == 0 || v.dwMinorVersion == 10)) ||
                      (v.dwPlatformId == win::VER_PLATFORM_WIN32_NT && v.dwMajorVersion <= 4);
      maxLength = oldShell ? 520 : 0;
    }
    const long program = static_cast<long>(rt::Clip(HYPEREMAIL).size());
    if (maxLength > 0 && static_cast<long>(command.size()) + program > maxLength)
      command.resize(static_cast<size_t>(std::max(0L, maxLength - program)));
    Trace("Command to run: " + command);
    result = win::ShellExecuteA(nullptr, nullptr, command.c_str(), nullptr, nullptr, win::SW_SHOWNORMAL);
  } else {
    // a bare "www." address is a web page; every other address opens as it is
    command = StartsWithNoCase(url, "www.") ? "http://" + url : url;
    Trace("Command to run: " + command);
    win::HWND owner = window_ ? reinterpret_cast<win::HWND>(window_->GetLong(0, ui::Prop::Handle)) : nullptr;
    result = win::ShellExecuteA(owner, nullptr, command.c_str(), nullptr, nullptr, win::SW_SHOWNORMAL);
  }
  if (result > 32) return;
  std::string text = ShellErrorText(static_cast<long>(result)) + command;
  // no program takes the address: say which one the user can install
  if (result == 31)
    text += command.rfind("mailto:", 0) == 0
                ? "||Install a mail program and make it the desktop's program for e-mail addresses."
                : "||Install a web browser (or a program for this kind of file) and make it the desktop's program "
                  "for it.";
  ShowNumberedMessage(static_cast<long>(result), text, "Shell Execute Error:");
}

std::string LinkHelper::ShellErrorText(long result) {
  switch (result) {
    case 0: return "The Operating system is out of memory/resources. File:|";
    case 2: return "The specified file was not found. File:|";
    case 3: return "The specified path was not found. File:|";
    case 5: return "The operating system denied access to the specified file. File:|";
    case 8: return "There was not enough memory to complete the operation. File:|";
    case 11: return "The .exe file is invalid (non-Win32\xAE .exe or error in .exe image). File:|";
    case 26: return "A sharing violation occurred. File:|";
    case 27: return "The file name association is incomplete or invalid. File:|";
    case 28: return "The DDE transaction could not be completed because the request timed out. File:|";
    case 29: return "The DDE transaction failed. File:|";
    case 30: return "The DDE transaction could not be completed because other DDE transactions were being processed. File:|";
    case 31: return "There is no application associated with the given file name extension. File:|";
    case 32: return "The specified dynamic-link library was not found. File:|";
    default: return "Unknown ShellExecute Error occurred. File:|";
  }
}

void LinkHelper::MakeEmailURLSafe() {
  Trace("b4 MakeEmailURLSafe self.URLToRun:\r\n" + rt::Clip(URLTORUN));
  std::string s = rt::Clip(URLTORUN);
  const std::string lower = rt::Lower(s);
  size_t i = lower.find("&body=");
  i = i == std::string::npos ? 0 : i + 6;
  auto followedBy = [&](size_t at, std::string_view word) {
    return rt::Lower(std::string_view(s).substr(at, word.size())) == word;
  };
  static constexpr char kHex[] = "0123456789ABCDEF";
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    bool encode = c <= 32 || c == ';' || c == '<' || c == '>';
    if (c == '%') encode = !(i + 2 < s.size() && IsHex(s[i + 1]) && IsHex(s[i + 2]));
    if (c == '?' || c == '&')
      encode = !(followedBy(i + 1, "body") || followedBy(i + 1, "subject") || followedBy(i + 1, "cc") ||
                 followedBy(i + 1, "bcc"));
    if (encode) {
      s.replace(i, 1, std::string{'%', kHex[c >> 4], kHex[c & 15]});
      i += 3;
    } else {
      ++i;
    }
  }
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  URLTORUN = s;
  Trace("b4 MakeEmailURLSafe self.URLToRun:\r\n" + s);
}

}  // namespace links
