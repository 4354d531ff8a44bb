#pragma once

#include <memory>

class QTranslator;

// Qt's own texts (the line fields' context menu, the buttons of message boxes) in Chinese, like
// every other text of the program. Gives the translator to install, or nothing when Qt's
// Chinese catalogue is not installed (Debian: qt6-translations-l10n).
std::unique_ptr<QTranslator> LoadQtChinese();
