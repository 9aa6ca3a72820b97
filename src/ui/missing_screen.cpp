// The screen of an incomplete release: what is missing and where the launcher looked. Nothing can
// be done here but quit, so it has no buttons.
#include "app/app.h"
#include "ui/lang.h"
#include "ui/screens.h"
#include "ui/widgets.h"

namespace ui {

void drawMissingScreen(App& app) {
    title(tr("Some files are missing", "Des fichiers manquent"), kError);
    spacer(4);
    // Reused from frame to frame: composing the message then costs no allocation.
    static std::string message;
    message = tr("The launcher did not find ", "Le lanceur ne trouve pas ");
    message += app.missingItem;
    message += tr(" next to it. Unzip the whole download again, keeping its folders together.",
                  " à côté de lui. Décompressez à nouveau tout le téléchargement, en gardant ses "
                  "dossiers ensemble.");
    textWrapped(message.c_str(), 19, kLight);
    text(app.releaseDir.c_str(), 15, kDim);
}

} // namespace ui
