// The interface language: every text exists as an English/French pair, chosen at the moment of use.
#pragma once

struct App;

namespace ui {

// True while the interface is French.
extern bool french;

// Picks the text of the current language.
inline const char* tr(const char* en, const char* fr) {
    return french ? fr : en;
}

// Sets the language and remembers the choice in launcher.ini.
void setLanguage(App& app, bool toFrench);

} // namespace ui
