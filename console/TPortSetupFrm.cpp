#include "TPortSetupFrm.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "AppStyle.h"
#include "ComPorts.h"

TPortSetupFrm::TPortSetupFrm(ComPorts& ports, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      ports_(ports) {
    setObjectName(QStringLiteral("TPortSetupFrm"));
    setWindowTitle(tr("端口设置"));
    setFont(SongFont(16));
    PortList = new QListWidget(this);
    PortList->setObjectName(QStringLiteral("PortList"));
    UrlEdit = new QLineEdit(this);
    UrlEdit->setObjectName(QStringLiteral("UrlEdit"));
    UrlEdit->setPlaceholderText(tr("rfc2217://主机:端口"));
    AssignButton = new QPushButton(tr("分配"), this);
    AssignButton->setObjectName(QStringLiteral("AssignButton"));
    FreeButton = new QPushButton(tr("释放"), this);
    FreeButton->setObjectName(QStringLiteral("FreeButton"));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(PortList, 0, 0, 1, 3);
    layout->addWidget(new QLabel(tr("网络线路："), this), 1, 0);
    layout->addWidget(UrlEdit, 1, 1, 1, 2);
    layout->addWidget(AssignButton, 2, 1);
    layout->addWidget(FreeButton, 2, 2);
    layout->addWidget(StatusLabel, 3, 0, 1, 3);
    resize(520, 300);
    connect(AssignButton, &QPushButton::clicked, this, &TPortSetupFrm::AssignClick);
    connect(FreeButton, &QPushButton::clicked, this, &TPortSetupFrm::FreeClick);
    Reload();
}

void TPortSetupFrm::Reload() {
    const int selected = PortList->currentRow();
    PortList->clear();
    for (int i = 0; i < ComAssignment::kPortCount; ++i) {
        PortList->addItem(ports_.ToolTip(i));
    }
    PortList->setCurrentRow(selected);
}

void TPortSetupFrm::showEvent(QShowEvent* event) {
    ports_.Refresh();
    Reload();
    QDialog::showEvent(event);
}

void TPortSetupFrm::AssignClick() {
    const int row = PortList->currentRow();
    if (row < 0) {
        StatusLabel->setText(tr("请先在列表中选择端口号。"));
        return;
    }
    if (!ports_.Assignment().Owner(row).isEmpty()) {
        StatusLabel->setText(tr("COM%1 已被占用，请先释放。").arg(row + 1));
        return;
    }
    if (!ports_.AssignNetworkLine(row, UrlEdit->text().trimmed())) {
        StatusLabel->setText(
            tr("网址无效：应为 tcp://主机:端口、rfc2217://主机:端口"
               "或 modbus-tcp://主机[:端口]。"));
        return;
    }
    StatusLabel->setText(tr("COM%1 已分配。").arg(row + 1));
    Reload();
}

void TPortSetupFrm::FreeClick() {
    const int row = PortList->currentRow();
    if (row < 0 || !ports_.FreeNetworkLine(row)) {
        StatusLabel->setText(tr("只能释放分配给网络线路的端口号。"));
        return;
    }
    StatusLabel->setText(tr("COM%1 已释放。").arg(row + 1));
    Reload();
}
