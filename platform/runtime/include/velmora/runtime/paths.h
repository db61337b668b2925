#pragma once
// File names inside the system keep their Windows form (".\\data\\forms.tps",
// "\\tmp\\" — backslashes, Windows-1252 bytes); the host sees UTF-8 paths
// with "/". These two turn one into the other.
#include <string>
#include <string_view>

namespace rt {

// ".\\data\\x.tps" -> "data/x.tps"; trailing blanks and NULs are dropped;
// a name already in host form ("/tmp/x") passes through.
std::string HostPath(std::string_view windowsName);
// "/tmp/x" -> "\\tmp\\x" in Windows-1252.
std::string WindowsPath(std::string_view hostPath);
// A name as a person reads it on this host: "\\tmp\\x.pdf" -> "/tmp/x.pdf",
// still Windows-1252 text (for messages and the controls that show names).
std::string ShownPath(std::string_view windowsName);

// Power-loss safety of host paths: the bytes of a file, or the entries of
// the folder that holds a path (after a create, rename or remove in it),
// are on the disk when these return true; false with errno set otherwise.
bool SyncFile(const std::string& hostPath);
bool SyncFolderOf(const std::string& hostPath);

}  // namespace rt
