#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "AppStyle.h"
#include "CachedText.h"

namespace {

struct Case {
    const char* name;
    QFont font;
    QRect cell;
};

QFont Bold(QFont font) {
    font.setBold(true);
    return font;
}

QFont PercentFont() {
    QFont font = KaiFont(24);
    font.setPointSize(16);
    return font;
}

// Both ways of drawing a cell's text must give the same pixels: the glyphs placed one after
// another and the layout of the whole text.
// On a plain cell, the glyphs come from tiles blended once: the same pixels again, on each
// kind of pixels the window may have, over the base and the highlight colour.
QImage Drawn(const Case& c, const QString& text, bool laidOut,
             QImage::Format format = QImage::Format_ARGB32_Premultiplied,
             const QColor& background = Qt::white, bool plain = false) {
    QImage image(c.cell.right() + 8, c.cell.bottom() + 8, format);
    image.fill(background);
    QPainter painter(&image);
    painter.setFont(c.font);
    painter.setPen(QColor(0, 128, 128));
    if (laidOut) {
        CachedText::DrawTopLeftLaidOut(painter, c.cell, text);
    } else if (plain) {
        const CachedText::PlainCell cell(background);
        CachedText::DrawTopLeft(painter, c.cell, text);
    } else {
        CachedText::DrawTopLeft(painter, c.cell, text);
    }
    return image;
}

}  // namespace

TEST(CachedText, GlyphsPlacedOneByOneDrawTheSamePixelsAsTheWholeLayout) {
    // The grids' fonts, in cells wide enough and too narrow (clipped); values of every kind
    // the grids show, spaces, the other printable characters, and texts that must take the
    // long way (Chinese, a character outside ASCII).
    const Case cases[] = {
        {"live grid", KaiFont(24), QRect(2, 2, 121, 30)},
        {"live grid, narrow", KaiFont(24), QRect(3, 1, 40, 12)},
        {"percent", PercentFont(), QRect(50, 5, 80, 26)},
        {"register grid", SongFont(14), QRect(2, 2, 61, 17)},
        {"register grid bold", Bold(SongFont(14)), QRect(2, 2, 61, 17)},
        {"headers", SongFont(16), QRect(1, 1, 30, 18)},
    };
    const QString texts[] = {
        QStringLiteral("-12345.67890"), QStringLiteral("0.00000"),
        QStringLiteral("6553.5"),       QStringLiteral("OFF"),
        QStringLiteral("ON 100.0%"),    QStringLiteral("-32768"),
        QStringLiteral(" 4x0017"),      QStringLiteral("1 1 "),
        QStringLiteral("AVATar WA.11"), QStringLiteral("!\"#$&'()*+,/:;<=>?@[\\]^_`{|}~"),
        QStringLiteral("对应温度(℃)"),  QStringLiteral("25.0℃"),
    };
    for (const Case& c : cases) {
        for (const QString& text : texts) {
            // Twice: the second draw uses what the first one kept.
            for (int round = 0; round < 2; ++round) {
                EXPECT_EQ(Drawn(c, text, false), Drawn(c, text, true))
                    << c.name << ": \"" << text.toStdString() << "\" round " << round;
            }
            for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
                for (const QColor& background : {QColor(Qt::white), QColor(48, 140, 198)}) {
                    EXPECT_EQ(Drawn(c, text, false, format, background, true),
                              Drawn(c, text, true, format, background))
                        << c.name << ": \"" << text.toStdString() << "\" on plain cell, format "
                        << format << ", " << background.name().toStdString();
                }
            }
        }
    }
}
