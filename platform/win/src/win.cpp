#include "velmora/win/win.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>

#include "velmora/runtime/ini.h"
#include "velmora/runtime/system.h"

namespace win {
namespace {

constexpr std::string_view kStoreFile = "desktop.ini";
constexpr std::string_view kDesktop = "Desktop";
constexpr std::string_view kDragFullWindows = "DragFullWindows";

std::mutex gMutex;
// A value set without SPIF_UPDATEINIFILE holds for the rest of the process.
std::optional<BOOL> gSessionDrag;

std::string StorePath() { return UserStoreFolder() + std::string(kStoreFile); }

BOOL StoredDrag() {
  std::string v = rt::GetIni(kDesktop, kDragFullWindows, "1", StorePath());
  return v == "0" ? 0 : 1;
}

void StoreDrag(BOOL value) {
  std::error_code ec;
  std::filesystem::create_directories(UserStoreFolder(), ec);
  rt::PutIni(kDesktop, kDragFullWindows, value ? "1" : "0", StorePath());
}

}  // namespace

std::string UserStoreFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : ".") + "/.config";
  }
  if (base.back() != '/') base += '/';
  return base + "Velmora/";
}

BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, void* pvParam,
                           UINT fWinIni) {
  std::lock_guard<std::mutex> lock(gMutex);
  switch (uiAction) {
    case SPI_GETDRAGFULLWINDOWS:
      if (!pvParam) return 0;
      *static_cast<BOOL*>(pvParam) = gSessionDrag ? *gSessionDrag : StoredDrag();
      return 1;
    case SPI_SETDRAGFULLWINDOWS: {
      BOOL value = uiParam ? 1 : 0;
      if (fWinIni & SPIF_UPDATEINIFILE) {
        StoreDrag(value);
        gSessionDrag.reset();
      } else {
        gSessionDrag = value;
      }
      return 1;
    }
    default:
      return 0;
  }
}

void OutputDebugStringA(const char* text) {
  rt::OutputDebugString(text ? std::string_view(text) : std::string_view());
}

}  // namespace win
