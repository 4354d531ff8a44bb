#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
struct LineRuns;

// The line's statistics "生产统计" from the records: first-pass yield per day over the last 30
// days; for a chosen measurement the histogram of its values with the limits drawn, its mean,
// standard deviation and Cpk, and its values over time. Each chart can be saved as PNG.
class TLineStatsFrm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDays = 30;
    static constexpr int kBins = 20;

    TLineStatsFrm(QString recordsFile, QWidget* parent = nullptr);
    ~TLineStatsFrm() override;

    // Reads the last 30 days' runs again and draws the charts; false with the reason shown.
    bool Reload();
    // Saves the chart on the page shown; empty when it worked, else why not.
    QString ExportPng(const QString& file);

    // Where a chart's PNG goes; empty to give up. Replaced by tests.
    std::function<QString(QWidget* owner, const QString& suggested)> choosePng;

    QTabWidget* Pages;
    QChartView* YieldView;
    QChartView* HistogramView;
    QChartView* DriftView;
    QComboBox* MeasurementList;
    QLabel* SummaryLabel;
    QPushButton* ExportButton;

private:
    void DrawYield();
    void DrawMeasurement();

    QString recordsFile_;
    std::unique_ptr<LineRuns> runs_;
};
