#include "TTrendFrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

#include "AppStyle.h"
#include "FormatFixed.h"
#include "RegisterMap.h"
#include "RegisterNumbers.h"

namespace {

constexpr double kTenth = 0.1;
constexpr double kThousandth = 0.001;
// However long the span, the newest samples show within this time.
constexpr std::int64_t kMaxFollowMs = 2000;
// And it moves on at most once a second, however short the span: every redraw lays out and
// paints the whole chart, and a trend read over minutes gains nothing from moving faster.
constexpr std::int64_t kMinFollowMs = 1000;

const std::array<QColor, TrendHistory::kChannels> kChannelColors = {
    QColor(220, 0, 0),   QColor(0, 0, 220),   QColor(0, 150, 0),
    QColor(200, 0, 200), QColor(0, 150, 170), QColor(200, 120, 0)};

TrendHistory::Quantity QuantityOf(int series) {
    return static_cast<TrendHistory::Quantity>(series / TrendHistory::kChannels);
}

int ChannelOf(int series) {
    return series % TrendHistory::kChannels;
}

}  // namespace

TTrendFrm::TTrendFrm(const RegisterImageWords& image, QWidget* parent)
    : QWidget(parent, Qt::Window), image_(image) {
    setObjectName(QStringLiteral("TTrendFrm"));
    setWindowTitle(tr("通道趋势"));
    setFont(SongFont(16));
    shown_.fill(true);

    SpanList = new QComboBox(this);
    SpanList->setObjectName(QStringLiteral("SpanList"));
    SpanList->addItems({tr("1 分钟"), tr("10 分钟"), tr("1 小时"), tr("全部")});
    SpanList->setCurrentIndex(1);
    PauseButton = new QPushButton(tr("暂停"), this);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    OutputCheck = new QCheckBox(tr("显示输出百分比"), this);
    OutputCheck->setObjectName(QStringLiteral("OutputCheck"));
    ExportButton = new QPushButton(tr("导出图片…"), this);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    Readout = new QLabel(this);
    Readout->setObjectName(QStringLiteral("Readout"));
    Readout->setWordWrap(true);
    Readout->setMinimumHeight(Readout->fontMetrics().height() * 2);

    BuildChart();

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("时间跨度:"), this));
    bar->addWidget(SpanList);
    bar->addWidget(PauseButton);
    bar->addWidget(OutputCheck);
    bar->addStretch();
    bar->addWidget(ExportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(ChartView, 1);
    layout->addWidget(Readout);
    resize(960, 600);

    redrawTimer_.setInterval(kRedrawIntervalMs);
    connect(&redrawTimer_, &QTimer::timeout, this, &TTrendFrm::RedrawWhenDue);
    connect(SpanList, &QComboBox::currentIndexChanged, this, [this] {
        dirty_ = true;
        Redraw();
    });
    connect(PauseButton, &QPushButton::clicked, this, &TTrendFrm::PauseButtonClick);
    connect(OutputCheck, &QCheckBox::toggled, this, &TTrendFrm::ApplyVisibility);
    connect(ExportButton, &QPushButton::clicked, this, &TTrendFrm::ExportButtonClick);
}

TTrendFrm::~TTrendFrm() = default;

// The Song face draws its Latin digits small: at 13 px an axis label showed about 8 px high.
constexpr int kChartLabelPx = 17;
constexpr int kChartTitlePx = 17;

