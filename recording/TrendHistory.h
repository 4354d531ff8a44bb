#pragma once

#include <QList>
#include <QPointF>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

// The trend's history: for every good poll, its time and the raw words of the six channels'
// measured value, set point and output percentage. Samples are kept in chunks of fixed size
// with min/max summaries over blocks, so that a span of any length is reduced to a min/max
// pair per pixel column without visiting every sample. When the capacity is reached the
// oldest chunk is dropped: memory stays bounded however long the console polls.
class TrendHistory {
public:
    static constexpr int kChannels = 6;
    enum Quantity { kMeasured = 0, kSetPoint = 1, kOutput = 2 };
    static constexpr int kSeriesCount = 3 * kChannels;
    static constexpr std::size_t kChunkSamples = 4096;
    static constexpr std::size_t kBlockSamples = 16;
    // Twenty-four hours at the fastest poll rate (about 11 polls a second) fit.
    static constexpr std::size_t kDefaultCapacity = 256 * kChunkSamples;
    // Good polls come about every 0.3 s at 9600 Bd and within 0.95 s when one reply is lost and
    // asked for again; a longer time without one (adapter unplugged, polling held,
    // disconnected) is a hole in the history, drawn as a gap in the line.
    static constexpr std::int64_t kGapMs = 1500;

    using Sample = std::array<std::uint16_t, kSeriesCount>;

    static constexpr int Series(Quantity quantity, int channel) {
        return quantity * kChannels + channel;
    }

    struct MinMax {
        std::uint16_t min = UINT16_MAX;
        std::uint16_t max = 0;
        bool Empty() const { return min > max; }
        void Add(std::uint16_t value);
        void Add(const MinMax& other);
    };

    // The capacity is rounded up to whole chunks, at least two.
    explicit TrendHistory(std::size_t capacity = kDefaultCapacity);
    ~TrendHistory();

    // Times are milliseconds since the epoch and must not go backwards; a sample older than
    // the newest one is taken with the newest one's time.
    void Append(std::int64_t msecs, const Sample& sample);
    void Clear();

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return maxChunks_ * kChunkSamples; }
    std::int64_t TimeAt(std::size_t index) const;
    std::uint16_t ValueAt(int series, std::size_t index) const;
    // The first index whose time is at or after msecs (Size() when there is none).
    std::size_t IndexAtOrAfter(std::int64_t msecs) const;
    // Min and max of one series over the samples [from, to).
    MinMax RangeMinMax(int series, std::size_t from, std::size_t to) const;
    // Bytes held by the samples and their summaries.
    std::size_t MemoryBytes() const;

    // One series over the times [t0, t1) reduced to at most two points per column: each
    // column's min and max, or its samples themselves where it has fewer than three; a run of
    // equal values is kept as its first and last point. Values
    // are multiplied by scale; x is milliseconds since the epoch. Where more than kGapMs pass
    // between two samples drawn next to each other, a break is put between their points: a
    // point whose y is NaN, at the time of the first sample after the hole. The points replace
    // out. Gives the min/max of the raw values drawn.
    MinMax Reduce(int series, std::int64_t t0, std::int64_t t1, int columns, double scale,
                  QList<QPointF>& out) const;
    // The same in two steps, for drawing many series over the same columns: the first sample
    // of each column and the end of the last (the columns are the same for every series), then
    // one series reduced over them.
    void ColumnBounds(std::int64_t t0, std::int64_t t1, int columns,
                      std::vector<std::size_t>& bounds) const;
    MinMax Reduce(int series, const std::vector<std::size_t>& bounds, double scale,
                  QList<QPointF>& out) const;

    static bool IsBreak(const QPointF& point);
    // The points of a reduction cut at their breaks into lines drawn one by one, at most
    // maxLines of them: where there are more holes, the narrowest are drawn across.
    static void SplitAtBreaks(const QList<QPointF>& points, std::size_t maxLines,
                              std::vector<QList<QPointF>>& lines);

private:
    struct Chunk;
    const Chunk& ChunkOf(std::size_t index) const;

    std::size_t maxChunks_;
    std::deque<std::unique_ptr<Chunk>> chunks_;
    std::size_t size_ = 0;
    std::int64_t origin_ = 0;
    std::int64_t last_ = 0;
};
