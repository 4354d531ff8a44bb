#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "AppStyle.h"
#include "QtChinese.h"
#include "SettingsStore.h"
#include "Translations.h"

UiLanguage ChooseLanguage(const QString& setting, const QString& lcAll, const QString& lcMessages,
                          const QString& lang) {
    if (setting == QLatin1String("en")) {
        return UiLanguage::English;
    }
    if (setting == QLatin1String("zh")) {
        return UiLanguage::Chinese;
    }
    for (const QString& locale : {lcAll, lcMessages, lang}) {
        if (!locale.isEmpty()) {
            return locale.startsWith(QLatin1String("en")) ? UiLanguage::English
                                                          : UiLanguage::Chinese;
        }
    }
    return UiLanguage::Chinese;
}

UiLanguage LanguageOfThisRun(const QString& settingsPath) {
    return ChooseLanguage(SettingsStore(settingsPath).ReadLanguage(),
                          qEnvironmentVariable("LC_ALL"), qEnvironmentVariable("LC_MESSAGES"),
                          qEnvironmentVariable("LANG"));
}

LanguageInstall::LanguageInstall(UiLanguage language) {
    UseLatinFaces(language == UiLanguage::English);
    if (language == UiLanguage::Chinese) {
        translators_.push_back(LoadQtChinese());
    } else {
        translators_.push_back(LoadEnglishCatalogue());
        auto qtEnglish = std::make_unique<QTranslator>();
        if (qtEnglish->load(QStringLiteral("qtbase_en"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            translators_.push_back(std::move(qtEnglish));
        }
    }
    std::erase(translators_, nullptr);
    for (const auto& translator : translators_) {
        QCoreApplication::installTranslator(translator.get());
    }
}

LanguageInstall::~LanguageInstall() {
    for (const auto& translator : translators_) {
        QCoreApplication::removeTranslator(translator.get());
    }
    UseLatinFaces(false);
}
