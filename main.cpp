#include <QApplication>
#include <QDateTime>
#include <QKeySequence>

#include "AppStyle.h"
#include "ComPorts.h"
#include "EventDispatcher.h"
#include "Language.h"
#include "LineDiagnostics.h"
#include "Main.h"
#include "MonitorD.h"
#include "SettingsStore.h"
#include "StatusLineEntry.h"
#include "TFirmwareFrm.h"
#include "TPortSetupFrm.h"
#include "TProductionFrm.h"
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
// follow every good poll; the status line's entry and Ctrl+R and Ctrl+T bring them up, and
// Ctrl+Shift+T the production test station.
int main(int argc, char** argv) {
    UseLeanEventDispatcher();
    QApplication application(argc, argv);
    const LanguageInstall language(LanguageOfThisRun(SettingsStore::DefaultPath()));
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
    entry.AddWindow(QCoreApplication::translate("main", "数据记录..."),
                    QKeySequence(Qt::CTRL | Qt::Key_R), [&] { ShowToolWindow(recorder); });
    entry.AddWindow(QCoreApplication::translate("main", "通道趋势..."),
                    QKeySequence(Qt::CTRL | Qt::Key_T), [&] { ShowToolWindow(trend); });
    TPortSetupFrm portSetup(mainForm.Ports(), &mainForm);
    entry.AddWindow(QCoreApplication::translate("main", "端口设置..."),
                    QKeySequence(Qt::CTRL | Qt::Key_P), [&] { ShowToolWindow(portSetup); });
    TProductionFrm production(mainForm.SettingsPath(), {}, &mainForm);
    production.deviceLookup = mainForm.Ports().DeviceLookup();
    production.mainLine = &mainForm;
    entry.AddWindow(QCoreApplication::translate("main", "生产测试..."),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T),
                    [&] { ShowToolWindow(production); });

    SetApplicationHintColour();
    mainForm.show();
    return application.exec();
}
