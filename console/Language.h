#pragma once

#include <QString>

#include <memory>
#include <vector>

class QTranslator;

// The language of the windows: Chinese, as the texts are written, or English from the carried
// catalogue.
enum class UiLanguage { Chinese, English };

// The settings file's "Language" ("en" or "zh") wins; without it the locale decides: the first
// of LC_ALL, LC_MESSAGES and LANG that is set, English when it starts with "en".
UiLanguage ChooseLanguage(const QString& setting, const QString& lcAll, const QString& lcMessages,
                          const QString& lang);

// The choice for this run, from the settings file at settingsPath and the environment.
UiLanguage LanguageOfThisRun(const QString& settingsPath);

// Installs the translators of the language (the program's catalogue and Qt's own texts) and
// the faces its texts are drawn in. The translators stay installed while the result lives.
class LanguageInstall {
public:
    explicit LanguageInstall(UiLanguage language);
    ~LanguageInstall();
    LanguageInstall(const LanguageInstall&) = delete;
    LanguageInstall& operator=(const LanguageInstall&) = delete;

private:
    std::vector<std::unique_ptr<QTranslator>> translators_;
};
