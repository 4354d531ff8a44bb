#include "TrendHistory.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr std::size_t kBlocksPerChunk = TrendHistory::kChunkSamples / TrendHistory::kBlockSamples;

}  // namespace

// Sample times are kept as milliseconds after the history's first sample (49 days fit),
// the values as the module's raw words.
struct TrendHistory::Chunk {
    std::array<std::uint32_t, kChunkSamples> times{};
    std::array<std::array<std::uint16_t, kChunkSamples>, kSeriesCount> values{};
    std::array<std::array<MinMax, kBlocksPerChunk>, kSeriesCount> blocks{};
    std::array<MinMax, kSeriesCount> whole{};
    std::size_t fill = 0;
};

void TrendHistory::MinMax::Add(std::uint16_t value) {
    min = std::min(min, value);
    max = std::max(max, value);
}

void TrendHistory::MinMax::Add(const MinMax& other) {
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

TrendHistory::TrendHistory(std::size_t capacity)
    : maxChunks_(std::max<std::size_t>(2, (capacity + kChunkSamples - 1) / kChunkSamples)) {}

TrendHistory::~TrendHistory() = default;

void TrendHistory::Append(std::int64_t msecs, const Sample& sample) {
    // Times are kept relative to the first sample in 32 bits; a history older than that
    // (49 days) starts again.
    if (size_ != 0 && msecs - origin_ > static_cast<std::int64_t>(UINT32_MAX)) {
        Clear();
    }
    if (size_ == 0) {
        origin_ = msecs;
        last_ = msecs;
    }
    last_ = std::max(last_, msecs);
    if (chunks_.empty() || chunks_.back()->fill == kChunkSamples) {
        if (chunks_.size() == maxChunks_) {
            chunks_.pop_front();
            size_ -= kChunkSamples;
        }
        chunks_.push_back(std::make_unique<Chunk>());
    }
    Chunk& chunk = *chunks_.back();
    const std::size_t at = chunk.fill;
    chunk.times[at] = static_cast<std::uint32_t>(last_ - origin_);
    for (int s = 0; s < kSeriesCount; ++s) {
        const std::uint16_t value = sample[static_cast<std::size_t>(s)];
        chunk.values[static_cast<std::size_t>(s)][at] = value;
        chunk.blocks[static_cast<std::size_t>(s)][at / kBlockSamples].Add(value);
        chunk.whole[static_cast<std::size_t>(s)].Add(value);
    }
    ++chunk.fill;
    ++size_;
}

void TrendHistory::Clear() {
    chunks_.clear();
    size_ = 0;
}

const TrendHistory::Chunk& TrendHistory::ChunkOf(std::size_t index) const {
    return *chunks_[index / kChunkSamples];
}

std::int64_t TrendHistory::TimeAt(std::size_t index) const {
    return origin_ + ChunkOf(index).times[index % kChunkSamples];
}

std::uint16_t TrendHistory::ValueAt(int series, std::size_t index) const {
    return ChunkOf(index).values[static_cast<std::size_t>(series)][index % kChunkSamples];
}

std::size_t TrendHistory::IndexAtOrAfter(std::int64_t msecs) const {
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (TimeAt(mid) < msecs) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

TrendHistory::MinMax TrendHistory::RangeMinMax(int series, std::size_t from, std::size_t to) const {
    MinMax result;
    const auto s = static_cast<std::size_t>(series);
    to = std::min(to, size_);
    while (from < to) {
        const Chunk& chunk = ChunkOf(from);
        std::size_t at = from % kChunkSamples;
        const std::size_t end = std::min(kChunkSamples, at + (to - from));
        const std::size_t taken = end - at;
        if (at == 0 && end == chunk.fill && chunk.fill == kChunkSamples) {
            result.Add(chunk.whole[s]);
        } else {
            for (; at < end && at % kBlockSamples != 0; ++at) {
                result.Add(chunk.values[s][at]);
            }
            for (; at + kBlockSamples <= end; at += kBlockSamples) {
                result.Add(chunk.blocks[s][at / kBlockSamples]);
            }
            for (; at < end; ++at) {
                result.Add(chunk.values[s][at]);
            }
        }
        from += taken;
    }
    return result;
}

std::size_t TrendHistory::MemoryBytes() const {
    return chunks_.size() * sizeof(Chunk);
}

namespace {

// Appends a point; a run of equal values (a set point that does not change) is kept as its
// first and last point only.
void AddPoint(QList<QPointF>& out, double x, double y) {
    const qsizetype n = out.size();
    if (n >= 2 && out[n - 1].y() == y && out[n - 2].y() == y) {
        out[n - 1].setX(x);
        return;
    }
    out.append(QPointF(x, y));
}

}  // namespace

bool TrendHistory::IsBreak(const QPointF& point) {
    return std::isnan(point.y());
}

void TrendHistory::SplitAtBreaks(const QList<QPointF>& points, std::size_t maxLines,
                                 std::vector<QList<QPointF>>& lines) {
    // The width of a hole: from the point before its break to the point after it.
    const auto widthAt = [&](qsizetype i) {
        return i > 0 && i + 1 < points.size() ? points[i + 1].x() - points[i - 1].x() : 0.0;
    };
    std::vector<double> widths;
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (IsBreak(points[i])) {
            widths.push_back(widthAt(i));
        }
    }
    // Only holes wider than the narrowest one cut are cut: all of them when there are few.
    const std::size_t cuts = std::min(widths.size(), std::max<std::size_t>(maxLines, 1) - 1);
    double narrowest = 0;
    if (cuts < widths.size()) {
        std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(cuts),
                         widths.end(), std::greater<>());
        narrowest = widths[cuts];
    }
    lines.assign(1, {});
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (!IsBreak(points[i])) {
            lines.back().append(points[i]);
        } else if (widthAt(i) > narrowest && !lines.back().isEmpty()) {
            lines.emplace_back();
        }
    }
}

