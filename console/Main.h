#pragma once

#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "MODBUS_RTU.h"
#include "MonitorD.h"
#include "PollingCycle.h"
#include "PortHolder.h"
#include "RegisterMap.h"
#include "SerialPortIo.h"
#include "ZQ_ComDrv.h"

class BannerGroupBox;
class ComPorts;
class PortCatalogue;
class PortListTips;
class ConfigPanel;
class DrawGrid;
class LineDiagnostics;
class Prompter;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TShape;

// What the main window is built with; every part left empty takes the real one.
struct MainFormOptions {
    std::unique_ptr<SerialPortIo> port;        // empty: the real serial port
    TickClock* clock = nullptr;                // empty: the system clock
    Prompter* prompter = nullptr;              // empty: real message boxes and modal loops
    QString settingsPath;                      // empty: SettingsStore::DefaultPath()
    std::function<void(const QUrl&)> openUrl;  // empty: the desktop's URL handler
    ComPorts* ports = nullptr;  // empty: the system's serial devices, numbered in the settings file
};

// The main window: connection group, live channel grid, configuration panel, register
// monitor grid and status line; it owns the serial driver, the register image and the Modbus
// master over them, and runs the polling cycle.
class TMainForm : public QWidget, public RegisterWriteHost, public PortHolder {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 958;
    static constexpr int kClientHeight = 466;

    explicit TMainForm(MainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The serial driver of the window's line, and its Modbus master.
    VEVErizEvezad& ComDriver() { return driver_; }
    RtuMaster& Master() { return master_; }

    // RegisterWriteHost.
    bool ConnectionStarted() override;
    bool WriteWithPollingPaused(std::int32_t reg, std::uint16_t value) override;

    // PortHolder: the test station takes the window's port for a fixture slot and gives it
    // back after the run.
    QString HeldPort() const override;
    void ReleasePort() override;
    void RetakePort() override;

    // The register write dialog opened by the grids' double-clicks.
    void SetMonitorForm(TMonitorDf* form) { monitorForm_ = form; }
    // The firmware update dialog and its port list, opened by "固件升级".
    void SetFirmwareForm(QDialog* form, QComboBox* serialPort);
    Prompter& Prompts() { return prompter_; }
    const QString& SettingsPath() const { return settingsPath_; }
    // The COM numbers of the machine's serial devices, shared with the firmware dialog.
    ComPorts& Ports() { return *ports_; }
    // True while connected but the adapter has gone away; it is reopened when it comes back.
    bool AdapterGone() const { return adapterGone_; }
    ConfigPanel& Panel() { return *panel_; }
    const PollingCycle& Polling() const { return poll_; }
    // The line's counters, traffic record, status-line entry and traffic monitor.
    LineDiagnostics& Line() { return *line_; }

    // Event handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void TimerSecTimer();
    void BitBtn3Click();
    void MyMailtoClick();
    bool OpenComPort();
    void SpeedButton1Click();
    void Timer1Timer();
    void StringGrid1SelectCell(int col, int row);
    void StringGrid1DblClick();
    void StringGrid2SelectCell(int col, int row);
    void StringGrid2DblClick();
    void ComboBox4Change();
    void BitBtn5Click();
    void PortWatchTimer();

    // The register of the live grid's current cell, and of the register grid's last
    // selected cell.
    std::int32_t LiveCellRegister = 0;
    std::int32_t SelectedRegister = 0;
    // The window's copy of the module's registers 0 to 100, filled by each good poll.
    RegisterImageWords RegisterImage{};

    // Controls, named as in the window's layout.
    DrawGrid* StringGrid1;
    BannerGroupBox* GroupBox1;
    BannerGroupBox* GroupBox2;
    BannerGroupBox* GroupBox3;
    QLabel* Label1;
    QComboBox* ComboBox1;
    TShape* Shape1;
    QLabel* Label5;
    QLabel* Label2;
    QComboBox* EX_Baud;
    QLabel* Label8;
    QComboBox* EX_Addr;
    QLabel* Label6;
    QLineEdit* Edit4;
    QLabel* Label20;
    QComboBox* ComboBox6;
    QPushButton* SpeedButton1;
    QPushButton* BitBtn3;
    QToolButton* BitBtn5;
    DrawGrid* StringGrid2;
    QLabel* TimerStr;
    QLabel* MyMailto;
    QTimer Timer1;
    QTimer TimerSec;
    // Lists the serial devices about once a second while no port is open.
    QTimer PortWatch;

signals:
    // After a good reply has been taken into RegisterImage and shown.
    void GoodReplyTaken();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildConnectionGroup();
    void BuildRegisterGroup();
    void BuildStatusLine();
    void ConnectHandlers();
    void Disconnect();
    void TakeGoodReply();
    void PaintMarkedNow();
    void ShowModuleCaptions();
    void RunPlcCanCheck();
    void OpenWriteDialog(std::int32_t reg, const QString& valueText);
    // The station address (the address list's index) and the connection mode, as the Modbus
    // master asks for them at each request.
    std::uint8_t StationAddress() const;
    bool PlcCanMode() const;
    void AdapterVanished();
    void ReopenWhenBack();
    void ShowLampTip();

    TickClock& clock_;
    Prompter& prompter_;
    QString settingsPath_;
    std::function<void(const QUrl&)> openUrl_;
    std::unique_ptr<PortCatalogue> ownCatalogue_;
    std::unique_ptr<ComPorts> ownPorts_;
    ComPorts* ports_;
    PortListTips* portTips_ = nullptr;
    bool adapterGone_ = false;
    int releasedPort_ = -1;  // the port index the station took, until it gives it back
    QString captionBeforeGone_;
    VEVErizEvezad driver_;
    RtuMaster master_;
    PollingCycle poll_;
    std::unique_ptr<ConfigPanel> panel_;
    TMonitorDf* monitorForm_ = nullptr;
    QDialog* firmwareForm_ = nullptr;
    QComboBox* firmwarePort_ = nullptr;
    // The two captions that show module values, translated once: one changes after most polls.
    const QString versionCaption_;
    const QString coldJunctionCaption_;
    // Last values put into the captions and the tick label, so unchanged ones are skipped.
    qint64 shownClockSecond_ = -1;
    std::uint16_t shownVersion_;
    std::uint16_t shownColdJunction_;
    std::int32_t shownWaitTicks_ = -1;
    std::unique_ptr<LineDiagnostics> line_;
};
