#pragma once
// The program in the user's language: its own catalogue (tunedex_<lang>.qm,
// built from translations/) and Qt's (qtbase_<lang>.qm, the texts of Qt's own
// dialogs and buttons), chosen by the system's locale (LANG, LC_MESSAGES,
// LC_ALL and LANGUAGE). English is the language of the sources: without a
// catalogue for the locale every text shows as written there.

#include <QLocale>
#include <QStringList>

namespace tunedex {

// Where the program's catalogues may be, in order: share/tunedex/translations
// beside the folder of the program (an installed program's prefix, or the
// build tree), then the same under every XDG data folder.
QStringList catalogueFolders();

struct LoadedCatalogues {
    QString program;  // the file of the program's catalogue, empty when none fits
    QString qt;       // the file of Qt's catalogue, empty when none fits
};

// Installs the catalogues for the locale into the application, replacing the
// ones an earlier call installed. Needs a QCoreApplication.
LoadedCatalogues installTranslations(const QLocale &locale = QLocale::system(),
                                     const QStringList &folders = catalogueFolders());

} // namespace tunedex
