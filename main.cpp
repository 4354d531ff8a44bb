#include <QApplication>

#include "AppStyle.h"
#include "Main.h"
#include "MonitorD.h"
#include "TFirmwareFrm.h"

// Creates the main window, the register write dialog and the firmware update dialog, and
// runs the event loop until the main window closes.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    TMainForm mainForm;
    TMonitorDf monitorForm(mainForm, mainForm.Prompts(), &mainForm);
    mainForm.SetMonitorForm(&monitorForm);
    TFirmwareFrm firmwareForm(&mainForm);
    mainForm.SetFirmwareForm(&firmwareForm, firmwareForm.Serial_Port);
    firmwareForm.SetPorts(&mainForm.Ports());
    SetApplicationHintColour();
    mainForm.show();
    return application.exec();
}
