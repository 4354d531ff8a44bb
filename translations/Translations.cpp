#include "Translations.h"

#include <QTranslator>

std::unique_ptr<QTranslator> LoadEnglishCatalogue() {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/translations/vr7c_en.qm"))) {
        return nullptr;
    }
    return translator;
}
