#include "AppStyle.h"

#include <QPalette>
#include <QToolTip>

QFont SongFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
                      QStringLiteral("Noto Serif CJK SC")});
    font.setPixelSize(pixelSize);
    return font;
}

QFont WindowFont() {
    return SongFont(16);
}

QFont KaiFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("楷体_GB2312"), QStringLiteral("KaiTi_GB2312"),
                      QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                      QStringLiteral("AR PL KaitiM GB"), QStringLiteral("Noto Serif CJK SC")});
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void SetApplicationHintColour() {
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(11, 255, 11));
    QToolTip::setPalette(palette);
}
