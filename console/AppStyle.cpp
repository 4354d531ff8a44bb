#include "AppStyle.h"

#include <QPalette>
#include <QToolTip>

namespace {

bool latinFaces = false;

// The faces in order, with the Latin face first when English is shown.
QStringList Faces(const QString& latin, QStringList chinese) {
    if (latinFaces) {
        chinese.prepend(latin);
    }
    return chinese;
}

}  // namespace

void UseLatinFaces(bool latin) {
    latinFaces = latin;
}

QFont SongFont(int pixelSize) {
    QFont font;
    font.setFamilies(
        Faces(QStringLiteral("Liberation Serif"),
              {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
               QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
               QStringLiteral("Noto Serif CJK SC")}));
    font.setPixelSize(pixelSize);
    return font;
}

QFont WindowFont() {
    return SongFont(16);
}

QFont KaiFont(int pixelSize) {
    QFont font;
    font.setFamilies(
        Faces(QStringLiteral("Liberation Sans"),
              {QStringLiteral("楷体_GB2312"), QStringLiteral("KaiTi_GB2312"),
               QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
               QStringLiteral("AR PL KaitiM GB"), QStringLiteral("Noto Serif CJK SC")}));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void SetApplicationHintColour() {
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(11, 255, 11));
    QToolTip::setPalette(palette);
}
