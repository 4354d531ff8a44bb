#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "BootloaderSession.h"
#include "SerialPortIo.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

class ComPorts;
class PortListTips;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QShowEvent;

// How the dialog puts a message box in front of the operator. Replaceable, so that tests can
// count the messages instead of blocking on a modal box.
class FirmwareMessageBox {
public:
    virtual ~FirmwareMessageBox() = default;
    // A modal box owned by owner, with an OK button and the information icon.
    virtual void Information(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The same with a further text under the message (a failure's cause and remedy); where
    // there is no place for it, only the message is shown.
    virtual void InformationWithFurtherText(QWidget* owner, const QString& caption,
                                            const QString& text, const QString& furtherText) {
        static_cast<void>(furtherText);
        Information(owner, caption, text);
    }
};

// The firmware update dialog: picks the port, starts the bootloader session and shows its
// progress. The session does the protocol; the dialog only shows what the session reports.
class TFirmwareFrm : public QDialog, private BootloaderView {
    Q_OBJECT

public:
    explicit TFirmwareFrm(QWidget* parent = nullptr);
    // For tests: the session's port, clock and message boxes are supplied by the caller.
    // A null port, clock or message box stands for the real one.
    TFirmwareFrm(QWidget* parent, std::unique_ptr<SerialPortIo> port, TickClock* clock,
                 FirmwareMessageBox* messages);
    ~TFirmwareFrm() override;

    // Event handlers.
    void FormShow();
    void BitBtn1Click();
    void OvertimeTTimer();
    void Timer5Timer();

    BootloaderSession& Session() { return *session_; }
    // The COM numbers shared with the main window: the port list's tooltips, and the cause
    // of a failed open under the port error.
    void SetPorts(ComPorts* ports);

    VEVErizEvezad ComDriver;
    QLabel* Panel1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Serial_Port = nullptr;
    QPushButton* BitBtn1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildLayout();

    int SelectedPortIndex() const override;
    void SetStatusText(const QString& text) override;
    void SetProgress(int position) override;
    int Progress() const override;
    void ShowMessage(const QString& caption, const QString& text) override;

    FirmwareMessageBox* messages_;
    ComPorts* ports_ = nullptr;
    PortListTips* portTips_ = nullptr;
    std::unique_ptr<BootloaderSession> session_;
};
