#pragma once

#include <QDialog>

class ComPorts;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// "端口设置": COM1 to COM8 with what each reaches; a free number can be given a network line
// (tcp://, rfc2217:// or modbus-tcp://), and a number holding one can be freed. Kept in the
// settings file's [Ports] as the adapters' numbers are.
class TPortSetupFrm final : public QDialog {
    Q_OBJECT

public:
    TPortSetupFrm(ComPorts& ports, QWidget* parent = nullptr);

    QListWidget* PortList = nullptr;
    QLineEdit* UrlEdit = nullptr;
    QPushButton* AssignButton = nullptr;
    QPushButton* FreeButton = nullptr;
    QLabel* StatusLabel = nullptr;

    // Shows what each number reaches now.
    void Reload();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AssignClick();
    void FreeClick();

    ComPorts& ports_;
};
