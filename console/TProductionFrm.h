#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "PortPath.h"

class PortHolder;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QThread;
class RecordStore;
class StationSlot;
class TLineStatsFrm;
class UnitAccess;
struct Plan;
struct RunRecord;
struct StepRecord;

// The production test station "生产测试": the operator scans a unit's serial number and the
// plan runs on the unit in each fixture slot, every step on record in the same SQLite store as
// `vr7c test`. Each slot runs on a thread of its own, so the window never waits for a unit; the
// steps fill in as they end and a large result follows. A plan's prompt is shown in the window
// with a confirm button, never as a box that a scanner's Enter could dismiss. (The production
// types stay out of this header: the diagnostics have a Verdict of their own.)
class TProductionFrm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMaxSlots = 4;
    static constexpr int kPortCount = 8;
    static constexpr int kLastUnits = 12;

    TProductionFrm(QString settingsPath, QString recordsFile, QWidget* parent = nullptr);
    ~TProductionFrm() override;

    // The unit on a slot's port ("COM3", a device or a network URL), made on the window's
    // thread; the real one opens its line on the slot's thread at its first step. Empty with
    // the reason when the port cannot be had. Replaced by tests.
    std::function<std::unique_ptr<UnitAccess>(const QString& port, QString* why)> openUnit;
    // How COM numbers become devices: the main window's numbering. Empty: VR7C_COMn, else the
    // system's default devices.
    SerialDeviceResolver deviceLookup;
    // The main window's connection: a slot on its port asks, pauses it for the run and gives it
    // back afterwards. None: no other window holds a port.
    PortHolder* mainLine = nullptr;
    // The line's shared records (VR7C_RECORDS_SHARED or vr7c's settings file); empty: none.
    // Runs are copied there after each run, on a thread of their own.
    QString sharedRecords;
    // A question with yes and no; true for yes. Replaced by tests.
    std::function<bool(QWidget* owner, const QString& text)> ask;
    // Where a certificate's PDF goes; empty to give up. Replaced by tests.
    std::function<QString(QWidget* owner, const QString& suggested)> choosePdf;

    // Takes the plan file: refused with its errors listed when it does not pass the check.
    bool LoadPlan(const QString& path);
    bool Running() const;
    // Today's counts and the last units from the records.
    void ShowDay();

    QLineEdit* PlanEdit;
    QPushButton* BrowseButton;
    QLineEdit* BenchEdit;
    QLineEdit* OperatorEdit;
    QSpinBox* SlotCount;
    std::vector<QComboBox*> SlotPorts;
    QLineEdit* SerialEdit;
    QLabel* MessageLabel;
    QLabel* PromptLabel;
    QPushButton* ConfirmButton;
    std::vector<QTableWidget*> StepTables;
    std::vector<QLabel*> ResultLabels;
    QLabel* DayLabel;
    QLabel* QueueLabel;  // runs waiting for the shared records
    QListWidget* LastUnits;
    QPushButton* PdfButton;
    QPushButton* StatsButton;
    // The line's statistics, made when first opened.
    TLineStatsFrm* Stats();

signals:
    // Every slot of a run has ended and its records are written.
    void RunEnded();
    // A copy to the shared records has ended and QueueLabel says how it went.
    void QueueShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class StationSlot;
    void SerialEntered();
    void StartRun();
    void StepShown(int slot, const StepRecord& step);
    void PromptAsked(int slot, const QString& text, const QString& key);
    void ShowPromptWhenAllWait();
    void Confirm();
    void SlotEnded(int slot, const RunRecord& run, const QString& error);
    bool SamePort(const QString& a, const QString& b) const;
    void SyncShared();
    void GiveBackPort();
    void ShowSlots();
    void ShowMessage(const QString& text, bool fault);
    void ShowFault(QLabel& label, bool fault) const;
    void SaveSettings() const;
    void WritePdf();
    void ShowRun(const QString& uuid);
    std::unique_ptr<RecordStore> OpenRecords(QString* error) const;

    QString settingsPath_;
    QString recordsFile_;
    std::unique_ptr<Plan> plan_;
    QStringList serials_;  // scanned for the slots of the next run, in slot order
    std::vector<std::unique_ptr<StationSlot>> running_;
    int ended_ = 0;
    std::set<int> waiting_;  // the slots that wait on the prompt
    bool released_ = false;
    int promptKey_ = 0;  // the key that confirms the prompt shown, besides the button  // the main
                         // window's connection is paused for this run
    std::atomic<bool> stop_{false};
    TLineStatsFrm* stats_ = nullptr;
    std::unique_ptr<QThread> syncing_;
};
