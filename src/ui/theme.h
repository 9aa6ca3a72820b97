// Where the fixed-width font comes from. setupFontsAndStyle (frame.h) loads the fonts and sets
// the style; these are its search rules, apart so they can be checked on a folder tree.
#pragma once

#include <string>
#include <vector>

namespace ui {

// The font folders to search, most personal first. Windows: the Fonts folder of WINDIR (or of
// C:\Windows). Elsewhere: the user's ($XDG_DATA_HOME/fonts or ~/.local/share/fonts, ~/.fonts)
// and the system's (/usr/local/share/fonts, /usr/share/fonts).
std::vector<std::string> monoFontFolders();

// The fixed-width font files by preference. Windows: Cascadia Mono, Cascadia Code, Consolas.
// Elsewhere the two Cascadia files first, then DejaVu Sans Mono, Liberation Mono, Noto Sans Mono.
const std::vector<std::string>& monoFontNames();

// Every existing file named in names, found in folders (and, unless flat, their sub-folders at
// any depth), ordered by the name's preference and, for one name, by the folder's order.
std::vector<std::string> findFontFiles(const std::vector<std::string>& folders,
                                       const std::vector<std::string>& names, bool flat);

} // namespace ui
