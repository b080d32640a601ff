#pragma once
// The per-user folders of the desktop's base-directory rules, for the program's own files.
#include <string>

namespace hv {

// $XDG_CONFIG_HOME/harrowvane, or ~/.config/harrowvane; and $XDG_STATE_HOME/harrowvane, or
// ~/.local/state/harrowvane. A relative XDG value is ignored, as the rules require. Nothing is
// created here.
std::string UserConfigFolder();
std::string UserStateFolder();

// Creates a folder and its missing parents with owner-only access; false when it cannot.
bool MakeFolders(const std::string& path);

// Replaces a small file in one step (temporary file, flush, rename); false on any failure, with
// nothing left behind.
bool WriteFileAtomically(const std::string& fileName, const std::string& contents);

// Reads at most limit bytes of a file; false when it cannot be read or is larger.
bool ReadSmallFile(const std::string& fileName, std::size_t limit, std::string& contents);

}  // namespace hv
