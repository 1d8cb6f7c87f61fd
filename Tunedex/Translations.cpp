#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

namespace tunedex {

namespace {

constexpr const char kInstalledName[] = "tunedex-catalogue";
constexpr const char kSubFolder[] = "tunedex/translations";

// Loads the catalogue "name_<language>" of the first of the user's languages
// that has one, from the first folder that has it; its file, or nothing.
// English, the language of the sources, ends the search: a user who prefers
// English before German (LANGUAGE=en:de) gets the texts as written.
QString load(QTranslator *translator, const QLocale &locale, const QString &name, const QStringList &folders)
{
    for (const QString &language : locale.uiLanguages()) {
        const QLocale wanted(language);
        if (wanted.language() == QLocale::English || wanted.language() == QLocale::C)
            break;
        for (const QString &folder : folders) {
            if (!folder.isEmpty() && translator->load(wanted, name, QStringLiteral("_"), folder))
                return translator->filePath();
        }
    }
    return QString();
}

} // namespace

QStringList catalogueFolders()
{
    QStringList folders;
    const QString app = QCoreApplication::applicationDirPath();
    if (!app.isEmpty())
        folders << QDir::cleanPath(app + QStringLiteral("/../share/") + QLatin1String(kSubFolder));
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << QDir::cleanPath(data + QLatin1Char('/') + QLatin1String(kSubFolder));
    folders.removeDuplicates();
    return folders;
}

LoadedCatalogues installTranslations(const QLocale &locale, const QStringList &folders)
{
    QCoreApplication *app = QCoreApplication::instance();
    LoadedCatalogues loaded;
    if (!app)
        return loaded;
    // A second call (a test changing the language) replaces what the first installed.
    const QList<QTranslator *> earlier = app->findChildren<QTranslator *>(QLatin1String(kInstalledName),
                                                                           Qt::FindDirectChildrenOnly);
    for (QTranslator *t : earlier) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }

    // The C locale is a program's own default, not a language: as gettext
    // does, it leaves LANGUAGE unheard and the texts as written.
    if (locale.language() == QLocale::C)
        return loaded;

    auto install = [&](const QString &name, const QStringList &where) {
        auto *t = new QTranslator(app);
        t->setObjectName(QLatin1String(kInstalledName));
        const QString file = load(t, locale, name, where);
        if (file.isEmpty()) {
            delete t;
            return file;
        }
        QCoreApplication::installTranslator(t);
        return file;
    };
    loaded.qt = install(QStringLiteral("qtbase"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    // Installed last, so asked first: the program's words win over Qt's.
    loaded.program = install(QStringLiteral("tunedex"), folders);
    return loaded;
}

} // namespace tunedex
