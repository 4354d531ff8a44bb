#include "TFirmwareFrm.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "ComPorts.h"
#include "LinePortIo.h"
#include "NetAddress.h"
#include "PortListTips.h"
#include "PortPath.h"

namespace {

// The real message box: modal, owned by the dialog, OK button and information icon.
class ModalFirmwareMessageBox final : public FirmwareMessageBox {
public:
    void Information(QWidget* owner, const QString& caption, const QString& text) override {
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        // A window does not hand its font to the windows it owns: the box takes the dialog's.
        if (owner != nullptr) {
            box.setFont(owner->font());
        }
        box.exec();
    }
    void InformationWithFurtherText(QWidget* owner, const QString& caption, const QString& text,
                                    const QString& furtherText) override {
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        box.setInformativeText(furtherText);
        box.exec();
    }
};

FirmwareMessageBox& ModalMessageBox() {
    static ModalFirmwareMessageBox messages;
    return messages;
}

constexpr int kClientWidth = 328;
constexpr int kClientHeight = 89;
// Latin faces are drawn at this stretch, as in the console's other windows.
constexpr int kLatinStretch = 88;

}  // namespace

TFirmwareFrm::TFirmwareFrm(QWidget* parent) : TFirmwareFrm(parent, nullptr, nullptr, nullptr) {}

TFirmwareFrm::TFirmwareFrm(QWidget* parent, std::unique_ptr<SerialPortIo> port, TickClock* clock,
                           FirmwareMessageBox* messages)
    : QDialog(parent),
      ComDriver(nullptr, port ? std::move(port) : std::make_unique<vr7c::net::LinePortIo>(), clock),
      messages_(messages ? messages : &ModalMessageBox()),
      session_(std::make_unique<BootloaderSession>(ComDriver, static_cast<BootloaderView&>(*this),
                                                   clock ? *clock : systemClock())) {
    BuildLayout();
    connect(BitBtn1, &QPushButton::clicked, this, &TFirmwareFrm::BitBtn1Click);
}

TFirmwareFrm::~TFirmwareFrm() = default;

void TFirmwareFrm::BuildLayout() {
    setObjectName(QStringLiteral("FirmwareFrm"));
    setWindowTitle(tr("VR7C_20NP 固件更新"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(242, 247, 251));
    setPalette(background);
    // The first face belongs to the language: the English catalogue names a Latin face, drawn
    // a little narrower like the main window's, so that "COM8" fits the port list.
    //: The dialog's first font face
    const QString face = tr("宋体");
    QFont font;
    font.setFamilies({face, QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("Noto Serif CJK SC")});
    if (face != QStringLiteral("宋体")) {
        font.setStretch(kLatinStretch);
    }
    font.setPixelSize(16);
    setFont(font);

    Label1 = new QLabel(tr("通信端口"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(5, 10, 64, 16);

    Serial_Port = new QComboBox(this);
    Serial_Port->setObjectName(QStringLiteral("Serial_Port"));
    for (int n = 1; n <= 8; ++n) {
        Serial_Port->addItem(QStringLiteral("COM%1").arg(n));
    }
    Serial_Port->setEditable(false);
    Serial_Port->setCurrentIndex(0);
    Serial_Port->setGeometry(71, 6, 66, Serial_Port->sizeHint().height());

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), tr("开始更新"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(141, 5, 185, 26);
    BitBtn1->setDefault(true);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(1, 38, 326, 20);

    // The status line grows with its text, from its place at the lower left.
    Panel1 = new QLabel(tr("就绪..."), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 65, 56, 16);
    Panel1->adjustSize();

    setTabOrder(BitBtn1, Serial_Port);
    BitBtn1->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TFirmwareFrm::SetPorts(ComPorts* ports) {
    ports_ = ports;
    ComDriver.SetDeviceLookup(ports_ ? ports_->DeviceLookup() : SerialDeviceResolver{});
    delete portTips_;
    portTips_ = ports_ ? new PortListTips(*Serial_Port, *ports_) : nullptr;
}

void TFirmwareFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (portTips_) {
        portTips_->Update();
    }
    BitBtn1->setFocus();
    FormShow();
}

void TFirmwareFrm::FormShow() {
    SetStatusText(tr("就绪..."));
}

void TFirmwareFrm::BitBtn1Click() {
    const QByteArray name = QStringLiteral("COM%1").arg(SelectedPortIndex() + 1).toLatin1();
    if (vr7c::net::IsModbusTcpAddress(
            SerialDevicePath(name.constData(), ComDriver.DeviceLookup()).toStdString())) {
        messages_->Information(this, QStringLiteral("VR7C-20NP"),
                               tr("Modbus TCP 线路不能更新固件 ！\r"
                                  "请改用串口服务器的 rfc2217:// 线路，或本地串口。"));
        return;
    }
    session_->Start();
}

void TFirmwareFrm::OvertimeTTimer() {
    session_->OvertimeTTimer();
}

void TFirmwareFrm::Timer5Timer() {
    session_->Timer5Timer();
}

int TFirmwareFrm::SelectedPortIndex() const {
    return Serial_Port->currentIndex();
}

void TFirmwareFrm::SetStatusText(const QString& text) {
    Panel1->setText(text);
    Panel1->adjustSize();
}

void TFirmwareFrm::SetProgress(int position) {
    ProgressBar1->setValue(position);
}

int TFirmwareFrm::Progress() const {
    return ProgressBar1->value();
}

void TFirmwareFrm::ShowMessage(const QString& caption, const QString& text) {
    // The session's only message is the port error, raised when the open failed.
    if (ports_ == nullptr || ComDriver.Connected()) {
        messages_->Information(this, caption, text);
        return;
    }
    ports_->Refresh();
    const OpenFailureExplanation why =
        ports_->ExplainOpenFailure(ComDriver.ComPort(), ComDriver.LastOpenError());
    // The main window's own connection holds the port: naming this program as the holder
    // would not help the operator.
    const QString further =
        why.heldByThisProgram
            ? tr("原因：COM%1 正由本程序的主窗口连接着。\n处理：请先在主窗口断开连接，"
                 "再更新固件。")
                  .arg(ComDriver.ComPort() + 1)
            : why.text;
    messages_->InformationWithFurtherText(this, caption, text, further);
}
