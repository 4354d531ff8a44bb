#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <random>

#include "CsvRecord.h"
#include "CsvWriter.h"
#include "TrendHistory.h"

namespace {

TrendHistory::Sample Filled(std::uint16_t value) {
    TrendHistory::Sample sample{};
    sample.fill(value);
    return sample;
}

// Each column of a reduction must show exactly the min and max of the samples in it.
struct ReduceCase {
    std::size_t capacity;
    int samples;
    int columns;
    std::int64_t from;  // span start, ms after the first sample
    std::int64_t to;
};

class TrendReduce : public ::testing::TestWithParam<ReduceCase> {};

TEST_P(TrendReduce, EveryColumnHoldsTheMinAndMaxOfItsSamples) {
    const ReduceCase& c = GetParam();
    TrendHistory history(c.capacity);
    std::mt19937 random(7);
    std::vector<std::int64_t> times;
    std::vector<std::uint16_t> values;
    std::int64_t t = 1'700'000'000'000;
    for (int i = 0; i < c.samples; ++i) {
        t += 60 + random() % 60;
        const auto value = static_cast<std::uint16_t>(random());
        history.Append(t, Filled(value));
        times.push_back(t);
        values.push_back(value);
    }
    // What is left after old chunks were dropped.
    const std::size_t kept = history.Size();
    ASSERT_LE(kept, history.Capacity());
    times.erase(times.begin(), times.end() - static_cast<std::ptrdiff_t>(kept));
    values.erase(values.begin(), values.end() - static_cast<std::ptrdiff_t>(kept));
    ASSERT_EQ(history.TimeAt(0), times.front());

    const std::int64_t t0 = times.front() + c.from;
    const std::int64_t t1 = times.front() + c.to;
    QList<QPointF> points;
    history.Reduce(3, t0, t1, c.columns, 1.0, points);
    const double width = static_cast<double>(t1 - t0) / c.columns;
    std::size_t drawn = 0;
    for (int column = 0; column < c.columns; ++column) {
        const std::int64_t begin = t0 + static_cast<std::int64_t>(width * column);
        const std::int64_t end =
            column + 1 == c.columns ? t1 : t0 + static_cast<std::int64_t>(width * (column + 1));
        std::vector<std::uint16_t> in;
        for (std::size_t i = 0; i < times.size(); ++i) {
            if (times[i] >= begin && times[i] < end) {
                in.push_back(values[i]);
            }
        }
        if (in.empty()) {
            continue;
        }
        ASSERT_LT(drawn, static_cast<std::size_t>(points.size()));
        if (in.size() < 3) {
            for (std::uint16_t v : in) {
                EXPECT_EQ(points[static_cast<qsizetype>(drawn++)].y(), v);
            }
            continue;
        }
        EXPECT_EQ(points[static_cast<qsizetype>(drawn)].y(),
                  *std::min_element(in.begin(), in.end()));
        EXPECT_EQ(points[static_cast<qsizetype>(drawn + 1)].y(),
                  *std::max_element(in.begin(), in.end()));
        drawn += 2;
    }
    EXPECT_EQ(drawn, static_cast<std::size_t>(points.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Spans, TrendReduce,
    ::testing::Values(ReduceCase{1 << 20, 50, 200, 0, 5'000},          // fewer samples than columns
                      ReduceCase{1 << 20, 20'000, 640, 0, 2'000'000},  // whole chunks and blocks
                      ReduceCase{1 << 20, 20'000, 333, 123'457, 987'651},  // unaligned edges
                      ReduceCase{8192, 30'000, 500, 0, 3'000'000},         // oldest chunks dropped
                      ReduceCase{8192, 9'000, 7, 1, 900'000}));

TEST(TrendHistory, MemoryStaysBoundedAtCapacity) {
    TrendHistory history(3 * TrendHistory::kChunkSamples);
    for (int i = 0; i < 20 * static_cast<int>(TrendHistory::kChunkSamples); ++i) {
        history.Append(i, Filled(static_cast<std::uint16_t>(i)));
    }
    EXPECT_LE(history.Size(), history.Capacity());
    EXPECT_GT(history.Size(), history.Capacity() - TrendHistory::kChunkSamples);
    TrendHistory one;
    one.Append(0, Filled(0));
    EXPECT_EQ(history.MemoryBytes(), 3 * one.MemoryBytes());
    const std::size_t newest = history.Size() - 1;
    EXPECT_EQ(history.ValueAt(0, newest), static_cast<std::uint16_t>(history.TimeAt(newest)));
}

// Where no polls came no line crosses the hole; beyond maxLines lines, the narrowest are crossed.
struct HoleCase {
    std::vector<std::pair<std::int64_t, std::int64_t>> holes;  // start and length, ms
    int columns;
    std::size_t maxLines, lines;
};

class TrendHoles : public ::testing::TestWithParam<HoleCase> {};

TEST_P(TrendHoles, NoLineCrossesAHoleThatIsCut) {
    const HoleCase& c = GetParam();
    TrendHistory history;
    for (std::int64_t t = 0; t < 60'000; t += 90) {
        if (std::none_of(c.holes.begin(), c.holes.end(),
                         [t](auto h) { return t >= h.first && t < h.first + h.second; })) {
            history.Append(t, Filled(static_cast<std::uint16_t>(t % 997)));
        }
    }
    QList<QPointF> points;
    history.Reduce(0, 0, 60'000, c.columns, 1.0, points);
    std::vector<QList<QPointF>> lines;
    TrendHistory::SplitAtBreaks(points, c.maxLines, lines);
    EXPECT_EQ(lines.size(), c.lines);
    std::size_t cut = 0;
    for (auto [start, length] : c.holes) {
        cut += std::none_of(lines.begin(), lines.end(), [&](const QList<QPointF>& l) {
            return l.first().x() < static_cast<double>(start) &&
                   l.last().x() >= static_cast<double>(start + length);
        });
    }
    EXPECT_EQ(cut, c.lines - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Holes, TrendHoles,
    ::testing::Values(HoleCase{{{20'000, 5'000}}, 2000, 32, 2},  // each sample a point
                      HoleCase{{{20'000, 5'000}}, 100, 32, 2},   // min/max per column
                      HoleCase{{{20'000, 1'000}}, 2000, 32, 1},  // shorter than a lost reply
                      HoleCase{{{5'000, 2'000}, {20'000, 9'000}, {40'000, 3'000}}, 300, 32, 4},
                      HoleCase{{{5'000, 2'000}, {20'000, 9'000}, {40'000, 3'000}}, 300, 2, 2}));

struct HeaderCase {
    std::uint16_t mode;
    const char* acquired;
    const char* measured;
};

TEST(CsvRecord, HeaderNamesTheUnitsOfTheConversionModeAndRowsMatchIt) {
    for (const HeaderCase& c :
         {HeaderCase{0, "采集电压(mV)", "对应温度(℃)"}, HeaderCase{1, "采集电阻(Ω)", "对应温度(℃)"},
          HeaderCase{2, "采集电压(mV)", "对应重量(KG)"},
          HeaderCase{7, "采集电压(mV)", "对应重量(KG)"}}) {
        for (bool raw : {false, true}) {
            const QString header = QString::fromUtf8(CsvHeader(c.mode, raw));
            EXPECT_TRUE(header.startsWith(QStringLiteral("时间,通信计数,AD0 ") + c.acquired +
                                          ",AD0 " + c.measured));
            RecordRow row;
            const std::array<std::uint16_t, 100> registers{};
            const QByteArray line = CsvRow(row, raw ? registers.data() : nullptr);
            EXPECT_EQ(header.count(QLatin1Char(',')), line.count(',')) << c.mode << raw;
            EXPECT_TRUE(line.endsWith("\r\n"));
        }
    }
}

bool WaitFor(const std::function<bool()>& condition) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition() && elapsed.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return condition();
}

TEST(CsvWriter, RowsReachTheDiskWhileRecordingAndFailuresStopIt) {
    QTemporaryDir dir;
    QObject context;
    QString failure;
    CsvWriter writer(&context, [&](const QString& message) { failure = message; });

    // Rows are on the disk within about a second, without stopping.
    const QString path = dir.filePath(QStringLiteral("a.csv"));
    ASSERT_TRUE(writer.Start(path, Utf8Bom() + "h\r\n", nullptr));
    writer.Append("row 1\r\n");
    EXPECT_TRUE(WaitFor([&] { return QFile(path).size() == 3 + 10; }));
    writer.Stop();

    // A full disk.
    ASSERT_TRUE(writer.Start(QStringLiteral("/dev/full"), "h\r\n", nullptr));
    writer.Append("row\r\n");
    EXPECT_TRUE(WaitFor([&] { return !failure.isEmpty(); }));
    EXPECT_TRUE(failure.contains(QStringLiteral("磁盘已满"))) << failure.toStdString();
    EXPECT_FALSE(writer.Running());
    writer.Stop();

    // The folder removed under the recording.
    failure.clear();
    QTemporaryDir gone;
    ASSERT_TRUE(
        writer.Start(QDir(gone.path()).filePath(QStringLiteral("b.csv")), "h\r\n", nullptr));
    ASSERT_TRUE(gone.remove());
    writer.Append("row\r\n");
    EXPECT_TRUE(WaitFor([&] { return !failure.isEmpty(); }));
    EXPECT_TRUE(failure.contains(QStringLiteral("已不存在"))) << failure.toStdString();
    writer.Stop();

    QString error;
    EXPECT_FALSE(writer.Start(QStringLiteral("/nonexistent-folder/c.csv"), "h", &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
