#include "TLineStatsFrm.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

#include "AppStyle.h"
#include "LineStats.h"
#include "SharedRecords.h"

struct LineRuns {
    std::vector<RunRecord> runs;
};

namespace {

// Runs loaded whole at most: enough for a month of a line, and a bound on the wait.
constexpr int kMostRuns = 5000;

QChartView* NewView(QWidget* parent) {
    auto* view = new QChartView(new QChart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->chart()->setFont(SongFont(14));
    view->chart()->legend()->setFont(SongFont(14));
    view->chart()->setTitleFont(SongFont(17));
    return view;
}

void Clear(QChart& chart) {
    chart.removeAllSeries();
    for (QAbstractAxis* axis : chart.axes()) {
        chart.removeAxis(axis);
        delete axis;
    }
}

// A vertical line at x from 0 to top, for a limit or the mean.
QLineSeries* VerticalLine(const QString& name, double x, double top, const QColor& colour) {
    auto* line = new QLineSeries;
    line->setName(name);
    line->append(x, 0);
    line->append(x, top);
    line->setPen(QPen(colour, 2, Qt::DashLine));
    return line;
}

QLineSeries* HorizontalLine(const QString& name, qint64 from, qint64 to, double y,
                            const QColor& colour) {
    auto* line = new QLineSeries;
    line->setName(name);
    line->append(static_cast<double>(from), y);
    line->append(static_cast<double>(to), y);
    line->setPen(QPen(colour, 2, Qt::DashLine));
    return line;
}

}  // namespace

TLineStatsFrm::TLineStatsFrm(QString recordsFile, QWidget* parent)
    : QDialog(parent), recordsFile_(std::move(recordsFile)), runs_(std::make_unique<LineRuns>()) {
    setObjectName(QStringLiteral("LineStatsFrm"));
    setWindowTitle(tr("生产统计"));
    setFont(WindowFont());
    resize(900, 600);
    Pages = new QTabWidget(this);
    YieldView = NewView(Pages);
    auto* measurement = new QWidget(Pages);
    MeasurementList = new QComboBox(measurement);
    SummaryLabel = new QLabel(measurement);
    HistogramView = NewView(measurement);
    DriftView = NewView(Pages);
    SourceList = new QComboBox(this);
    SourceList->addItems({tr("本机记录"), tr("共享记录")});
    SourceList->setEnabled(false);
    auto* column = new QVBoxLayout(measurement);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("测量项目"), measurement));
    row->addWidget(MeasurementList, 1);
    column->addLayout(row);
    column->addWidget(SummaryLabel);
    column->addWidget(HistogramView, 1);
    Pages->addTab(YieldView, tr("直通率"));
    Pages->addTab(measurement, tr("测量分布"));
    Pages->addTab(DriftView, tr("测量趋势"));
    ExportButton = new QPushButton(tr("导出图片…"), this);
    auto* layout = new QVBoxLayout(this);
    auto* source = new QHBoxLayout;
    source->addWidget(new QLabel(tr("记录来源"), this));
    source->addWidget(SourceList);
    source->addStretch(1);
    layout->addLayout(source);
    layout->addWidget(Pages, 1);
    layout->addWidget(ExportButton, 0, Qt::AlignRight);

    choosePng = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, tr("导出图片"), suggested,
                                            tr("PNG 图片 (*.png)"));
    };
    connect(MeasurementList, &QComboBox::currentIndexChanged, this,
            &TLineStatsFrm::DrawMeasurement);
    connect(SourceList, &QComboBox::activated, this, &TLineStatsFrm::Reload);
    connect(ExportButton, &QPushButton::clicked, this, [this] {
        const QString file = choosePng(
            this, QStringLiteral("VR7C-20NP_%1.png").arg(Pages->tabText(Pages->currentIndex())));
        if (!file.isEmpty()) {
            const QString why = ExportPng(file);
            SummaryLabel->setText(why.isEmpty() ? SummaryLabel->text() : why);
        }
    });
}

TLineStatsFrm::~TLineStatsFrm() {
    if (loading_) {
        loading_->wait();
    }
}

void TLineStatsFrm::SetSharedAddress(const QString& address) {
    sharedAddress_ = address;
    SourceList->setEnabled(!address.isEmpty());
    if (address.isEmpty()) {
        SourceList->setCurrentIndex(0);
    }
}

bool TLineStatsFrm::Reload() {
    if (SourceList->currentIndex() == 0 || sharedAddress_.isEmpty()) {
        QString error;
        auto runs = LoadRecentRuns(recordsFile_, {}, kDays, kMostRuns, &error);
        runs_->runs = runs ? std::move(*runs) : std::vector<RunRecord>();
        Show(runs.has_value(), error);
        return runs.has_value();
    }
    if (loading_ && loading_->isRunning()) {
        return true;  // the load under way draws the charts
    }
    SourceList->setEnabled(false);
    SummaryLabel->setText(tr("正在读取共享记录..."));
    loading_.reset(QThread::create([this, file = recordsFile_, address = sharedAddress_] {
        QString error;
        auto runs = LoadRecentRuns(file, address, kDays, kMostRuns, &error);
        QMetaObject::invokeMethod(this, [this, runs = std::move(runs), error]() mutable {
            SourceList->setEnabled(true);
            runs_->runs = runs ? std::move(*runs) : std::vector<RunRecord>();
            Show(runs.has_value(), error);
        });
    }));
    loading_->start();
    return true;
}

