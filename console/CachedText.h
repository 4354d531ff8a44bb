#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRect>
#include <QStaticText>
#include <QString>
#include <QVarLengthArray>

#include <array>
#include <cstdint>
#include <tuple>
#include <unordered_map>
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
    static constexpr int kMaxTiles = 1024;

    // While one lives, DrawTopLeft draws on a cell just filled with one solid colour: a text
    // drawn from single glyphs then comes from tiles, each glyph once blended over that
    // colour in the pen's colour and then copied, the same pixels at a fraction of the cost
    // of blending them again. Only where no tile overlaps another and each lies inside its
    // text's rect; anything else drawn the long way ends the use of tiles for the cell.
    class PlainCell {
    public:
        explicit PlainCell(const QColor& background);
        ~PlainCell();
        PlainCell(const PlainCell&) = delete;
        PlainCell& operator=(const PlainCell&) = delete;
    };

    static void DrawTopLeft(QPainter& painter, const QRect& rect, const QString& text);

    // Draws the text as DrawTopLeft does when it fits the rect's width; one that does not fit
    // is cut and ended with "…", as QFontMetrics::elidedText cuts it at the right (and as the
    // item views' style cuts a line): one drawn from single glyphs with the ellipsis after the
    // glyphs kept (also when only the characters it begins with are cut to), any other laid out
    // as cut, the cut kept.
    static void DrawTopLeftElided(QPainter& painter, const QRect& rect, const QString& text);

    // How many whole pixels from their left DrawTopLeft draws alike for two texts: those of
    // the characters both begin with, less the last of them (a glyph may reach a little left
    // of its place, over the one before). 0 unless both are drawn from single glyphs.
    static int SameLeadingWidth(const QFont& font, const QString& before, const QString& after);

    // Whether DrawTopLeft draws the text from single glyphs in this font; width is then how far
    // they reach.
    static bool PlainWidth(const QFont& font, const QString& text, qreal& width);

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

    // A glyph blended over a background, cut to the pixels it changed, placed relative to
    // the whole pixel its origin falls in.
    struct Tile {
        QImage image;
        QPoint offset;
    };

    // A tile's glyph, or the two whose shared columns it holds: the first's origin within its
    // pixel and the second's from the first's pixel, in 64ths of a pixel.
    static constexpr quint32 kNoGlyph = 0xffffffff;
    struct TileGlyphs {
        quint32 first;
        QPoint firstSubpixel;
        quint32 second;
        QPoint secondFrom;
    };
    struct TileStyle {
        QRgb pen;
        QImage::Format format;
        int hints;
    };
    using TileKey = std::tuple<quint32, int, int, quint32, int, int, QRgb, QRgb, int, int>;
    struct TileKeyHash {
        std::size_t operator()(const TileKey& key) const {
            return std::apply([](const auto&... field) { return qHashMulti(0, field...); }, key);
        }
    };
    struct TilePiece {
        const QImage* image;
        QRect from;
        QPoint at;
    };
    using TilePieces = QVarLengthArray<TilePiece, 32>;

    struct FontTexts {
        explicit FontTexts(const QFont& f);

        QFont font;
        QHash<QString, QStaticText> layouts;
        // Texts too long for a room, as cut to it, by text and room.
        QHash<std::pair<QString, int>, QString> elided;
        // By glyph, origin within its pixel in 64ths, pen, background and pixel format. A
        // tile stays where it is while others are added, until the tiles are dropped.
        std::unordered_map<TileKey, Tile, TileKeyHash> tiles;
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
    // Walks a text that can be drawn from single glyphs, calling place(i, glyph, x) for each
    // character with where it goes; width is then how far they reach. False, having stopped,
    // at the first character that cannot be drawn that way.
    template <typename PlaceGlyph>
    static bool PlaceGlyphs(FontTexts& texts, const QString& text, PlaceGlyph&& place,
                            qreal& width);
    // A text's glyphs and where each goes, kept on the stack: a glyph run is made of them
    // only when the text engine is to draw them.
    struct Glyphs {
        QVarLengthArray<quint32, 32> indexes;
        QVarLengthArray<QPointF, 32> positions;
    };
    // Fills glyphs with the text's glyphs when the text can be drawn that way.
    static bool Compose(FontTexts& texts, const QString& text, Glyphs& glyphs, qreal& width);
    // The first count of the glyphs, as a run in the font's face.
    static QGlyphRun RunOf(const FontTexts& texts, const Glyphs& glyphs, qsizetype count);
    // Whether the text can be drawn from single glyphs, as Compose finds, without making the
    // run; x is then where the character at place `at` goes (at the text's size: its end).
    static bool Placed(FontTexts& texts, const QString& text, qsizetype at, qreal& x);
    // Fills glyphs with those of the printable ASCII characters the text begins with, less
    // the last of them, when those reach beyond the room: the text is then cut within them.
    static bool ComposeCutStart(FontTexts& texts, const QString& text, int room, Glyphs& glyphs);
    // Draws the glyphs cut to the rect's width and ended with "…".
    static void DrawCut(QPainter& painter, FontTexts& texts, const QRect& rect,
                        const Glyphs& glyphs);
    static const Glyph& GlyphFor(FontTexts& texts, char16_t c);
    static bool PlainPair(FontTexts& texts, char16_t first, char16_t second);
    // Draws the glyphs from tiles when the plain cell allows it; gives false, having drawn
    // nothing, otherwise.
    bool DrawTiles(QPainter& painter, FontTexts& texts, const Glyphs& glyphs, const QRect& rect);
    static void CopyPieces(QPainter& painter, const TilePieces& pieces, const QRect& rect);
    const Tile& TileFor(FontTexts& texts, const TileStyle& style, const TileGlyphs& glyphs);

    std::vector<FontTexts> fonts_;
    // The plain cell being drawn, and the tiles drawn on it so far.
    bool plain_ = false;
    QRgb background_ = 0;
    std::vector<QRect> drawnTiles_;
};
