#include "PortListTips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>

#include "ComPorts.h"

PortListTips::PortListTips(QComboBox& list, ComPorts& ports)
    : QObject(&list), list_(list), ports_(ports) {
    // The drop-down's frame is shown each time the list opens.
    list_.view()->window()->installEventFilter(this);
    connect(&list_, &QComboBox::currentIndexChanged, this, &PortListTips::Update);
    Update();
}

void PortListTips::Update() {
    for (int i = 0; i < list_.count(); ++i) {
        const QString tip = ports_.ToolTip(i);
        if (list_.itemData(i, Qt::ToolTipRole).toString() != tip) {
            list_.setItemData(i, tip, Qt::ToolTipRole);
        }
    }
    const int selected = list_.currentIndex();
    const QString tip = selected >= 0 ? ports_.ToolTip(selected) : QString();
    if (list_.toolTip() != tip) {
        list_.setToolTip(tip);
    }
}

bool PortListTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        ports_.Refresh();
        Update();
    }
    return QObject::eventFilter(watched, event);
}