void TTrendFrm::BuildChart() {
    chart_ = new QChart;
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->setFont(SongFont(kChartTitlePx));
    chart_->legend()->setFont(SongFont(kChartTitlePx));
    chart_->legend()->setAlignment(Qt::AlignTop);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    chart_->setBackgroundRoundness(0);

    axisTime_ = new QDateTimeAxis;
    axisTime_->setFormat(QStringLiteral("HH:mm:ss"));
    axisTime_->setLabelsFont(SongFont(kChartLabelPx));
    axisTime_->setTickCount(7);
    axisValue_ = new QValueAxis;
    axisValue_->setLabelsFont(SongFont(kChartLabelPx));
    axisValue_->setTitleFont(SongFont(kChartTitlePx));
    axisOutput_ = new QValueAxis;
    axisOutput_->setRange(0, 100);
    axisOutput_->setTitleText(tr("控制输出(%)"));
    axisOutput_->setLabelsFont(SongFont(kChartLabelPx));
    axisOutput_->setTitleFont(SongFont(kChartTitlePx));
    chart_->addAxis(axisTime_, Qt::AlignBottom);
    chart_->addAxis(axisValue_, Qt::AlignLeft);
    chart_->addAxis(axisOutput_, Qt::AlignRight);

    for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
        const int channel = ChannelOf(s);
        QLineSeries* series = AddLine(s);
        switch (QuantityOf(s)) {
            case TrendHistory::kMeasured:
                series->setName(QStringLiteral("AD%1").arg(channel));
                break;
            case TrendHistory::kSetPoint:
                series->setName(tr("AD%1 设定").arg(channel));
                break;
            case TrendHistory::kOutput:
                series->setName(tr("AD%1 输出").arg(channel));
                break;
        }
        series_[static_cast<std::size_t>(s)] = series;
    }
    // The legend names the six channels; a click on one shows or hides its three lines.
    for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
        for (QLegendMarker* marker :
             chart_->legend()->markers(series_[static_cast<std::size_t>(s)])) {
            if (QuantityOf(s) != TrendHistory::kMeasured) {
                marker->setVisible(false);
                continue;
            }
            connect(marker, &QLegendMarker::clicked, this,
                    [this, s] { SetChannelShown(ChannelOf(s), !ChannelShown(ChannelOf(s))); });
        }
    }

    ChartView = new QChartView(chart_, this);
    ChartView->setObjectName(QStringLiteral("ChartView"));
    ChartView->setRenderHint(QPainter::Antialiasing, false);
    ChartView->setMouseTracking(true);
    ChartView->viewport()->setMouseTracking(true);
    ChartView->viewport()->installEventFilter(this);
    ShowQuantity();
    ApplyVisibility();
}

QLineSeries* TTrendFrm::AddLine(int s) {
    auto* line = new QLineSeries;
    // Thin lines: wide or antialiased ones cost many times more to draw at every redraw.
    QPen pen(kChannelColors[static_cast<std::size_t>(ChannelOf(s))], 0);
    if (QuantityOf(s) == TrendHistory::kSetPoint) {
        pen.setStyle(Qt::DashLine);
    } else if (QuantityOf(s) == TrendHistory::kOutput) {
        pen.setStyle(Qt::DotLine);
    }
    line->setPen(pen);
    chart_->addSeries(line);
    line->attachAxis(axisTime_);
    line->attachAxis(QuantityOf(s) == TrendHistory::kOutput ? axisOutput_ : axisValue_);
    std::vector<QLineSeries*>& lines = lines_[static_cast<std::size_t>(s)];
    if (!lines.empty()) {
        // Only the first line of a series has a legend entry.
        for (QLegendMarker* marker : chart_->legend()->markers(line)) {
            marker->setVisible(false);
        }
    }
    lines.push_back(line);
    return line;
}

// A series' lines: one per part of its points, the lines left over emptied.
void TTrendFrm::ShowLines(int s, const std::vector<QList<QPointF>>& parts) {
    const std::vector<QLineSeries*>& lines = lines_[static_cast<std::size_t>(s)];
    while (lines.size() < parts.size()) {
        AddLine(s)->setVisible(series_[static_cast<std::size_t>(s)]->isVisible());
    }
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k < parts.size()) {
            lines[k]->replace(parts[k]);
        } else if (lines[k]->count() != 0) {
            lines[k]->clear();
        }
    }
}

QLineSeries* TTrendFrm::MeasuredSeries(int channel) const {
    return series_[static_cast<std::size_t>(
        TrendHistory::Series(TrendHistory::kMeasured, channel))];
}

double TTrendFrm::MeasuredScale() const {
    return weight_ ? kThousandth : kTenth;
}

void TTrendFrm::ShowQuantity() {
    axisValue_->setTitleText(weight_ ? tr("对应重量(KG) / 设定温度(℃)") : tr("温度(℃)"));
}

