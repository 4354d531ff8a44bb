#include "AppStyle.h"

#include <QPalette>
#include <QToolTip>

namespace {

bool latinFaces = false;

// Latin letters in the Chinese faces are half as wide as a Chinese character, and the
// windows' lists were laid out for them: the Latin faces are drawn a little narrower, so
// that "PC-UART" or "COM8" still fit where they did.
constexpr int kLatinStretch = 88;

// The font in the faces given, with the Latin face first when English is shown.
QFont FontOf(const QString& latin, QStringList chinese, int pixelSize) {
    QFont font;
    if (latinFaces) {
        chinese.prepend(latin);
        font.setStretch(kLatinStretch);
    }
    font.setFamilies(chinese);
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

void UseLatinFaces(bool latin) {
    latinFaces = latin;
}

QFont SongFont(int pixelSize) {
    return FontOf(QStringLiteral("Liberation Serif"),
                  {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                   QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
                   QStringLiteral("Noto Serif CJK SC")},
                  pixelSize);
}

QFont WindowFont() {
    return SongFont(16);
}

QFont KaiFont(int pixelSize) {
    QFont font = FontOf(QStringLiteral("Liberation Sans"),
                        {QStringLiteral("楷体_GB2312"), QStringLiteral("KaiTi_GB2312"),
                         QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                         QStringLiteral("AR PL KaitiM GB"), QStringLiteral("Noto Serif CJK SC")},
                        pixelSize);
    font.setBold(true);
    return font;
}

void SetApplicationHintColour() {
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(11, 255, 11));
    QToolTip::setPalette(palette);
}
