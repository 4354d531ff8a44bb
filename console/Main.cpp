#include "Main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <optional>
#include <utility>

#include "AppStyle.h"
#include "BannerGroupBox.h"
#include "BusyCursor.h"
#include "ComPorts.h"
#include "ConfigPanel.h"
#include "CounterField.h"
#include "DrawGrid.h"
#include "FormatFixed.h"
#include "LineDiagnostics.h"
#include "LinePortIo.h"
#include "LiveGrid.h"
#include "PanelSnapshotStyle.h"
#include "PortListTips.h"
#include "Prompter.h"
#include "RegisterGrid.h"
#include "RegisterMap.h"
#include "SettingsStore.h"
#include "StatusLine.h"
#include "TShape.h"

namespace {

const QString kCaption = QStringLiteral("VR7C-20NP");
constexpr int kBackgroundHeight = 440;
constexpr int kTimerSecMs = 100;
constexpr int kPortWatchMs = 1000;
constexpr int kWritePauseMs = 50;
constexpr int kPortCount = 8;
constexpr int kAddressCount = 17;
constexpr std::uint16_t kDesignVersion = 100;
constexpr std::uint16_t kDesignColdJunction = 2617;

const QColor kLampClosed(132, 187, 255);
const QColor kLampOpen(0, 255, 0);
// Connected, but the adapter has been unplugged.
const QColor kLampGone(255, 150, 0);
const QColor kLampText(128, 128, 128);
// The system scroll-bar colour, where the window's background shading starts.
const QColor kScrollBarColor(200, 200, 200);

QLabel* MakeLabel(const QString& name, const QString& text, int left, int top, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QComboBox* MakeList(const QString& name, const QStringList& items, int index, QRect place,
                    QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->addItems(items);
    list->setCurrentIndex(index);
    list->setGeometry(place);
    return list;
}

void SetTextColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    widget.setPalette(palette);
}

}  // namespace

