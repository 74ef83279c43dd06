#pragma once

// The private per-user folder into which resources are written before the shell, a browser or
// the picture loader opens them, and the one place that turns a resource's name and extension
// into the name of its file there.
//
// The folder is $XDG_RUNTIME_DIR/quorvane when that variable names a usable folder, else
// <system temp>/quorvane-<uid>. It is created with mode 0700; an existing path that is not a
// folder owned by the user, or that is group- or world-writable, is refused and a fresh private
// folder (made by mkdtemp beside it) serves for the rest of the run instead. Paths here are
// file-system paths (UTF-8), not scheme texts.

#include <cstddef>
#include <string>

// The folder, created when missing; the same path for every call of one run unless the folder
// had to be refused and replaced. Empty when no private folder can be made.
std::string ExtractionFolder();

// Makes the folder <root>/quorvane, as if $XDG_RUNTIME_DIR named root (tests point it at a
// scratch folder); an empty root restores the environment's choice. Forgets the folder chosen
// so far.
void SetExtractionRoot(const std::string& root);

// Name + "." + Extension with every "/" and zero byte replaced by "_", converted from
// Windows-1251 to UTF-8: always one plain entry of the folder.
std::string ExtractionFileName(const std::string& name, const std::string& extension);

// ExtractionFolder() + "/" + ExtractionFileName(name, extension); empty when there is no
// private folder.
std::string ExtractionFilePath(const std::string& name, const std::string& extension);

// Creates or replaces the content of the regular file at path and writes the bytes in blocks
// of 4096. A symbolic link, a file of another user or one with a second hard link is left
// untouched. False on any failure (the file may then be missing or short).
bool WritePrivateFile(const std::string& path, const unsigned char* data, std::size_t size);
