#include <QApplication>
#include <QDateTime>
#include <QKeySequence>
#include <QShortcut>
#include <QTranslator>

#include "AppStyle.h"
#include "Main.h"
#include "MonitorD.h"
#include "QtChinese.h"
#include "TFirmwareFrm.h"
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
// follow every good poll; Ctrl+R and Ctrl+T bring them up.
int main(int argc, char** argv) {
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

    TRecorderFrm recorder(mainForm.Prompts(), mainForm.SettingsPath(), &mainForm);
    TTrendFrm trend(&mainForm);
    QObject::connect(&mainForm, &TMainForm::GoodReplyTaken, &mainForm, [&] {
        recorder.TakeGoodReply(mainForm.Polling().GoodPolls);
        trend.TakeGoodReply(QDateTime::currentMSecsSinceEpoch());
    });
    // The keys work from any of the console's windows.
    QShortcut recordKey(QKeySequence(Qt::CTRL | Qt::Key_R), &mainForm);
    recordKey.setContext(Qt::ApplicationShortcut);
    QObject::connect(&recordKey, &QShortcut::activated, [&] { ShowToolWindow(recorder); });
    QShortcut trendKey(QKeySequence(Qt::CTRL | Qt::Key_T), &mainForm);
    trendKey.setContext(Qt::ApplicationShortcut);
    QObject::connect(&trendKey, &QShortcut::activated, [&] { ShowToolWindow(trend); });

    SetApplicationHintColour();
    mainForm.show();
    return application.exec();
}