TMainForm::TMainForm(MainFormOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      clock_(options.clock != nullptr ? *options.clock : systemClock()),
      prompter_(options.prompter != nullptr ? *options.prompter : DefaultPrompter()),
      settingsPath_(options.settingsPath.isEmpty() ? SettingsStore::DefaultPath()
                                                   : options.settingsPath),
      openUrl_(options.openUrl ? std::move(options.openUrl)
                               : [](const QUrl& url) { QDesktopServices::openUrl(url); }),
      ownCatalogue_(options.ports ? nullptr : std::make_unique<SystemPortCatalogue>()),
      ownPorts_(options.ports ? nullptr
                              : std::make_unique<ComPorts>(*ownCatalogue_, settingsPath_)),
      ports_(options.ports ? options.ports : ownPorts_.get()),
      driver_(this,
              options.port ? std::move(options.port) : std::make_unique<vr7c::net::LinePortIo>(),
              options.clock),
      master_(
          driver_, clock_, RegisterImage, [this] { return StationAddress(); },
          [this] { return PlcCanMode(); }),
      versionCaption_(tr("通信连接 (固件:%1)")),
      coldJunctionCaption_(tr("模块快键标定 ( 冷端温度: %1℃ )")),
      shownVersion_(kDesignVersion),
      shownColdJunction_(kDesignColdJunction) {
    setObjectName(QStringLiteral("TMainForm"));
    setWindowTitle(tr("VR7C-20NP 测试程序 V1.50"));
    setFixedSize(kClientWidth, kClientHeight);
    setFont(WindowFont());

    StringGrid1 = new DrawGrid(LiveGrid::kColCount, LiveGrid::kRowCount, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(3, 4, 952, 173);
    StringGrid1->setFont(KaiFont(24));
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->SetDataText(
        [this](int col, int row) { return LiveGrid::CellText(RegisterImage, col, row); });
    StringGrid1->SetDrawCell([this](QPainter& painter, int col, int row, const QRect& rect, bool) {
        LiveGrid::DrawCell(RegisterImage, painter, col, row, rect);
    });
    StringGrid1->SetDataKey(
        [this](int col, int row) { return LiveGrid::CellKey(RegisterImage, col, row); });
    StringGrid1->SetUnchangedWidth(&LiveGrid::UnchangedWidth);

    GroupBox1 = new BannerGroupBox(versionCaption_.arg(FormatFixed(kDesignVersion, 2)), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(3, 183, 172, 256);
    GroupBox2 =
        new BannerGroupBox(coldJunctionCaption_.arg(FormatFixed(kDesignColdJunction, 2)), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(189, 183, 320, 256);
    GroupBox3 = new BannerGroupBox(tr("模块全部寄存器监控"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(524, 183, 431, 256);

    BuildConnectionGroup();
    BuildRegisterGroup();
    BuildStatusLine();

    panel_ = std::make_unique<ConfigPanel>(*GroupBox2, *StringGrid1);
    BitBtn5 = panel_->BitBtn5;

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(PollingCycle::kTickIntervalMs);
    Timer1.setTimerType(Qt::PreciseTimer);
    TimerSec.setObjectName(QStringLiteral("TimerSec"));
    TimerSec.setInterval(kTimerSecMs);

    if (ownPorts_) {
        driver_.SetDeviceLookup(ownPorts_->DeviceLookup());
    }
    ports_->Refresh();
    portTips_ = new PortListTips(*ComboBox1, *ports_);
    ShowLampTip();
    PortWatch.setObjectName(QStringLiteral("PortWatch"));
    PortWatch.setInterval(kPortWatchMs);

    ConnectHandlers();
    line_ = std::make_unique<LineDiagnostics>(*this, clock_, master_, prompter_);
    FormCreate();
    TimerSec.start();
    PortWatch.start();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

TMainForm::~TMainForm() {
    Timer1.stop();
}

void TMainForm::BuildConnectionGroup() {
    QWidget* group = GroupBox1;
    Label1 = MakeLabel(QStringLiteral("Label1"), tr("连接串口"), 7, 39, group);
    Label1->setToolTip(tr("获取可用的端口号"));
    QStringList ports;
    for (int port = 1; port <= kPortCount; ++port) {
        ports << QStringLiteral("COM%1").arg(port);
    }
    ComboBox1 = MakeList(QStringLiteral("ComboBox1"), ports, 0, {73, 36, 68, 24}, group);

    Shape1 = new TShape(group);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(145, 34, 20, 20);
    Shape1->SetBrushColor(kLampClosed);
    Label5 = new QLabel(QStringLiteral("1"), group);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(Shape1->geometry());
    Label5->setAlignment(Qt::AlignCenter);
    SetTextColor(*Label5, kLampText);

    Label2 = MakeLabel(QStringLiteral("Label2"), tr("波特率"), 7, 67, group);
    EX_Baud = MakeList(QStringLiteral("EX_Baud"),
                       {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                        QStringLiteral("57600")},
                       3, {73, 64, 68, 24}, group);

    Label8 = MakeLabel(QStringLiteral("Label8"), tr("产品地址"), 7, 95, group);
    EX_Addr = MakeList(QStringLiteral("EX_Addr"), {}, -1, {73, 92, 68, 24}, group);

    Label6 = MakeLabel(QStringLiteral("Label6"), tr("通信计数"), 7, 123, group);
    Edit4 = new CounterField(QStringLiteral("0"), group);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    Edit4->setGeometry(73, 120, 68, 24);
    Edit4->setReadOnly(true);
    QPalette white = Edit4->palette();
    white.setColor(QPalette::Base, Qt::white);
    Edit4->setPalette(white);
    PanelSnapshotStyle::Install(*Edit4);

    Label20 = MakeLabel(QStringLiteral("Label20"), tr("连接模式"), 7, 151, group);
    Label20->setToolTip(tr("获取可用的端口号"));
    ComboBox6 = MakeList(QStringLiteral("ComboBox6"),
                         {QStringLiteral("PC-UART"), QStringLiteral("PLC-CAN")}, 0,
                         {73, 148, 85, 24}, group);

    SpeedButton1 =
        new QPushButton(style()->standardIcon(QStyle::SP_DriveNetIcon), tr("开始连接"), group);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(9, 171, 150, 44);
    SpeedButton1->setCheckable(true);

    BitBtn3 =
        new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), tr("固件升级"), group);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(9, 217, 150, 36);
}

void TMainForm::BuildRegisterGroup() {
    StringGrid2 = new DrawGrid(RegisterGrid::kColCount, RegisterGrid::kRowCount, GroupBox3);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    StringGrid2->setGeometry(5, 29, 423, 221);
    StringGrid2->SetDataText(
        [this](int col, int row) { return RegisterGrid::CellText(RegisterImage, col, row); });
    StringGrid2->SetDrawCell([this](QPainter& painter, int col, int row, const QRect& rect, bool) {
        RegisterGrid::DrawCell(RegisterImage, painter, col, row, rect);
    });
    StringGrid2->SetDataKey(
        [this](int col, int row) { return RegisterGrid::CellKey(RegisterImage, col, row); });
    StringGrid2->SetUnchangedWidth(&RegisterGrid::UnchangedWidth);
}

void TMainForm::BuildStatusLine() {
    TimerStr = MakeLabel(QStringLiteral("TimerStr"), QStringLiteral("12:00"), 8, 446, this);
    MyMailto = new QLabel(QStringLiteral(VR7C_CONTACT_EMAIL), this);
    MyMailto->setObjectName(QStringLiteral("MyMailto"));
    MyMailto->move(800, 447);
    MyMailto->adjustSize();
    MyMailto->setMinimumWidth(144);
    MyMailto->setCursor(Qt::PointingHandCursor);
    SetTextColor(*MyMailto, Qt::blue);
    MyMailto->installEventFilter(this);
}

void TMainForm::ConnectHandlers() {
    connect(&TimerSec, &QTimer::timeout, this, &TMainForm::TimerSecTimer);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(&PortWatch, &QTimer::timeout, this, &TMainForm::PortWatchTimer);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TMainForm::ShowLampTip);
    connect(SpeedButton1, &QPushButton::clicked, this, &TMainForm::SpeedButton1Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TMainForm::BitBtn3Click);
    connect(StringGrid1, &DrawGrid::CellSelected, this, &TMainForm::StringGrid1SelectCell);
    connect(StringGrid1, &DrawGrid::DblClick, this, &TMainForm::StringGrid1DblClick);
    connect(StringGrid2, &DrawGrid::CellSelected, this, &TMainForm::StringGrid2SelectCell);
    connect(StringGrid2, &DrawGrid::DblClick, this, &TMainForm::StringGrid2DblClick);
    connect(panel_->ComboBox4, &QComboBox::activated, this, &TMainForm::ComboBox4Change);
    connect(BitBtn5, &QToolButton::clicked, this, &TMainForm::BitBtn5Click);
}

std::uint8_t TMainForm::StationAddress() const {
    return static_cast<std::uint8_t>(EX_Addr->currentIndex());
}

bool TMainForm::PlcCanMode() const {
    return ComboBox6->currentIndex() == 1;
}

bool TMainForm::ConnectionStarted() {
    return SpeedButton1->isChecked();
}

bool TMainForm::WriteWithPollingPaused(std::int32_t reg, std::uint16_t value) {
    const PollingHold hold(*line_);
    const BusyCursor busy;
    Timer1.stop();
    clock_.sleep(kWritePauseMs);
    const bool written = master_.WriteRegister(reg, value);
    Timer1.start();
    return written;
}

QString TMainForm::HeldPort() const {
    return SpeedButton1->isChecked() ? QStringLiteral("COM%1").arg(driver_.ComPort() + 1)
                                     : QString();
}

void TMainForm::ReleasePort() {
    if (!SpeedButton1->isChecked()) {
        return;
    }
    releasedPort_ = driver_.ComPort();
    SpeedButton1->setChecked(false);
    SpeedButton1Click();
}

void TMainForm::RetakePort() {
    const int port = std::exchange(releasedPort_, -1);
    if (port < 0 || SpeedButton1->isChecked()) {
        return;
    }
    ComboBox1->setCurrentIndex(port);
    SpeedButton1->setChecked(true);
    SpeedButton1Click();
}

void TMainForm::SetFirmwareForm(QDialog* form, QComboBox* serialPort) {
    firmwareForm_ = form;
    firmwarePort_ = serialPort;
}

void TMainForm::FormCreate() {
    RegisterImage.fill(0);
    for (int address = 0; address < kAddressCount; ++address) {
        EX_Addr->addItem(QString::number(address));
    }
    EX_Addr->setCurrentIndex(1);
    LiveGrid::SetUp(*StringGrid1);
    RegisterGrid::SetUp(*StringGrid2);
    StringGrid1->SetCurrentCell(1, LiveGrid::kSetTemperatureRow);
}

void TMainForm::FormShow() {
    const SettingsStore store(settingsPath_);
    if (store.Exists()) {
        std::array<int, 3> indices{};
        const int read = store.Read(indices);
        QComboBox* lists[] = {ComboBox1, EX_Baud, EX_Addr};
        for (int i = 0; i < read; ++i) {
            lists[i]->setCurrentIndex(indices[static_cast<std::size_t>(i)]);
        }
    } else if (!store.Create()) {
        prompter_.ShowMessage(this, MessageIcon::Exclamation, tr("注册软件"),
                              tr("未知的原因，创建注册信息失败！"));
        return;
    }
    poll_.ResetGoodPolls();
}

void TMainForm::FormClose() {
    SettingsStore(settingsPath_)
        .Write({ComboBox1->currentIndex(), EX_Baud->currentIndex(), EX_Addr->currentIndex()});
    ports_->Store();
}

void TMainForm::TimerSecTimer() {
    // The clock shows whole seconds: within the second it last showed there is nothing to do.
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second == shownClockSecond_) {
        return;
    }
    shownClockSecond_ = second;
    const QString text = ClockText(QDateTime::currentDateTime(), QLocale::system());
    if (text != TimerStr->text()) {
        TimerStr->setText(text);
        TimerStr->adjustSize();
    }
}

void TMainForm::BitBtn3Click() {
    if (firmwareForm_ == nullptr) {
        return;
    }
    if (firmwarePort_ != nullptr) {
        firmwarePort_->setCurrentIndex(ComboBox1->currentIndex());
    }
    // The session's line pauses stall the polling cycle, and a module being flashed does not
    // answer: its silence meanwhile is the console's doing, not a fault of the line.
    const PollingHold hold(*line_);
    prompter_.ShowModal(*firmwareForm_);
}

void TMainForm::MyMailtoClick() {
    openUrl_(QUrl(MailtoLink(QStringLiteral(VR7C_CONTACT_EMAIL)), QUrl::TolerantMode));
}

bool TMainForm::OpenComPort() {
    const int port = ComboBox1->currentIndex();
    const std::optional<TComPortBaudRate> speed = BaudForIndex(EX_Baud->currentIndex());
    // A stored index outside its list leaves the list without a selection: there is then
    // no port, speed or station address to connect with.
    if (port < 0 || port >= kPortCount || !speed || EX_Addr->currentIndex() < 0) {
        prompter_.ShowMessage(this, MessageIcon::Information, tr("串口错误"),
                              tr("串口、波特率或产品地址未选择 ！\r"
                                 "请在列表中选择后再连接。"));
        return false;
    }
    const bool network = ports_->IsNetwork(port);
    bool connected = false;
    {
        // A network line may take up to its connect time limit (3 s) to answer.
        std::optional<BusyCursor> busy;
        if (network) {
            busy.emplace();
        }
        connected = driver_.Open(static_cast<TComPortNumber>(port), *speed);
    }
    if (!connected && network) {
        prompter_.ShowMessageWithFurtherText(
            this, MessageIcon::Information, kCaption, tr("连接未成功 ！"),
            ports_->ExplainOpenFailure(port, driver_.LastOpenError()).text);
        return false;
    }
    if (!connected) {
        ports_->Refresh();
        prompter_.ShowMessageWithFurtherText(this, MessageIcon::Information, tr("串口错误"),
                                             tr("当前串口号已经被占用，或其它错误 ！\r"
                                                "请选择其它串口，或检查串口设置是否正确。"),
                                             ports_->ExplainOpenFailure(port).text);
        return false;
    }
    PortWatch.stop();
    Shape1->SetBrushColor(kLampOpen);
    return true;
}

void TMainForm::SpeedButton1Click() {
    if (!SpeedButton1->isChecked()) {
        Disconnect();
        return;
    }
    if (!OpenComPort()) {
        SpeedButton1->setChecked(false);
        return;
    }
    SpeedButton1->setText(tr("断开连接"));
    SetTextColor(*Label20, Qt::black);
    Timer1.start();
    poll_.Connected();
    line_->LineOpened(kBaudRateTable[driver_.ComPortSpeed()]);
}

void TMainForm::Disconnect() {
    if (adapterGone_) {
        adapterGone_ = false;
        GroupBox1->setTitle(captionBeforeGone_);
        ShowLampTip();
    }
    PortWatch.start();
    SpeedButton1->setText(tr("开始连接"));
    Shape1->SetBrushColor(kLampClosed);
    driver_.Disconnect();
    Timer1.stop();
    poll_.Disconnected();
    BitBtn5->setEnabled(false);
    line_->LineClosed();
}

void TMainForm::Timer1Timer() {
    if (adapterGone_) {
        return;
    }
    if (driver_.PortHungUp()) {
        AdapterVanished();
        return;
    }
    switch (poll_.BeginTick()) {
        case PollingCycle::TickAction::SendRequest:
            master_.SendReadRequest(PollingCycle::kRequestStart, PollingCycle::kRequestCount,
                                    PollingCycle::kRequestFunction);
            return;
        case PollingCycle::TickAction::GiveUp:
            master_.AbandonReadRequest();
            return;
        case PollingCycle::TickAction::LookForReply:
            break;
    }
    if (master_.TakeReadReply(PollingCycle::kRequestStart)) {
        TakeGoodReply();
    }
}

void TMainForm::PortWatchTimer() {
    ports_->Refresh();
    portTips_->Update();
    ShowLampTip();
    if (adapterGone_) {
        ReopenWhenBack();
    }
}

void TMainForm::AdapterVanished() {
    // The device is released at once, so that the adapter gets its old device name back when
    // it is plugged in again; the connection stays selected and the polling state stays. A
    // read still waiting for its reply is judged with what had arrived.
    if (!poll_.RequestDue) {
        master_.AbandonReadRequest();
    }
    driver_.Disconnect();
    adapterGone_ = true;
    captionBeforeGone_ = GroupBox1->title();
    const bool network = ports_->IsNetwork(driver_.ComPort());
    if (network) {
        line_->ConnectionDropped();
    }
    GroupBox1->setTitle(network ? tr("通信连接 (网络已断开)") : tr("通信连接 (串口已拔出)"));
    Shape1->SetBrushColor(kLampGone);
    ShowLampTip();
    PortWatch.start();
}

void TMainForm::ShowLampTip() {
    // The lamp's text lies over it, so the tip goes there; the device beside the lamp would
    // not fit without moving a control.
    const int number = driver_.ComPort() + 1;
    Label5->setToolTip(
        !adapterGone_ ? ComboBox1->toolTip()
        : ports_->IsNetwork(driver_.ComPort())
            ? tr("COM%1 的网络连接已断开，服务器重新接受连接后自动重新连接").arg(number)
            : tr("COM%1 的适配器已拔出，插回后自动重新连接").arg(number));
}

void TMainForm::ReopenWhenBack() {
    if (ports_->DevicePath(driver_.ComPort()).isEmpty()) {
        return;
    }
    // The driver kept the port number and line settings it was connected with.
    driver_.DropReceived();
    if (!driver_.Connect()) {
        return;  // not ready yet (still being set up by the system): the next round tries again
    }
    adapterGone_ = false;
    GroupBox1->setTitle(captionBeforeGone_);
    ShowLampTip();
    Shape1->SetBrushColor(kLampOpen);
    PortWatch.stop();
    poll_.Connected();
}

void TMainForm::TakeGoodReply() {
    ShowModuleCaptions();
    StringGrid1->UpdateData();
    StringGrid2->UpdateData();
    // What the reply changed is painted now rather than when the event loop next runs: before
    // the panel load or a PLC-CAN write, which may block the window, so that the operator sees
    // the reply that was taken meanwhile; otherwise once at the end, in one pass.
    const bool loadPanel = poll_.CountGoodReply();
    if (loadPanel || PlcCanMode()) {
        PaintMarkedNow();
    }
    if (loadPanel) {
        panel_->Load(RegisterImage);
    }
    if (PlcCanMode()) {
        RunPlcCanCheck();
    }
    Edit4->setText(QString::number(poll_.GoodPolls));
    if (poll_.WaitTicks != shownWaitTicks_) {
        shownWaitTicks_ = poll_.WaitTicks;
        Label5->setText(QString::number(shownWaitTicks_));
    }
    BitBtn5->setEnabled(true);
    poll_.FinishGoodReply();
    PaintMarkedNow();
    emit GoodReplyTaken();
}

void TMainForm::PaintMarkedNow() {
    // As QWidget::repaint does for one widget, for everything marked in the window.
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(this, &request);
}

void TMainForm::ShowModuleCaptions() {
    const std::uint16_t version = RegisterImage[Reg::kVersion];
    if (version != shownVersion_) {
        shownVersion_ = version;
        GroupBox1->setTitle(versionCaption_.arg(FormatFixed(version, 2)));
    }
    const std::uint16_t coldJunction = RegisterImage[Reg::kColdJunction];
    if (coldJunction != shownColdJunction_) {
        shownColdJunction_ = coldJunction;
        GroupBox2->setTitle(coldJunctionCaption_.arg(FormatFixed(coldJunction, 2)));
    }
}

void TMainForm::RunPlcCanCheck() {
    if (RegisterImage[Reg::kBridgeStatus] == Reg::kBridgeReady) {
        SetTextColor(*Label20, Qt::red);
        return;
    }
    master_.WriteRegister(Reg::kVersion, Reg::kVersionHandshake);
    master_.WriteRegister(Reg::kColdJunction, Reg::kColdJunctionHandshake);
}

void TMainForm::StringGrid1SelectCell(int col, int row) {
    LiveCellRegister = LiveGrid::CellRegister(col, row);
}

void TMainForm::StringGrid1DblClick() {
    if (!LiveGrid::IsSetPointRegister(LiveCellRegister)) {
        return;
    }
    OpenWriteDialog(LiveCellRegister,
                    QString::number(RegisterImage[static_cast<std::size_t>(LiveCellRegister)]));
}

void TMainForm::StringGrid2SelectCell(int col, int row) {
    SelectedRegister = RegisterGrid::CellRegister(col, row);
    GroupBox3->setTitle(RegisterGrid::SelectionCaption(SelectedRegister));
}

void TMainForm::StringGrid2DblClick() {
    if (!RegisterGrid::IsWritable(SelectedRegister)) {
        return;
    }
    OpenWriteDialog(SelectedRegister, RegisterGrid::ValueText(RegisterImage, SelectedRegister));
}

void TMainForm::ComboBox4Change() {
    panel_->ComboBox4Change();
}

void TMainForm::BitBtn5Click() {
    Timer1.stop();
    const PollingHold hold(*line_);
    int written = 0;
    {
        const BusyCursor busy;
        clock_.sleep(kWritePauseMs);
        written = WriteBlock(panel_->Take(), [this](std::int32_t reg, std::uint16_t value) {
            return master_.WriteRegister(reg, value);
        });
    }
    prompter_.ShowMessage(this, MessageIcon::Information, kCaption,
                          CommitComplete(written) ? tr("标定完毕 ！") : CommitStoppedText(written));
    Timer1.start();
}

void TMainForm::OpenWriteDialog(std::int32_t reg, const QString& valueText) {
    if (!poll_.LinkUp) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption, tr("连接未成功 ！"));
        return;
    }
    if (monitorForm_ == nullptr) {
        return;
    }
    SetFieldText(*monitorForm_->Edit2, QString::number(reg));
    SetFieldText(*monitorForm_->Edit1, valueText);
    prompter_.ShowModal(*monitorForm_);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor window = palette().color(QPalette::Window);
    QLinearGradient shade(0, 0, 0, kBackgroundHeight);
    shade.setColorAt(0, kScrollBarColor);
    shade.setColorAt(1, window);
    painter.fillRect(0, 0, width(), kBackgroundHeight, shade);
    painter.fillRect(0, kBackgroundHeight, width(), height() - kBackgroundHeight, window);
    // Raised separator above the status line.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, kBackgroundHeight, width(), kBackgroundHeight);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, kBackgroundHeight + 1, width(), kBackgroundHeight + 1);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MyMailto && event->type() == QEvent::MouseButtonRelease &&
        static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton) {
        MyMailtoClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
