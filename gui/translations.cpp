#include "translations.h"

#include <easylogging++.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>

std::vector<std::unique_ptr<QTranslator>> install_translations(QCoreApplication& app)
{
    std::vector<std::unique_ptr<QTranslator>> installed;
    const auto install = [&app, &installed](std::unique_ptr<QTranslator> translator) {
        if (app.installTranslator(translator.get()))
            installed.push_back(std::move(translator));
    };

    // The sources say "%n second(s)": English's plural forms serve every language without its
    // own. Installed first, they are searched last.
    const QString english = QStringLiteral(":/i18n/larkmoor_en.qm");
    auto plurals = std::make_unique<QTranslator>();
    if (plurals->load(english))
        install(std::move(plurals));
    else
        LOG(ERROR) << "Failed to load the English plural forms from " << english.toStdString();

    // The default locale: the user's, unless a test has set another.
    const QLocale locale;
    const QString qt_folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    struct Catalogue {
        const char* name;
        QString folder;
    };
    // The load finds the nearest file for the locale: de_DE takes larkmoor_de.qm.
    const Catalogue catalogues[] = {{"qtbase", qt_folder}, {"qtdeclarative", qt_folder}, {"larkmoor", ":/i18n"}};
    for (const Catalogue& catalogue : catalogues) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, catalogue.name, "_", catalogue.folder))
            install(std::move(translator));
    }
    return installed;
}

QString help_page(const QString& folder)
{
    const QDir dir(folder);
    const QString english = dir.filePath(QStringLiteral("larkmoor-help.html"));
    // The user's languages in their order, each from the most specific: de_AT, then de. English
    // is the page without a language, and wins over any language after it.
    for (QString language : QLocale().uiLanguages()) {
        language.replace('-', '_');
        for (int cut = language.size(); cut > 0; cut = language.lastIndexOf('_')) {
            language.truncate(cut);
            if (language == QLatin1String("en"))
                return english;
            const QString page = dir.filePath(QStringLiteral("larkmoor-help.%1.html").arg(language));
            if (QFileInfo::exists(page))
                return page;
        }
    }
    return english;
}
