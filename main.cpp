#include <QApplication>
#include <QTranslator>

#include "AppStyle.h"
#include "Main.h"
#include "MonitorD.h"
#include "QtChinese.h"
#include "TFirmwareFrm.h"

// Creates the main window, the register write dialog and the firmware update dialog, and
// runs the event loop until the main window closes.
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
    SetApplicationHintColour();
    mainForm.show();
    return application.exec();
}
