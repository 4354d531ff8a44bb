#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QRawFont>
#include <QRect>
#include <QStaticText>
#include <QString>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// Draws a cell's text as painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop, text) does, at
// a fraction of the cost. The grids repaint their changed cells after every good poll; laying
// each text out anew (shaping) was a large part of the console's CPU use.
//
// A text of printable ASCII characters (the values: digits, sign, point, "ON", "OFF", "%") is
// drawn from its characters' glyphs, each looked up once per font, placed one after another
// by their advances, as the layout of the whole text would place them; a pair of characters
// the font kerns, or a character the font cannot draw by itself, sends the text the long way.
// Any other text (the Chinese headers) is laid out once and the layout kept.
//
// Bounds: at most kMaxTexts layouts per font are kept; past that the font's layouts are
// dropped and built again as needed. Everything kept goes when the application object goes.
class CachedText {
public:
    static constexpr int kMaxTexts = 2048;

    static void DrawTopLeft(QPainter& painter, const QRect& rect, const QString& text);

    // Draws the text as DrawTopLeft does when it fits the rect's width; one drawn from single
    // glyphs that does not fit is cut and ended with "…", as QFontMetrics::elidedText cuts
    // it at the right. Gives false, having drawn nothing, for any other text that does not fit.
    static bool DrawTopLeftElided(QPainter& painter, const QRect& rect, const QString& text);

    // How many whole pixels from their left DrawTopLeft draws alike for two texts: those of
    // the characters both begin with, less the last of them (a glyph may reach a little left
    // of its place, over the one before). 0 unless both are drawn from single glyphs.
    static int SameLeadingWidth(const QFont& font, const QString& before, const QString& after);

    // The long way, always: for checking that both ways draw the same pixels.
    static void DrawTopLeftLaidOut(QPainter& painter, const QRect& rect, const QString& text);

private:
    static constexpr char16_t kFirstAscii = 0x20;
    static constexpr char16_t kLastAscii = 0x7e;
    static constexpr int kAsciiCount = kLastAscii - kFirstAscii + 1;

    enum class Known : std::uint8_t { Unknown, Yes, No };

    struct Glyph {
        Known usable = Known::Unknown;
        quint32 index = 0;
        qreal advance = 0;
    };

    struct FontTexts {
        explicit FontTexts(const QFont& f);

        QFont font;
        QHash<QString, QStaticText> layouts;
        std::array<Glyph, kAsciiCount> glyphs{};
        // Per pair of characters: whether the font moves the second against the first.
        std::vector<Known> plainPairs;
        QRawFont rawFont;  // the face every usable glyph comes from
        qreal baseline = 0;
        qreal height = 0;
    };

    static CachedText& Instance();
    FontTexts& For(const QFont& font);
    const QStaticText& Layout(FontTexts& texts, const QString& text);
    // Fills run with the text's glyphs when the text can be drawn that way.
    static bool Compose(FontTexts& texts, const QString& text, QGlyphRun& run, qreal& width);
    static const Glyph& GlyphFor(FontTexts& texts, char16_t c);
    static bool PlainPair(FontTexts& texts, char16_t first, char16_t second);

    std::vector<FontTexts> fonts_;
};
