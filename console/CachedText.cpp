#include "CachedText.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Draws clipped to the cell only when the text does not fit in it.
template <typename DrawFunction>
void DrawInCell(QPainter& painter, const QRect& rect, QSizeF size, DrawFunction&& draw) {
    if (size.width() <= rect.width() && size.height() <= rect.height()) {
        draw();
        return;
    }
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    draw();
    painter.restore();
}

}  // namespace

CachedText::FontTexts::FontTexts(const QFont& f)
    : font(f), plainPairs(static_cast<std::size_t>(kAsciiCount * kAsciiCount)) {}

void CachedText::DrawTopLeft(QPainter& painter, const QRect& rect, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    FontTexts& texts = Instance().For(painter.font());
    Glyphs glyphs;
    qreal width = 0;
    CachedText& cached = Instance();
    if (Compose(texts, text, glyphs, width)) {
        if (width <= rect.width() && texts.height <= rect.height() &&
            cached.DrawTiles(painter, texts, glyphs, rect)) {
            return;
        }
        cached.plain_ = false;
        DrawInCell(painter, rect, {width, texts.height}, [&] {
            painter.drawGlyphRun(rect.topLeft(), RunOf(texts, glyphs, glyphs.indexes.size()));
        });
        return;
    }
    cached.plain_ = false;
    const QStaticText& layout = cached.Layout(texts, text);
    DrawInCell(painter, rect, layout.size(),
               [&] { painter.drawStaticText(rect.topLeft(), layout); });
}

CachedText::PlainCell::PlainCell(const QColor& background) {
    CachedText& cached = Instance();
    cached.plain_ = background.alpha() == 255;
    cached.background_ = background.rgba();
    cached.drawnTiles_.clear();
}

CachedText::PlainCell::~PlainCell() {
    Instance().plain_ = false;
}

bool CachedText::DrawTiles(QPainter& painter, FontTexts& texts, const Glyphs& glyphs,
                           const QRect& rect) {
    if (!plain_) {
        return false;
    }
    // Copying a tile gives what blending the glyph gives only on the same kind of pixels,
    // placed whole pixels apart, with the pen and background opaque.
    const QPaintEngine* engine = painter.paintEngine();
    const QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || device == nullptr ||
        device->devType() != QInternal::Image || device->devicePixelRatio() != 1.0) {
        return false;
    }
    const QImage::Format format = static_cast<const QImage*>(device)->format();
    const QTransform& transform = painter.deviceTransform();
    const QPen& pen = painter.pen();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
        transform.type() > QTransform::TxTranslate ||
        transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy()) || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
        pen.style() != Qt::SolidLine || pen.brush().style() != Qt::SolidPattern ||
        pen.color().alpha() != 255) {
        return false;
    }
    const TileStyle style{pen.color().rgba(), format, static_cast<int>(painter.renderHints())};
    // Tiles are dropped only here, between texts: those of the text being drawn stay put.
    if (texts.tiles.size() >= kMaxTiles) {
        texts.tiles.clear();
    }
    const auto& indexes = glyphs.indexes;
    const auto& positions = glyphs.positions;
    // The glyphs that change pixels, where their tiles go, in order from left to right.
    struct Placed {
        quint32 glyph;
        QPoint whole;
        QPoint subpixel;
        const Tile* tile;
        QRect area;
    };
    QVarLengthArray<Placed, 16> placed;
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        // Where the glyph's origin falls: a whole pixel and 64ths of one, as the text engine
        // places glyphs. An origin between 64ths is left to the text engine.
        const QPointF origin = QPointF(rect.topLeft()) + positions[i];
        const QPoint whole(static_cast<int>(std::floor(origin.x())),
                           static_cast<int>(std::floor(origin.y())));
        const QPointF sixtyFourths = (origin - QPointF(whole)) * 64;
        const QPoint subpixel(static_cast<int>(sixtyFourths.x()),
                              static_cast<int>(sixtyFourths.y()));
        if (subpixel.x() != sixtyFourths.x() || subpixel.y() != sixtyFourths.y()) {
            return false;
        }
        const Tile& tile = TileFor(texts, style, {indexes[i], subpixel, kNoGlyph, {}});
        if (tile.image.isNull()) {
            continue;  // a glyph that changes no pixel
        }
        const QRect area(whole + tile.offset, tile.image.size());
        const bool apart = std::none_of(drawnTiles_.begin(), drawnTiles_.end(),
                                        [&](const QRect& other) { return other.intersects(area); });
        // Neighbours' antialiased edges may share a column; one further on may not.
        const bool third =
            placed.size() >= 2 && placed[placed.size() - 2].area.right() >= area.left();
        if (!rect.contains(area) || !apart || third) {
            return false;
        }
        placed.append({indexes[i], whole, subpixel, &tile, area});
    }
    // Each glyph's own columns from its tile; the columns two neighbours share from a tile of
    // both blended one after the other, as the text engine blends them.
    TilePieces pieces;
    for (qsizetype k = 0; k < placed.size(); ++k) {
        const Placed& p = placed[k];
        int left = p.area.left();
        int right = p.area.right();
        if (k > 0) {
            left = std::max(left, placed[k - 1].area.right() + 1);
        }
        if (k + 1 < placed.size()) {
            const Placed& next = placed[k + 1];
            right = std::min(right, next.area.left() - 1);
            if (next.area.left() <= p.area.right()) {
                const QPoint apart = (next.whole - p.whole) * 64 + next.subpixel;
                const Tile& both = TileFor(texts, style, {p.glyph, p.subpixel, next.glyph, apart});
                if (!both.image.isNull()) {
                    pieces.append({&both.image, both.image.rect(), p.whole + both.offset});
                }
            }
        }
        if (left <= right) {
            const QRect own(left - p.area.left(), 0, right - left + 1, p.area.height());
            pieces.append({&p.tile->image, own, QPoint(left, p.area.top())});
        }
    }
    for (const Placed& p : placed) {
        drawnTiles_.push_back(p.area);
    }
    CopyPieces(painter, pieces, rect);
    return true;
}

