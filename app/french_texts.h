#pragma once

class QCoreApplication;

namespace app {

// Every text the user sees is French, Qt's own too: the standard buttons
// ("OK / Annuler", "Oui / Non") and the file dialog, whatever the user's
// locale. Numbers keep the user's own locale. Returns false when Qt's French
// translation is not installed; the texts then stay Qt's default English.
bool install_french_texts(QCoreApplication& app);

}  // namespace app
