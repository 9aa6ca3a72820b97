// The desktop's own services: the file dialog and opening things with the default program.
// The interface reaches them through ui/desktop.h.
#pragma once

#include <string>
#include <vector>

namespace plat {

struct DialogFilter {
    std::string name;                    // the text the dialog shows
    std::vector<std::string> extensions; // without the dot; empty: every file
};

// The system's dialog for choosing one existing file, modal and synchronous: it returns when the
// dialog has closed. owner is the native handle of the window it belongs to (may be null). The
// chosen path in UTF-8, or empty text when the user cancelled or the dialog failed.
std::string openFileDialog(void* owner, const std::string& title,
                           const std::vector<DialogFilter>& filters);

// Hands a web address, or a local file or folder, to the program the desktop opens it with.
// False when nothing could be started; what the program then does is not known.
bool openWithDefaultProgram(const std::string& target);

// Whether target is an address with a scheme ("https://…"), not a local path.
bool isWebAddress(const std::string& target);

// The file:// address of an absolute POSIX path, every byte outside the unreserved set and "/"
// percent-escaped (so spaces, "#", "%" and non-ASCII bytes survive the trip).
std::string fileUrl(const std::string& absolutePath);

} // namespace plat