void TTrendFrm::TakeGoodReply(std::int64_t msecs) {
    // The history holds one quantity: a change between temperature and weight starts it anew.
    const bool weight = image_[Reg::kConversionMode] >= Reg::kModeLoadCell;
    if (weight != weight_) {
        weight_ = weight;
        history_.Clear();
        ShowQuantity();
    }
    TrendHistory::Sample sample{};
    for (int channel = 0; channel < TrendHistory::kChannels; ++channel) {
        sample[static_cast<std::size_t>(TrendHistory::Series(TrendHistory::kMeasured, channel))] =
            image_[static_cast<std::size_t>(Reg::kMeasuredFirst + channel)];
        sample[static_cast<std::size_t>(TrendHistory::Series(TrendHistory::kSetPoint, channel))] =
            image_[static_cast<std::size_t>(Reg::kSetPointFirst + channel)];
        sample[static_cast<std::size_t>(TrendHistory::Series(TrendHistory::kOutput, channel))] =
            image_[static_cast<std::size_t>(Reg::kOutputPercentFirst + channel)];
    }
    history_.Append(msecs, sample);
    dirty_ = true;
}

void TTrendFrm::SetChannelShown(int channel, bool shown) {
    shown_[static_cast<std::size_t>(channel)] = shown;
    ApplyVisibility();
}

void TTrendFrm::ApplyVisibility() {
    for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
        const bool channelShown = shown_[static_cast<std::size_t>(ChannelOf(s))];
        const bool visible =
            channelShown && (QuantityOf(s) != TrendHistory::kOutput || OutputCheck->isChecked());
        for (QLineSeries* line : lines_[static_cast<std::size_t>(s)]) {
            line->setVisible(visible);
            // Showing a series shows its legend entry again; only the channels have one.
            if (line != series_[static_cast<std::size_t>(s)] ||
                QuantityOf(s) != TrendHistory::kMeasured) {
                for (QLegendMarker* marker : chart_->legend()->markers(line)) {
                    marker->setVisible(false);
                }
            }
        }
        if (QuantityOf(s) == TrendHistory::kMeasured) {
            // A hidden channel keeps its legend entry, faded, so it can be clicked back on.
            for (QLegendMarker* marker :
                 chart_->legend()->markers(series_[static_cast<std::size_t>(s)])) {
                marker->setVisible(true);
                QColor color = marker->labelBrush().color();
                color.setAlpha(channelShown ? 255 : 90);
                marker->setLabelBrush(color);
                QBrush brush = marker->brush();
                QColor fill = kChannelColors[static_cast<std::size_t>(ChannelOf(s))];
                fill.setAlpha(channelShown ? 255 : 60);
                brush.setColor(fill);
                marker->setBrush(brush);
            }
        }
    }
    axisOutput_->setVisible(OutputCheck->isChecked());
    dirty_ = true;
    Redraw();
}

int TTrendFrm::SpanSeconds() const {
    return kSpanSeconds[static_cast<std::size_t>(std::max(0, SpanList->currentIndex()))];
}

int TTrendFrm::Columns() const {
    return std::max(1, static_cast<int>(chart_->plotArea().width()));
}

void TTrendFrm::RedrawWhenDue() {
    if (!dirty_ || history_.Size() == 0) {
        return;
    }
    const int span = SpanSeconds();
    const std::int64_t spanMs =
        span != 0 ? span * 1000LL : history_.TimeAt(history_.Size() - 1) - history_.TimeAt(0);
    const std::int64_t columnMs = spanMs / Columns();
    if (sinceRedraw_.isValid() &&
        sinceRedraw_.elapsed() < std::clamp(columnMs, kMinFollowMs, kMaxFollowMs)) {
        return;
    }
    Redraw();
}

