#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>

std::vector<std::unique_ptr<QTranslator>> install_translations(QCoreApplication& app)
{
    const QLocale locale = QLocale::system();
    const QString qt_folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    struct Catalogue {
        const char* name;
        QString folder;
    };
    // The load finds the nearest file for the locale: de_DE takes larkmoor_de.qm.
    const Catalogue catalogues[] = {{"qtbase", qt_folder}, {"qtdeclarative", qt_folder}, {"larkmoor", ":/i18n"}};
    std::vector<std::unique_ptr<QTranslator>> installed;
    for (const Catalogue& catalogue : catalogues) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, catalogue.name, "_", catalogue.folder) && app.installTranslator(translator.get()))
            installed.push_back(std::move(translator));
    }
    return installed;
}
