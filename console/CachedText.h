#pragma once

#include <QCoreApplication>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QRect>
#include <QStaticText>
#include <QString>

#include <utility>
#include <vector>

// Draws a cell's text from a layout kept between paints. The grids repaint their cells after
// every good poll, mostly with texts they have drawn before (headers, names, values that
// repeat); laying each text out anew (shaping) was a large part of the console's CPU use.
//
// Bounds: at most kMaxTexts layouts per font are kept; past that the font's layouts are
// dropped and built again as needed. The layouts go when the application object goes.
class CachedText {
public:
    static constexpr int kMaxTexts = 2048;

    // Draws as painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop, text) does: in the
    // painter's font and pen, from the rectangle's top left corner, clipped to it.
    static void DrawTopLeft(QPainter& painter, const QRect& rect, const QString& text) {
        if (text.isEmpty()) {
            return;
        }
        const QStaticText& layout = Instance().Layout(painter.font(), text);
        const QSizeF size = layout.size();
        if (size.width() <= rect.width() && size.height() <= rect.height()) {
            painter.drawStaticText(rect.topLeft(), layout);
            return;
        }
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        painter.drawStaticText(rect.topLeft(), layout);
        painter.restore();
    }

private:
    static CachedText& Instance() {
        static CachedText* instance = [] {
            auto* created = new CachedText;
            qAddPostRoutine([] { Instance().fonts_.clear(); });
            return created;
        }();
        return *instance;
    }

    const QStaticText& Layout(const QFont& font, const QString& text) {
        QHash<QString, QStaticText>* texts = nullptr;
        for (auto& [known, layouts] : fonts_) {
            if (known == font) {
                texts = &layouts;
                break;
            }
        }
        if (texts == nullptr) {
            texts = &fonts_.emplace_back(font, QHash<QString, QStaticText>()).second;
        }
        auto found = texts->constFind(text);
        if (found != texts->constEnd()) {
            return *found;
        }
        if (texts->size() >= kMaxTexts) {
            texts->clear();
        }
        QStaticText layout(text);
        layout.setTextFormat(Qt::PlainText);
        layout.setPerformanceHint(QStaticText::AggressiveCaching);
        layout.prepare(QTransform(), font);
        return *texts->insert(text, std::move(layout));
    }

    std::vector<std::pair<QFont, QHash<QString, QStaticText>>> fonts_;
};
