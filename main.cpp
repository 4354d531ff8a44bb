#include <QApplication>
#include <QDateTime>
#include <QKeySequence>
#include <QTranslator>

#include "AppStyle.h"
#include "EventDispatcher.h"
#include "LineDiagnostics.h"
#include "Main.h"
#include "MonitorD.h"
#include "QtChinese.h"
#include "StatusLineEntry.h"
#include "TFirmwareFrm.h"
#include "TPortSetupFrm.h"
#include "TRecorderFrm.h"
#include "TTrendFrm.h"

namespace {

// Brings a tool window up, or to the front when it is already shown.
void ShowToolWindow(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

// Creates the main window, the register write dialog and the firmware update dialog, and
// runs the event loop until the main window closes. The recorder and the trend window
// follow every good poll; the status line's entry and Ctrl+R and Ctrl+T bring them up.
int main(int argc, char** argv) {
    UseLeanEventDispatcher();
    QApplication application(argc, argv);
    const std::unique_ptr<QTranslator> qtChinese = LoadQtChinese();
    if (qtChinese) {
        QApplication::installTranslator(qtChinese.get());
    }
    TMainForm mainForm;
    TMonitorDf monitorForm(mainForm, mainForm.Prompts(), &mainForm);
    mainForm.SetMonitorForm(&monitorForm);
    TFirmwareFrm firmwareForm(&mainForm);
    mainForm.SetFirmwareForm(&firmwareForm, firmwareForm.Serial_Port);
    firmwareForm.SetPorts(&mainForm.Ports());
    firmwareForm.Session().Client().Tap = &mainForm.Line().BootloaderTap();

    TRecorderFrm recorder(mainForm.Prompts(), mainForm.SettingsPath(), mainForm.RegisterImage,
                          &mainForm);
    TTrendFrm trend(mainForm.RegisterImage, &mainForm);
    QObject::connect(&mainForm, &TMainForm::GoodReplyTaken, &mainForm, [&] {
        recorder.TakeGoodReply(mainForm.Polling().GoodPolls);
        trend.TakeGoodReply(QDateTime::currentMSecsSinceEpoch());
    });
    StatusLineEntry& entry = mainForm.Line().Entry();
    entry.AddWindow(QStringLiteral("数据记录..."), QKeySequence(Qt::CTRL | Qt::Key_R),
                    [&] { ShowToolWindow(recorder); });
    entry.AddWindow(QStringLiteral("通道趋势..."), QKeySequence(Qt::CTRL | Qt::Key_T),
                    [&] { ShowToolWindow(trend); });
    TPortSetupFrm portSetup(mainForm.Ports(), &mainForm);
    entry.AddWindow(QStringLiteral("端口设置..."), QKeySequence(Qt::CTRL | Qt::Key_P),
                    [&] { ShowToolWindow(portSetup); });

    SetApplicationHintColour();
    mainForm.show();
    return application.exec();
}