void TLineStatsFrm::Show(bool read, const QString& error) {
    if (!read) {
        SummaryLabel->setText(tr("记录无法读取: %1").arg(error));
        emit Loaded();
        return;
    }
    DrawYield();
    const QString chosen = MeasurementList->currentText();
    MeasurementList->blockSignals(true);
    MeasurementList->clear();
    for (const QString& name : MeasurementNames(runs_->runs)) {
        MeasurementList->addItem(name);
    }
    MeasurementList->setCurrentIndex(std::max(0, MeasurementList->findText(chosen)));
    MeasurementList->blockSignals(false);
    DrawMeasurement();
    emit Loaded();
}

void TLineStatsFrm::DrawYield() {
    QChart& chart = *YieldView->chart();
    Clear(chart);
    const QDate today = QDate::currentDate();
    const auto days = YieldPerDay(runs_->runs, today.addDays(1 - kDays), today);
    auto* yield = new QBarSet(tr("直通率 %"));
    yield->setColor(QColor(0, 150, 0));
    QStringList labels;
    for (const DayYield& d : days) {
        *yield << (d.units > 0 ? 100.0 * d.firstPass / d.units : 0);
        labels << d.day.toString(QStringLiteral("MM-dd"));
    }
    auto* series = new QBarSeries;
    series->append(yield);
    chart.addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setLabelsAngle(-90);
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%d%%"));
    chart.addAxis(x, Qt::AlignBottom);
    chart.addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    chart.setTitle(tr("最近 %1 天的直通率").arg(kDays));
}

void TLineStatsFrm::DrawMeasurement() {
    QChart& histogram = *HistogramView->chart();
    QChart& drift = *DriftView->chart();
    Clear(histogram);
    Clear(drift);
    const QString name = MeasurementList->currentText();
    if (name.isEmpty()) {
        SummaryLabel->setText(tr("最近 %1 天没有测量记录").arg(kDays));
        return;
    }
    const MeasurementSeries s = SeriesOf(runs_->runs, name);
    SummaryLabel->setText(tr("%1 个值  平均 %2 %3  标准差 %4  Cpk %5  限值 %6 … %7")
                              .arg(s.values.size())
                              .arg(s.mean, 0, 'g', 8)
                              .arg(s.unit)
                              .arg(s.deviation, 0, 'g', 4)
                              .arg(s.cpk ? QString::number(*s.cpk, 'f', 2) : QStringLiteral("-"))
                              .arg(s.low)
                              .arg(s.high));
    // The bins cover the limits and every value, with a margin on each side.
    double from = s.low;
    double to = s.high;
    for (const MeasuredValue& v : s.values) {
        from = std::min(from, v.value);
        to = std::max(to, v.value);
    }
    const double margin = std::max((to - from) * 0.1, 1e-9);
    from -= margin;
    to += margin;
    const std::vector<int> counts = Histogram(s, from, to, kBins);
    const double width = (to - from) / kBins;
    auto* bars = new QLineSeries;
    bars->setName(tr("数量"));
    int top = 1;
    for (int k = 0; k < kBins; ++k) {
        const double left = from + k * width;
        const int n = counts[static_cast<std::size_t>(k)];
        top = std::max(top, n);
        bars->append(left, 0);
        bars->append(left, n);
        bars->append(left + width, n);
        bars->append(left + width, 0);
    }
    bars->setPen(QPen(QColor(30, 90, 200), 2));
    histogram.addSeries(bars);
    histogram.addSeries(VerticalLine(tr("下限"), s.low, top, Qt::red));
    histogram.addSeries(VerticalLine(tr("上限"), s.high, top, Qt::red));
    histogram.addSeries(VerticalLine(tr("平均"), s.mean, top, QColor(0, 150, 0)));
    histogram.createDefaultAxes();
    histogram.axes(Qt::Horizontal).first()->setRange(from, to);
    if (auto* axis = qobject_cast<QValueAxis*>(histogram.axes(Qt::Vertical).first())) {
        axis->setRange(0, top + 1);
        axis->setTickCount(std::min(top + 2, 6));
        axis->setLabelFormat(QStringLiteral("%d"));
        axis->applyNiceNumbers();
    }
    histogram.setTitle(tr("%1 的分布 (%2)").arg(name, s.unit));

    auto* points = new QScatterSeries;
    points->setName(name);
    points->setMarkerSize(7);
    for (const MeasuredValue& v : s.values) {
        points->append(static_cast<double>(v.when.toMSecsSinceEpoch()), v.value);
    }
    drift.addSeries(points);
    if (!s.values.empty()) {
        const qint64 a = s.values.front().when.toMSecsSinceEpoch();
        const qint64 b = std::max(s.values.back().when.toMSecsSinceEpoch(), a + 1000);
        drift.addSeries(HorizontalLine(tr("下限"), a, b, s.low, Qt::red));
        drift.addSeries(HorizontalLine(tr("上限"), a, b, s.high, Qt::red));
    }
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("MM-dd HH:mm"));
    auto* y = new QValueAxis;
    y->setRange(from, to);
    drift.addAxis(x, Qt::AlignBottom);
    drift.addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : drift.series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    drift.setTitle(tr("%1 随时间 (%2)").arg(name, s.unit));
}

QString TLineStatsFrm::ExportPng(const QString& file) {
    QWidget* page = Pages->currentWidget();
    QChartView* view = page == YieldView   ? YieldView
                       : page == DriftView ? DriftView
                                           : HistogramView;
    return view->grab().save(file, "PNG") ? QString() : tr("无法保存图片: %1").arg(file);
}
