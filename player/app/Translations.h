// The application's translations: reelfinch_<language>.qm files in the resources' translations folder.
#pragma once

#include <QLocale>
#include <QString>

// The folder the translations are read from: REELFINCH_RESOURCES/translations, else share/reelfinch/translations
// beside the executable's bin/, else the build tree's.
QString translationsFolder();

// Installs the translation for the locale's languages in place of the one installed before; true when one was
// found. A locale without a translation leaves the English texts.
bool installTranslation(const QLocale& locale);
