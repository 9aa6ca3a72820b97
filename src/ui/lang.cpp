// The interface language.
#include "ui/lang.h"

#include "app/app.h"

namespace ui {

bool french = false;

void setLanguage(App& app, bool toFrench) {
    french = toFrench;
    app.settings.language = toFrench ? "fr" : "en";
    saveLauncherSettings(app.settings, app.launcherIni);
}

} // namespace ui