void CachedText::CopyPieces(QPainter& painter, const TilePieces& pieces, const QRect& rect) {
    // The pieces' rows are copied straight into the image painted on, within what the painter
    // may paint: drawing each as an image cost as much as blending its glyph, row by row
    // through the repainted region.
    QPaintEngine* engine = painter.paintEngine();
    auto& target = *static_cast<QImage*>(engine->paintDevice());
    const QPoint shift(static_cast<int>(painter.deviceTransform().dx()),
                       static_cast<int>(painter.deviceTransform().dy()));
    const QRect bounds = rect.translated(shift) & target.rect();
    // Where the painter may paint within the bounds: the system clip's rectangles (or the
    // whole image), within the painter's own clip when it has one.
    const QRegion system = engine->systemClip();
    QRegion allowed = system.isEmpty() ? QRegion(bounds) : system;
    if (painter.hasClipping()) {
        allowed &= painter.clipRegion().translated(shift);
    }
    QVarLengthArray<QRect, 8> parts;
    for (const QRect& part : allowed) {
        const QRect within = part & bounds;
        if (!within.isEmpty()) {
            parts.append(within);
        }
    }
    uchar* bits = target.bits();
    const qsizetype lineBytes = target.bytesPerLine();
    constexpr int kPixelBytes = 4;
    for (const TilePiece& piece : pieces) {
        const QPoint at = piece.at + shift;
        const QRect area(at, piece.from.size());
        const uchar* from = piece.image->constBits();
        const qsizetype fromLineBytes = piece.image->bytesPerLine();
        for (const QRect& part : parts) {
            const QRect copied = part & area;
            for (int y = copied.top(); y <= copied.bottom(); ++y) {
                const int fromY = piece.from.top() + y - at.y();
                const int fromX = piece.from.left() + copied.left() - at.x();
                std::memcpy(bits + y * lineBytes + copied.left() * kPixelBytes,
                            from + fromY * fromLineBytes + fromX * kPixelBytes,
                            static_cast<std::size_t>(copied.width() * kPixelBytes));
            }
        }
    }
}

