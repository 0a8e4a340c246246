#pragma once

#include <QTranslator>

#include <memory>
#include <vector>

class QCoreApplication;

// Qt's own texts and the window's in the language of the default locale, over English's plural
// forms, installed on app; kept alive by the caller for the whole run. A language without a
// translation stays English, silently.
std::vector<std::unique_ptr<QTranslator>> install_translations(QCoreApplication& app);
