#include "CachedText.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>

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
    QGlyphRun run;
    qreal width = 0;
    if (Compose(texts, text, run, width)) {
        DrawInCell(painter, rect, {width, texts.height},
                   [&] { painter.drawGlyphRun(rect.topLeft(), run); });
        return;
    }
    const QStaticText& layout = Instance().Layout(texts, text);
    DrawInCell(painter, rect, layout.size(),
               [&] { painter.drawStaticText(rect.topLeft(), layout); });
}

bool CachedText::DrawTopLeftElided(QPainter& painter, const QRect& rect, const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    FontTexts& texts = Instance().For(painter.font());
    QGlyphRun run;
    qreal width = 0;
    if (Compose(texts, text, run, width)) {
        if (width <= rect.width()) {
            painter.drawGlyphRun(rect.topLeft(), run);
            return true;
        }
        // The characters kept are those before the one that brings the width to the room
        // left beside the ellipsis.
        const QStaticText& ellipsis = Instance().Layout(texts, QStringLiteral("…"));
        const qreal room = rect.width() - ellipsis.size().width();
        const QList<QPointF> positions = run.positions();
        qsizetype kept = 0;
        while (kept + 1 < positions.size() && positions[kept + 1].x() < room) {
            ++kept;
        }
        run.setGlyphIndexes(run.glyphIndexes().first(kept));
        run.setPositions(positions.first(kept));
        painter.drawGlyphRun(rect.topLeft(), run);
        painter.drawStaticText(rect.topLeft() + QPointF(positions[kept].x(), 0), ellipsis);
        return true;
    }
    const QStaticText& layout = Instance().Layout(texts, text);
    if (layout.size().width() > rect.width()) {
        return false;
    }
    painter.drawStaticText(rect.topLeft(), layout);
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
    QGlyphRun run;
    qreal width = 0;
    if (!Compose(texts, before, run, width) || !Compose(texts, after, run, width)) {
        return 0;
    }
    // Antialiasing may touch the pixel left of where a glyph is placed.
    return std::max(0, static_cast<int>(run.positions()[common - 1].x()) - 1);
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

bool CachedText::Compose(FontTexts& texts, const QString& text, QGlyphRun& run, qreal& width) {
    const auto length = text.size();
    QList<quint32> indexes(length);
    QList<QPointF> positions(length);
    qreal x = 0;
    char16_t previous = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = text[i].unicode();
        if (c < kFirstAscii || c > kLastAscii) {
            return false;
        }
        const Glyph& glyph = GlyphFor(texts, c);
        if (glyph.usable != Known::Yes || (i > 0 && !PlainPair(texts, previous, c))) {
            return false;
        }
        indexes[i] = glyph.index;
        positions[i] = QPointF(x, texts.baseline);
        x += glyph.advance;
        previous = c;
    }
    run.setRawFont(texts.rawFont);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    width = x;
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
