// The disc image check: choosing the image with the system's file dialog.
#include "app/app.h"
#include "ui/desktop.h"
#include "ui/lang.h"

void App::chooseDisc() {
    const std::string path = ui::openDiscImageDialog(
        ui::nativeWindowHandle(),
        ui::tr("Select your Quillmere disc image", "Choisir l'image disque de Quillmere"),
        ui::tr("Disc images", "Images disque"), ui::tr("All files", "Tous les fichiers"));
    if (!path.empty()) startDiscCheck(path);
}