const CachedText::Tile& CachedText::TileFor(FontTexts& texts, const TileStyle& style,
                                            const TileGlyphs& glyphs) {
    const TileKey key{glyphs.first,
                      glyphs.firstSubpixel.x(),
                      glyphs.firstSubpixel.y(),
                      glyphs.second,
                      glyphs.secondFrom.x(),
                      glyphs.secondFrom.y(),
                      style.pen,
                      background_,
                      static_cast<int>(style.format),
                      style.hints};
    const auto found = texts.tiles.find(key);
    if (found != texts.tiles.end()) {
        return found->second;
    }
    // The glyphs are blended as the text engine blends them, with room around them for every
    // pixel they may touch, and kept cut to the pixels they changed.
    const int room = static_cast<int>(std::ceil(texts.height)) + 4;
    const QPoint origin(room, 2 * room);
    QImage canvas(4 * room, 3 * room, style.format);
    canvas.fill(QColor::fromRgba(background_));
    const QRgb untouched = canvas.pixel(0, 0);
    QRect columns = canvas.rect();
    {
        QPainter blend(&canvas);
        blend.setRenderHints(~QPainter::RenderHints(style.hints), false);
        blend.setRenderHints(QPainter::RenderHints(style.hints));
        blend.setPen(QColor::fromRgba(style.pen));
        QGlyphRun run;
        run.setRawFont(texts.rawFont);
        const QPointF first = QPointF(origin) + QPointF(glyphs.firstSubpixel) / 64;
        if (glyphs.second == kNoGlyph) {
            run.setGlyphIndexes({glyphs.first});
            run.setPositions({first});
        } else {
            // Only the columns both glyphs' own tiles cover.
            const QPointF second = QPointF(origin) + QPointF(glyphs.secondFrom) / 64;
            const QPoint secondWhole(static_cast<int>(std::floor(second.x())),
                                     static_cast<int>(std::floor(second.y())));
            const Tile& a =
                TileFor(texts, style, {glyphs.first, glyphs.firstSubpixel, kNoGlyph, {}});
            const Tile& b = TileFor(
                texts, style,
                {glyphs.second, ((second - QPointF(secondWhole)) * 64).toPoint(), kNoGlyph, {}});
            const int left = secondWhole.x() + b.offset.x();
            const int right = origin.x() + a.offset.x() + a.image.width() - 1;
            columns = QRect(left, 0, right - left + 1, canvas.height());
            run.setGlyphIndexes({glyphs.first, glyphs.second});
            run.setPositions({first, second});
        }
        blend.drawGlyphRun(QPointF(), run);
    }
    QRect changed;
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = columns.left(); x <= columns.right(); ++x) {
            if (line[x] != untouched) {
                changed |= QRect(x, y, 1, 1);
            }
        }
    }
    Tile& tile = texts.tiles[key];
    if (!changed.isNull()) {
        tile.image = canvas.copy(changed);
        tile.offset = changed.topLeft() - origin;
    }
    return tile;
}

void CachedText::DrawTopLeftElided(QPainter& painter, const QRect& rect, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    FontTexts& texts = Instance().For(painter.font());
    Glyphs glyphs;
    qreal width = 0;
    if (Compose(texts, text, glyphs, width)) {
        if (width <= rect.width()) {
            painter.drawGlyphRun(rect.topLeft(), RunOf(texts, glyphs, glyphs.indexes.size()));
        } else {
            DrawCut(painter, texts, rect, glyphs);
        }
        return;
    }
    if (ComposeCutStart(texts, text, rect.width(), glyphs)) {
        DrawCut(painter, texts, rect, glyphs);
        return;
    }
    CachedText& cached = Instance();
    const QStaticText& layout = cached.Layout(texts, text);
    if (layout.size().width() <= rect.width()) {
        painter.drawStaticText(rect.topLeft(), layout);
        return;
    }
    // Cut as the item views' style cuts a line too long for its room, and laid out anew.
    const std::pair<QString, int> key(text, rect.width());
    auto cut = texts.elided.constFind(key);
    if (cut == texts.elided.constEnd()) {
        if (texts.elided.size() >= kMaxTexts) {
            texts.elided.clear();
        }
        cut = texts.elided.insert(
            key, QFontMetrics(texts.font).elidedText(text, Qt::ElideRight, rect.width()));
    }
    painter.drawStaticText(rect.topLeft(), cached.Layout(texts, *cut));
}

