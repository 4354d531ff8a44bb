#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "RegisterMap.h"
#include "TrendHistory.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

// The trend of the six channels: temperature (or weight) with its set point, and on request
// the output percentage on a second axis. Every good poll goes into a bounded history; the
// chart shows a span of it reduced to a min/max pair per pixel column and is redrawn at most
// once a second while the window is shown and not paused.
class TTrendFrm : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRedrawIntervalMs = 100;
    // A quantity of a channel is drawn as up to this many lines, cut where polls were missing.
    static constexpr std::size_t kMaxLinesPerSeries = 32;
    // The spans offered, in seconds; 0 is the whole history.
    static constexpr std::array<int, 4> kSpanSeconds = {60, 600, 3600, 0};

    // Samples are taken from image, the main window's copy of the registers.
    explicit TTrendFrm(const RegisterImageWords& image, QWidget* parent = nullptr);
    ~TTrendFrm() override;

    // One good poll: its time and the channels of the register image.
    void TakeGoodReply(std::int64_t msecs);

    // Redraws the chart from the history when something changed since the last redraw.
    void Redraw();
    // The timer's redraw: while following, the chart moves on only once the newest samples
    // have filled a pixel column (at most once a second), since a redraw before that
    // would show the same picture.
    void RedrawWhenDue();
    bool SaveImage(const QString& path);
    void SetChannelShown(int channel, bool shown);
    bool ChannelShown(int channel) const { return shown_[static_cast<std::size_t>(channel)]; }
    // The values at a time, as the read-out under the mouse shows them.
    QString ReadoutAt(std::int64_t msecs) const;

    const TrendHistory& History() const { return history_; }
    QLineSeries* MeasuredSeries(int channel) const;
    // The lines one series is drawn with: the first carries the legend entry.
    const std::vector<QLineSeries*>& Lines(int series) const {
        return lines_[static_cast<std::size_t>(series)];
    }

    QComboBox* SpanList;
    QPushButton* PauseButton;
    QCheckBox* OutputCheck;
    QPushButton* ExportButton;
    QLabel* Readout;
    QChartView* ChartView;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildChart();
    void PauseButtonClick();
    void ExportButtonClick();
    void ApplyVisibility();
    void ShowQuantity();
    double MeasuredScale() const;
    // The chosen span (0: the whole history) and the plot's width in pixel columns.
    int SpanSeconds() const;
    int Columns() const;
    QLineSeries* AddLine(int series);
    void ShowLines(int series, const std::vector<QList<QPointF>>& parts);

    const RegisterImageWords& image_;
    TrendHistory history_;
    bool weight_ = false;
    bool paused_ = false;
    bool dirty_ = true;
    std::array<bool, TrendHistory::kChannels> shown_{};
    QTimer redrawTimer_;
    QElapsedTimer sinceRedraw_;
    QChart* chart_ = nullptr;
    QDateTimeAxis* axisTime_ = nullptr;
    QValueAxis* axisValue_ = nullptr;
    QValueAxis* axisOutput_ = nullptr;
    std::array<QLineSeries*, TrendHistory::kSeriesCount> series_{};
    std::array<std::vector<QLineSeries*>, TrendHistory::kSeriesCount> lines_;
    QList<QPointF> points_;
    // The prepared lines of each series, and the value range last asked of the value axis.
    std::array<std::vector<QList<QPointF>>, TrendHistory::kSeriesCount> parts_;
    std::vector<std::size_t> bounds_;
    std::pair<double, double> valueRange_{0, 0};
};
