#pragma once

#include <QObject>

class ComPorts;
class QComboBox;

// Keeps the tooltips of a "COM1" … "COM8" list: each item tells which device it reaches, the
// list itself tells it for the selected item. Opening the list lists the devices again.
class PortListTips final : public QObject {
    Q_OBJECT

public:
    PortListTips(QComboBox& list, ComPorts& ports);
    // Puts the ports' current view into the tooltips (without listing the devices again).
    void Update();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox& list_;
    ComPorts& ports_;
};
