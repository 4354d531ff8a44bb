#include "QtChinese.h"

#include <QLibraryInfo>
#include <QTranslator>

std::unique_ptr<QTranslator> LoadQtChinese() {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return nullptr;
    }
    return translator;
}
