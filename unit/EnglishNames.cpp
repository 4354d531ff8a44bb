#include "EnglishNames.h"

#include <QTranslator>

#include <memory>

#include "Translations.h"

namespace {

// The catalogue is read once; without it the names stay as they are.
QString English(const char* context, const char* text) {
    static const std::unique_ptr<QTranslator> catalogue = LoadEnglishCatalogue();
    const QString english = catalogue ? catalogue->translate(context, text) : QString();
    return english.isEmpty() ? QString::fromUtf8(text) : english;
}

}  // namespace

QString EnglishRegisterName(const char* name) {
    return English("RegisterMap", name);
}

QString EnglishSettingLabel(const char* label) {
    return English("ConfigBlock", label);
}
