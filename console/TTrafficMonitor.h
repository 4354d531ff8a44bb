#pragma once

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

class ModbusRecorder;
class Prompter;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;
class TrafficRing;
class TrafficTableModel;

// The traffic monitor: every frame with its time, direction, bytes, decode and verdict, an
// errors-only filter, pause and save; and the line counters with their reset. It follows the
// recording only while it is shown.
class TTrafficMonitor : public QWidget {
    Q_OBJECT

public:
    enum Page { kTrafficPage, kCountersPage };
    // While following, about twenty frames a second scroll past, a page of the table each
    // second: the table is brought up to date once a second, each time a whole new page.
    static constexpr int kFollowIntervalMs = 1000;

    TTrafficMonitor(const TrafficRing& ring, ModbusRecorder& recorder, Prompter& prompter,
                    std::function<std::uint32_t()> now, QWidget* parent);
    ~TTrafficMonitor() override;

    void ShowPage(Page page);
    // Brings the table and the counters up to date (the follow timer's tick).
    void Refresh();
    // Writes the shown rows as text; false when the file cannot be written.
    bool SaveText(const QString& path) const;
    TrafficTableModel& Model() { return *model_; }

    QTabWidget* Pages;
    QTableView* Table;
    QCheckBox* ErrorsOnly;
    QPushButton* Pause;
    QPushButton* Save;
    QLabel* Held;
    QWidget* Counters;
    QPushButton* ResetCounters;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* BuildTrafficPage();
    QWidget* BuildCountersPage();
    void ShowCounters();
    void SaveClick();

    const TrafficRing& ring_;
    ModbusRecorder& recorder_;
    Prompter& prompter_;
    TrafficTableModel* model_;
    std::vector<QLabel*> counterValues_;
    QTimer follow_;
};
