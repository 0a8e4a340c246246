#pragma once

#include <QTranslator>

#include <memory>
#include <vector>

class QCoreApplication;
class QString;

// Qt's own texts and the window's in the language of the default locale, over English's plural
// forms, installed on app; kept alive by the caller for the whole run. A language without a
// translation stays English, silently.
std::vector<std::unique_ptr<QTranslator>> install_translations(QCoreApplication& app);

// The help page in folder for the same language: larkmoor-help.<language>.html where there is
// one, otherwise the English larkmoor-help.html.
QString help_page(const QString& folder);
