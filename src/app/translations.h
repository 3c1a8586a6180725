#pragma once

#include <QLocale>

// Qt's own texts (standard buttons, the file chooser, the command-line help) in the user's
// language, from the translations Qt ships. Needs the application object; call it before anything
// is shown or parsed. False when Qt ships no translation for the locale: its texts stay English.
bool installQtTranslations(const QLocale &locale = QLocale());
