// Qt's own texts (the buttons of message boxes and input boxes, the file,
// colour and font dialogs) in the interface language, from the translations
// that come with Qt.
#pragma once
#include <string>

// Replaces Qt's texts with those of Language ("de", "ja", "de_DE"); a
// language Qt has no translation for leaves Qt's English texts. The result
// says whether a translation was loaded. GUI thread, application object alive.
bool InstallQtTexts(const std::string& Language);
