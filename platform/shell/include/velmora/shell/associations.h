#pragma once
// The desktop's associations of file kinds and link schemes with programs,
// as the XDG specifications keep them: MIME types of file extensions from
// the shared MIME database (globs2), default applications from the
// mimeapps.list files (then the desktop's mimeinfo.cache), and their
// commands from the .desktop entries of the data folders, as xdg-open
// finds them. Every folder honours XDG_CONFIG_HOME, XDG_CONFIG_DIRS,
// XDG_DATA_HOME and XDG_DATA_DIRS.
#include <string>
#include <string_view>

namespace shell {

// The MIME type of a file extension ("pdf", without the dot, any case);
// "" when the database knows none.
std::string MimeTypeOfExtension(std::string_view extension);

// The desktop entry ("browser.desktop") of the default application for a
// MIME type ("text/html", "x-scheme-handler/mailto"); "" when none.
std::string DefaultApplication(std::string_view mimeType);

// The Exec line of a desktop entry found in the applications folders of
// the data folders; "" when the entry or its Exec key is missing.
std::string DesktopEntryCommand(std::string_view desktopId);

// The command of the default application of a MIME type; "" when none.
std::string OpenCommand(std::string_view mimeType);

}  // namespace shell