void CachedText::DrawCut(QPainter& painter, FontTexts& texts, const QRect& rect,
                         const Glyphs& glyphs) {
    // The characters kept are those before the one that brings the width to the room left
    // beside the ellipsis.
    const QStaticText& ellipsis = Instance().Layout(texts, QStringLiteral("…"));
    const qreal room = rect.width() - ellipsis.size().width();
    const auto& positions = glyphs.positions;
    qsizetype kept = 0;
    while (kept + 1 < positions.size() && positions[kept + 1].x() < room) {
        ++kept;
    }
    painter.drawGlyphRun(rect.topLeft(), RunOf(texts, glyphs, kept));
    painter.drawStaticText(rect.topLeft() + QPointF(positions[kept].x(), 0), ellipsis);
}

bool CachedText::ComposeCutStart(FontTexts& texts, const QString& text, int room, Glyphs& glyphs) {
    const auto ascii = static_cast<qsizetype>(std::find_if(text.begin(), text.end(),
                                                           [](QChar c) {
                                                               return c.unicode() < kFirstAscii ||
                                                                      c.unicode() > kLastAscii;
                                                           }) -
                                              text.begin());
    qreal width = 0;
    if (ascii < 2 || !Compose(texts, text.first(ascii), glyphs, width)) {
        return false;
    }
    // The last of these characters may be shaped together with the one after it, so it
    // neither counts towards the width nor can be kept.
    if (glyphs.positions.back().x() <= room) {
        return false;
    }
    glyphs.indexes.resize(ascii - 1);
    glyphs.positions.resize(ascii - 1);
    return true;
}

int CachedText::SameLeadingWidth(const QFont& font, const QString& before, const QString& after) {
    const auto common = static_cast<qsizetype>(
        std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first -
        before.begin());
    if (common < 2) {
        return 0;
    }
    FontTexts& texts = Instance().For(font);
    qreal x = 0;
    if (!Placed(texts, before, common - 1, x) || !Placed(texts, after, common - 1, x)) {
        return 0;
    }
    // Antialiasing may touch the pixel left of where a glyph is placed.
    return std::max(0, static_cast<int>(x) - 1);
}

bool CachedText::PlainWidth(const QFont& font, const QString& text, qreal& width) {
    return Placed(Instance().For(font), text, text.size(), width);
}

void CachedText::DrawTopLeftLaidOut(QPainter& painter, const QRect& rect, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    const QStaticText& layout = Instance().Layout(Instance().For(painter.font()), text);
    DrawInCell(painter, rect, layout.size(),
               [&] { painter.drawStaticText(rect.topLeft(), layout); });
}

CachedText& CachedText::Instance() {
    static CachedText* instance = [] {
        auto* created = new CachedText;
        qAddPostRoutine([] { Instance().fonts_.clear(); });
        return created;
    }();
    return *instance;
}

CachedText::FontTexts& CachedText::For(const QFont& font) {
    for (FontTexts& texts : fonts_) {
        if (texts.font == font) {
            return texts;
        }
    }
    return fonts_.emplace_back(font);
}