TrendHistory::MinMax TrendHistory::Reduce(int series, std::int64_t t0, std::int64_t t1, int columns,
                                          double scale, QList<QPointF>& out) const {
    std::vector<std::size_t> bounds;
    ColumnBounds(t0, t1, columns, bounds);
    return Reduce(series, bounds, scale, out);
}

void TrendHistory::ColumnBounds(std::int64_t t0, std::int64_t t1, int columns,
                                std::vector<std::size_t>& bounds) const {
    bounds.clear();
    if (columns <= 0 || t1 <= t0 || size_ == 0) {
        return;
    }
    const double width = static_cast<double>(t1 - t0) / columns;
    std::size_t at = IndexAtOrAfter(t0);
    bounds.push_back(at);
    // A column holds a few samples: the next bound is found by stepping on, not searching.
    for (int column = 0; column < columns && at < size_; ++column) {
        const std::int64_t end =
            column + 1 == columns ? t1 : t0 + static_cast<std::int64_t>(width * (column + 1));
        while (at < size_ && TimeAt(at) < end) {
            ++at;
        }
        bounds.push_back(at);
    }
}

TrendHistory::MinMax TrendHistory::Reduce(int series, const std::vector<std::size_t>& bounds,
                                          double scale, QList<QPointF>& out) const {
    out.clear();
    MinMax drawn;
    if (bounds.empty()) {
        return drawn;
    }
    // The time of the last sample drawn, to find the holes between samples.
    std::int64_t previous = bounds.front() < size_ ? TimeAt(bounds.front()) : 0;
    const auto breakBefore = [&](std::size_t index) {
        const std::int64_t time = TimeAt(index);
        if (time - previous > kGapMs && !out.isEmpty()) {
            out.append(
                QPointF(static_cast<double>(time), std::numeric_limits<double>::quiet_NaN()));
        }
    };
    for (std::size_t column = 1; column < bounds.size(); ++column) {
        const std::size_t from = bounds[column - 1];
        const std::size_t to = bounds[column];
        if (to - from < 3) {
            for (std::size_t i = from; i < to; ++i) {
                const std::uint16_t value = ValueAt(series, i);
                drawn.Add(value);
                breakBefore(i);
                AddPoint(out, static_cast<double>(TimeAt(i)), value * scale);
                previous = TimeAt(i);
            }
        } else {
            const MinMax range = RangeMinMax(series, from, to);
            drawn.Add(range);
            breakBefore(from);
            const double x = static_cast<double>(TimeAt(from) + TimeAt(to - 1)) / 2;
            AddPoint(out, x, range.min * scale);
            AddPoint(out, x, range.max * scale);
            previous = TimeAt(to - 1);
        }
    }
    return drawn;
}