void TTrendFrm::Redraw() {
    if (!dirty_ || paused_) {
        return;
    }
    dirty_ = false;
    sinceRedraw_.start();
    if (history_.Size() == 0) {
        for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
            ShowLines(s, {});
        }
        return;
    }
    const std::int64_t last = history_.TimeAt(history_.Size() - 1) + 1;
    const int span = SpanSeconds();
    const std::int64_t first = span != 0 ? last - span * 1000LL : history_.TimeAt(0);
    const int columns = Columns();
    // Each change of an axis range makes the chart lay out every series again, with all its
    // points: the series are emptied first and filled last, so that a redraw lays each out once.
    history_.ColumnBounds(first, last, columns, bounds_);
    double low = 0;
    double high = 0;
    bool any = false;
    for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
        QLineSeries* series = series_[static_cast<std::size_t>(s)];
        if (!series->isVisible()) {
            continue;
        }
        const TrendHistory::Quantity quantity = QuantityOf(s);
        const double scale = quantity == TrendHistory::kMeasured ? MeasuredScale() : kTenth;
        const TrendHistory::MinMax drawn = history_.Reduce(s, bounds_, scale, points_);
        TrendHistory::SplitAtBreaks(points_, kMaxLinesPerSeries,
                                    parts_[static_cast<std::size_t>(s)]);
        ShowLines(s, {});
        if (quantity != TrendHistory::kOutput && !drawn.Empty()) {
            low = any ? std::min(low, drawn.min * scale) : drawn.min * scale;
            high = any ? std::max(high, drawn.max * scale) : drawn.max * scale;
            any = true;
        }
    }
    axisTime_->setRange(QDateTime::fromMSecsSinceEpoch(first),
                        QDateTime::fromMSecsSinceEpoch(last));
    if (!any) {
        low = 0;
        high = 100;
    }
    const double margin = std::max((high - low) * 0.05, weight_ ? 0.01 : 0.5);
    // The value axis is rounded to nice numbers from the range asked for; the same range asked
    // for again gives the same axis, which is then left alone.
    const std::pair<double, double> valueRange{low - margin, high + margin};
    if (valueRange != valueRange_) {
        valueRange_ = valueRange;
        axisValue_->setRange(valueRange.first, valueRange.second);
        axisValue_->applyNiceNumbers();
    }
    for (int s = 0; s < TrendHistory::kSeriesCount; ++s) {
        if (series_[static_cast<std::size_t>(s)]->isVisible()) {
            ShowLines(s, parts_[static_cast<std::size_t>(s)]);
        }
    }
}

QString TTrendFrm::ReadoutAt(std::int64_t msecs) const {
    const std::size_t size = history_.Size();
    if (size == 0) {
        return {};
    }
    std::size_t index = std::min(history_.IndexAtOrAfter(msecs), size - 1);
    if (index > 0 && msecs - history_.TimeAt(index - 1) < history_.TimeAt(index) - msecs) {
        --index;
    }
    QString text = QDateTime::fromMSecsSinceEpoch(history_.TimeAt(index))
                       .toString(QStringLiteral("HH:mm:ss.zzz"));
    for (int channel = 0; channel < TrendHistory::kChannels; ++channel) {
        if (!shown_[static_cast<std::size_t>(channel)]) {
            continue;
        }
        const auto value = [&](TrendHistory::Quantity quantity) {
            return history_.ValueAt(TrendHistory::Series(quantity, channel), index);
        };
        text += tr("   AD%1 %2 (设定 %3")
                    .arg(channel)
                    .arg(FormatFixed(value(TrendHistory::kMeasured), weight_ ? 3 : 1),
                         FormatFixed(value(TrendHistory::kSetPoint), 1));
        if (OutputCheck->isChecked()) {
            text += tr(", 输出 %1%").arg(FormatFixed(value(TrendHistory::kOutput), 1));
        }
        text += QLatin1Char(')');
    }
    return text;
}

bool TTrendFrm::SaveImage(const QString& path) {
    dirty_ = true;
    const bool paused = paused_;
    paused_ = false;
    Redraw();
    paused_ = paused;
    return ChartView->grab().save(path, "PNG");
}

void TTrendFrm::PauseButtonClick() {
    paused_ = !paused_;
    PauseButton->setText(paused_ ? tr("继续") : tr("暂停"));
    dirty_ = true;
    Redraw();
}

void TTrendFrm::ExportButtonClick() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出趋势图"),
        tr("VR7C-20NP_趋势_%1.png")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))),
        tr("PNG 图片 (*.png)"));
    if (!path.isEmpty() && !SaveImage(path)) {
        Readout->setText(tr("无法保存图片: %1").arg(path));
    }
}

void TTrendFrm::showEvent(QShowEvent* event) {
    dirty_ = true;
    redrawTimer_.start();
    QWidget::showEvent(event);
}

void TTrendFrm::hideEvent(QHideEvent* event) {
    redrawTimer_.stop();
    QWidget::hideEvent(event);
}

bool TTrendFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ChartView->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            const QPointF value = chart_->mapToValue(move->position(), MeasuredSeries(0));
            Readout->setText(ReadoutAt(static_cast<std::int64_t>(value.x())));
        } else if (event->type() == QEvent::Leave) {
            Readout->clear();
        }
    }
    return QWidget::eventFilter(watched, event);
}
