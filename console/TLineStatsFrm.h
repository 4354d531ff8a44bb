#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QThread;
struct LineRuns;

// The line's statistics "生产统计" from the records: first-pass yield per day over the last 30
// days; for a chosen measurement the histogram of its values with the limits drawn, its mean,
// standard deviation and Cpk, and its values over time. Each chart can be saved as PNG. From
// the bench's records, or the line's shared ones, which are read on a thread of their own.
class TLineStatsFrm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDays = 30;
    static constexpr int kBins = 20;

    TLineStatsFrm(QString recordsFile, QWidget* parent = nullptr);
    ~TLineStatsFrm() override;

    // The line's shared store; empty: only the bench's records can be chosen.
    void SetSharedAddress(const QString& address);
    // Reads the last 30 days' runs again and draws the charts; false with the reason shown.
    // The shared records are read on a thread: Loaded tells when they are drawn.
    bool Reload();
    // Saves the chart on the page shown; empty when it worked, else why not.
    QString ExportPng(const QString& file);

    // Where a chart's PNG goes; empty to give up. Replaced by tests.
    std::function<QString(QWidget* owner, const QString& suggested)> choosePng;

    QTabWidget* Pages;
    QChartView* YieldView;
    QChartView* HistogramView;
    QChartView* DriftView;
    QComboBox* SourceList;  // 本机记录 or 共享记录
    QComboBox* MeasurementList;
    QLabel* SummaryLabel;
    QPushButton* ExportButton;

signals:
    // The runs have been read and the charts drawn, or the reason shown.
    void Loaded();

private:
    // Draws the runs read (runs_), or shows why none could be.
    void Show(bool read, const QString& error);
    void DrawYield();
    void DrawMeasurement();

    QString recordsFile_;
    QString sharedAddress_;
    std::unique_ptr<QThread> loading_;
    std::unique_ptr<LineRuns> runs_;
};