const QStaticText& CachedText::Layout(FontTexts& texts, const QString& text) {
    auto found = texts.layouts.constFind(text);
    if (found != texts.layouts.constEnd()) {
        return *found;
    }
    if (texts.layouts.size() >= kMaxTexts) {
        texts.layouts.clear();
    }
    QStaticText layout(text);
    layout.setTextFormat(Qt::PlainText);
    layout.setPerformanceHint(QStaticText::AggressiveCaching);
    layout.prepare(QTransform(), texts.font);
    return *texts.layouts.insert(text, std::move(layout));
}

template <typename PlaceGlyph>
bool CachedText::PlaceGlyphs(FontTexts& texts, const QString& text, PlaceGlyph&& place,
                             qreal& width) {
    qreal x = 0;
    char16_t previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < kFirstAscii || c > kLastAscii) {
            return false;
        }
        const Glyph& glyph = GlyphFor(texts, c);
        if (glyph.usable != Known::Yes || (i > 0 && !PlainPair(texts, previous, c))) {
            return false;
        }
        place(i, glyph, x);
        x += glyph.advance;
        previous = c;
    }
    width = x;
    return true;
}

bool CachedText::Compose(FontTexts& texts, const QString& text, Glyphs& glyphs, qreal& width) {
    glyphs.indexes.resize(text.size());
    glyphs.positions.resize(text.size());
    const auto place = [&](qsizetype i, const Glyph& glyph, qreal x) {
        glyphs.indexes[i] = glyph.index;
        glyphs.positions[i] = QPointF(x, texts.baseline);
    };
    return PlaceGlyphs(texts, text, place, width);
}

QGlyphRun CachedText::RunOf(const FontTexts& texts, const Glyphs& glyphs, qsizetype count) {
    QGlyphRun run;
    run.setRawFont(texts.rawFont);
    run.setGlyphIndexes(QList<quint32>(glyphs.indexes.begin(), glyphs.indexes.begin() + count));
    run.setPositions(QList<QPointF>(glyphs.positions.begin(), glyphs.positions.begin() + count));
    return run;
}

bool CachedText::Placed(FontTexts& texts, const QString& text, qsizetype at, qreal& x) {
    qreal width = 0;
    const auto place = [&](qsizetype i, const Glyph&, qreal placedAt) {
        if (i == at) {
            x = placedAt;
        }
    };
    if (!PlaceGlyphs(texts, text, place, width)) {
        return false;
    }
    if (at == text.size()) {
        x = width;
    }
    return true;
}

const CachedText::Glyph& CachedText::GlyphFor(FontTexts& texts, char16_t c) {
    Glyph& glyph = texts.glyphs[c - kFirstAscii];
    if (glyph.usable != Known::Unknown) {
        return glyph;
    }
    glyph.usable = Known::No;
    QTextLayout layout(QString(QChar(c)), texts.font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1) {
        return glyph;
    }
    const QGlyphRun& alone = runs[0];
    const qreal baseline = alone.positions()[0].y();
    const bool firstGlyph = !texts.rawFont.isValid();
    if (!firstGlyph && (alone.rawFont() != texts.rawFont || baseline != texts.baseline)) {
        return glyph;  // drawn from a fallback face: only the whole layout places it right
    }
    if (firstGlyph) {
        texts.rawFont = alone.rawFont();
        texts.baseline = baseline;
        texts.height = line.height();
    }
    glyph.index = alone.glyphIndexes()[0];
    glyph.advance = QFontMetricsF(texts.font).horizontalAdvance(QString(QChar(c)));
    glyph.usable = Known::Yes;
    return glyph;
}

bool CachedText::PlainPair(FontTexts& texts, char16_t first, char16_t second) {
    Known& known = texts.plainPairs[static_cast<std::size_t>((first - kFirstAscii) * kAsciiCount +
                                                             (second - kFirstAscii))];
    if (known == Known::Unknown) {
        const QChar pair[2] = {QChar(first), QChar(second)};
        const qreal together = QFontMetricsF(texts.font).horizontalAdvance(QString(pair, 2));
        known = together == GlyphFor(texts, first).advance + GlyphFor(texts, second).advance
                    ? Known::Yes
                    : Known::No;
    }
    return known == Known::Yes;
}
