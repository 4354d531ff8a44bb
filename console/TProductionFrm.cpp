#include "TProductionFrm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSysInfo>
#include <QTableWidget>
#include <QThread>

#include <condition_variable>
#include <mutex>

#include "AppStyle.h"
#include "CertificatePdf.h"
#include "DayCounts.h"
#include "LineUnit.h"
#include "PortHolder.h"
#include "RecordStore.h"
#include "RunRecorder.h"
#include "SharedRecords.h"
#include "TLineStatsFrm.h"

namespace {

const QString kGroup = QStringLiteral("Production");
// The pauses of the line sequence before a flash step, as in the firmware dialog.
constexpr std::uint32_t kResetPauseMs = 500;
// The station and rate a unit is first looked for at when the plan expects none: vr7c's.
constexpr int kFactoryStation = 1;
constexpr int kFactoryBaud = 19200;

QColor VerdictColour(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return QColor(0, 128, 0);
        case Verdict::Marginal:
            return QColor(176, 112, 0);
        case Verdict::Skipped:
            return Qt::gray;
        default:
            return QColor(200, 0, 0);
    }
}

QString Number(double value) {
    return QString::number(value, 'g', 8);
}

// The large result of a slot: what it came to and, when it did not pass, where or why.
std::pair<QString, QColor> ResultText(const RunRecord& run, const QString& error) {
    if (!error.isEmpty()) {
        return {TProductionFrm::tr("错误") + QLatin1Char('\n') + error, QColor(200, 90, 0)};
    }
    auto first = [&run](Verdict v) {
        for (const StepRecord& s : run.steps) {
            if (s.verdict == v) {
                return s.name.isEmpty() ? s.kind : s.name;
            }
        }
        return QString();
    };
    switch (run.result) {
        case Verdict::Pass:
        case Verdict::Marginal:
            return {TProductionFrm::tr("合格"), QColor(0, 160, 0)};
        case Verdict::Fail:
            return {TProductionFrm::tr("不合格") + QLatin1Char('\n') + first(Verdict::Fail),
                    QColor(210, 0, 0)};
        case Verdict::Aborted:
            return {TProductionFrm::tr("中止"), Qt::gray};
        default: {
            QString cause;
            for (const StepRecord& s : run.steps) {
                if (s.verdict == Verdict::Error) {
                    cause = s.message.isEmpty() ? s.name : s.message;
                    break;
                }
            }
            return {TProductionFrm::tr("错误") + QLatin1Char('\n') + cause, QColor(200, 90, 0)};
        }
    }
}

}  // namespace

// One slot's unit during a run: the opened unit for the line, the window for prompts and for
// the operator's stop. Its run goes on a thread of its own.
class StationSlot : public UnitAccess {
public:
    StationSlot(TProductionFrm& window, int index, std::unique_ptr<UnitAccess> unit)
        : window_(window), index_(index), unit_(std::move(unit)) {}
    ~StationSlot() override {
        if (thread_) {
            Answer(PromptAnswer::Gone);
            thread_->wait();
        }
    }

    UnitOutcome ReadRegisters(std::uint16_t* regs) override { return unit_->ReadRegisters(regs); }
    UnitOutcome WriteRegister(int reg, std::uint16_t value) override {
        return unit_->WriteRegister(reg, value);
    }
    UnitOutcome ApplyProfile(const QString& path) override { return unit_->ApplyProfile(path); }
    UnitOutcome Flash(const QString& image, FlashedImage& report) override {
        return unit_->Flash(image, report);
    }
    UnitOutcome RunFixtureCommand(const QStringList& argv, int timeoutMs) override {
        return unit_->RunFixtureCommand(argv, timeoutMs);
    }
    void Wait(int ms) override { unit_->Wait(ms); }
    qint64 NowMs() override { return unit_->NowMs(); }
    bool StopRequested() override { return window_.stop_ || unit_->StopRequested(); }

    // Shown in the window; the slot waits for the operator's confirmation or the stop.
    PromptAnswer Prompt(const QString& text) override {
        std::unique_lock lock(mutex_);
        answer_.reset();
        if (window_.stop_) {
            return PromptAnswer::Gone;
        }
        QMetaObject::invokeMethod(&window_, [w = &window_, i = index_, text, key = promptKey_] {
            w->PromptAsked(i, text, key);
        });
        answered_.wait(lock, [this] { return answer_.has_value(); });
        return *answer_;
    }
    int index() const { return index_; }
    void Answer(PromptAnswer answer) {
        const std::lock_guard lock(mutex_);
        answer_ = answer;
        answered_.notify_all();
    }

    // Runs the plan on the unit and records it, then tells the window.
    void Start(const Plan& plan, RunRecord run, const QString& recordsFile) {
        thread_.reset(QThread::create([this, &plan, run = std::move(run), recordsFile]() mutable {
            QString error;
            auto store = RecordStore::OpenLocal(recordsFile, &error);
            if (!store || !store->BeginRun(run, &error)) {
                End(run, TProductionFrm::tr("记录无法写入: %1").arg(error));
                return;
            }
            RunRecorder recorder(*store, [this](const RunRecord&, const StepRecord& step) {
                QMetaObject::invokeMethod(
                    &window_, [w = &window_, i = index_, step] { w->StepShown(i, step); });
            });
            // A prompt's foot-switch key comes with its step.
            recorder.starting = [this](const PlanStep& step, int) { promptKey_ = step.key; };
            Runner(plan, *this, recorder).Run(run);
            if (!store->FinishRun(run, &error)) {
                End(run, TProductionFrm::tr("记录无法写入: %1").arg(error));
                return;
            }
            End(run, recorder.error());
        }));
        thread_->start();
    }

private:
    void End(const RunRecord& run, const QString& error) {
        // The unit's line was opened on this thread and is closed on it.
        unit_.reset();
        QMetaObject::invokeMethod(
            &window_, [w = &window_, i = index_, run, error] { w->SlotEnded(i, run, error); });
    }

    TProductionFrm& window_;
    int index_;
    std::unique_ptr<UnitAccess> unit_;
    std::unique_ptr<QThread> thread_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::optional<PromptAnswer> answer_;
    QString promptKey_;  // the key of the step under way, on the slot's thread
};

TProductionFrm::TProductionFrm(QString settingsPath, QString recordsFile, QWidget* parent)
    : QDialog(parent),
      settingsPath_(std::move(settingsPath)),
      recordsFile_(recordsFile.isEmpty() ? RecordStore::DefaultFile() : std::move(recordsFile)) {
    setObjectName(QStringLiteral("ProductionFrm"));
    setWindowTitle(tr("生产测试"));
    setFont(WindowFont());
    resize(1180, 760);

    PlanEdit = new QLineEdit(this);
    PlanEdit->setReadOnly(true);
    BrowseButton = new QPushButton(tr("选择方案..."), this);
    BenchEdit = new QLineEdit(this);
    OperatorEdit = new QLineEdit(this);
    SlotCount = new QSpinBox(this);
    SlotCount->setRange(1, kMaxSlots);
    SerialEdit = new QLineEdit(this);
    SerialEdit->setFont(SongFont(28));
    SerialEdit->setPlaceholderText(tr("扫描产品序列号, 回车开始"));
    MessageLabel = new QLabel(this);
    MessageLabel->setWordWrap(true);
    PromptLabel = new QLabel(this);
    PromptLabel->setFont(KaiFont(24));
    PromptLabel->setWordWrap(true);
    PromptLabel->setStyleSheet(QStringLiteral("background: #fff3a0; padding: 6px;"));
    ConfirmButton = new QPushButton(tr("确认"), this);
    ConfirmButton->setFont(KaiFont(24));
    DayLabel = new QLabel(this);
    DayLabel->setFont(SongFont(20));
    QueueLabel = new QLabel(this);
    QueueLabel->setWordWrap(true);
    QueueLabel->hide();
    LastUnits = new QListWidget(this);
    PdfButton = new QPushButton(tr("证书 PDF..."), this);
    StatsButton = new QPushButton(tr("统计..."), this);

    auto* layout = new QGridLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("测试方案"), this));
    top->addWidget(PlanEdit, 1);
    top->addWidget(BrowseButton);
    top->addWidget(new QLabel(tr("测试台"), this));
    top->addWidget(BenchEdit);
    top->addWidget(new QLabel(tr("操作员"), this));
    top->addWidget(OperatorEdit);
    layout->addLayout(top, 0, 0, 1, 2);
    auto* ports = new QHBoxLayout;
    ports->addWidget(new QLabel(tr("工位数"), this));
    ports->addWidget(SlotCount);
    QStringList names;
    for (int port = 1; port <= kPortCount; ++port) {
        names << QStringLiteral("COM%1").arg(port);
    }
    for (int i = 0; i < kMaxSlots; ++i) {
        // A COM number, or a device or network line typed in.
        auto* box = new QComboBox(this);
        box->addItems(names);
        box->setEditable(true);
        box->setCurrentIndex(i);
        SlotPorts.push_back(box);
        ports->addWidget(new QLabel(tr("工位%1").arg(i + 1), this));
        ports->addWidget(box);
    }
    ports->addStretch(1);
    layout->addLayout(ports, 1, 0, 1, 2);
    auto* serial = new QHBoxLayout;
    serial->addWidget(new QLabel(tr("序列号"), this));
    serial->addWidget(SerialEdit, 1);
    layout->addLayout(serial, 2, 0, 1, 2);
    layout->addWidget(MessageLabel, 3, 0, 1, 2);
    auto* prompt = new QHBoxLayout;
    prompt->addWidget(PromptLabel, 1);
    prompt->addWidget(ConfirmButton);
    layout->addLayout(prompt, 4, 0, 1, 2);

    auto* slotsRow = new QHBoxLayout;
    for (int i = 0; i < kMaxSlots; ++i) {
        auto* group = new QGroupBox(tr("工位%1").arg(i + 1), this);
        auto* column = new QVBoxLayout(group);
        auto* table = new QTableWidget(0, 4, group);
        table->setHorizontalHeaderLabels({tr("步骤"), tr("测量值"), tr("限值"), tr("判定")});
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        table->verticalHeader()->hide();
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setFocusPolicy(Qt::NoFocus);
        auto* result = new QLabel(group);
        result->setFont(KaiFont(56));
        result->setAlignment(Qt::AlignCenter);
        result->setWordWrap(true);
        result->setMinimumHeight(150);
        column->addWidget(table, 1);
        column->addWidget(result);
        StepTables.push_back(table);
        ResultLabels.push_back(result);
        slotsRow->addWidget(group, 1);
    }
    layout->addLayout(slotsRow, 5, 0);
    auto* side = new QVBoxLayout;
    side->addWidget(DayLabel);
    side->addWidget(QueueLabel);
    side->addWidget(new QLabel(tr("最近产品"), this));
    LastUnits->setMinimumWidth(300);
    side->addWidget(LastUnits, 1);
    side->addWidget(PdfButton);
    side->addWidget(StatsButton);
    layout->addLayout(side, 5, 1);
    layout->setColumnStretch(0, 4);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(5, 1);

    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    BenchEdit->setText(
        settings.value(QStringLiteral("Bench"), QSysInfo::machineHostName()).toString());
    OperatorEdit->setText(settings.value(QStringLiteral("Operator")).toString());
    SlotCount->setValue(settings.value(QStringLiteral("Slots"), 1).toInt());
    for (int i = 0; i < kMaxSlots; ++i) {
        // Kept as the port's name; older settings kept the COM number's index.
        const QString kept = settings.value(QStringLiteral("Slot%1").arg(i + 1)).toString();
        bool isIndex = false;
        const int index = kept.toInt(&isIndex);
        SlotPorts[static_cast<std::size_t>(i)]->setCurrentText(kept.isEmpty() ? names[i]
                                                               : isIndex
                                                                   ? names.value(index, names[i])
                                                                   : kept);
    }
    const QString plan = settings.value(QStringLiteral("Plan")).toString();
    sharedRecords = ConfiguredSharedAddress();

    openUnit = [this](const QString& port, QString*) {
        LineOptions line;
        auto unit = std::make_unique<LineUnit>(line, ResolvePort(port, deviceLookup),
                                               FirstContact(*plan_, kFactoryStation, kFactoryBaud),
                                               kResetPauseMs);
        unit->stopped = [this] { return stop_.load(); };
        return std::unique_ptr<UnitAccess>(std::move(unit));
    };
    ask = [](QWidget* owner, const QString& text) {
        return QMessageBox::question(owner, tr("生产测试"), text) == QMessageBox::Yes;
    };
    choosePdf = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, tr("保存证书"), suggested,
                                            tr("PDF 文件 (*.pdf)"));
    };
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, tr("选择测试方案"), PlanEdit->text(), tr("测试方案 (*.toml)"));
        if (!file.isEmpty()) {
            LoadPlan(file);
        }
    });
    connect(SerialEdit, &QLineEdit::returnPressed, this, &TProductionFrm::SerialEntered);
    connect(ConfirmButton, &QPushButton::clicked, this, &TProductionFrm::Confirm);
    connect(SlotCount, &QSpinBox::valueChanged, this, &TProductionFrm::ShowSlots);
    connect(PdfButton, &QPushButton::clicked, this, &TProductionFrm::WritePdf);
    connect(StatsButton, &QPushButton::clicked, this, [this] {
        Stats()->Reload();
        Stats()->show();
        Stats()->raise();
    });
    connect(LastUnits, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowRun(item->data(Qt::UserRole).toString()); });
    // The scanner's Enter must reach the serial-number field: the other controls do not keep
    // the focus. The field keeps it during a run too, so that a scan then (its Enter, a space
    // in a serial number) can neither confirm a prompt nor type elsewhere: it is refused.
    for (QWidget* w : std::initializer_list<QWidget*>{BrowseButton, PdfButton, StatsButton,
                                                      LastUnits, SlotCount, ConfirmButton}) {
        w->setFocusPolicy(Qt::NoFocus);
    }
    ConfirmButton->setAutoDefault(false);
    PromptLabel->hide();
    ConfirmButton->hide();
    ShowSlots();
    if (!plan.isEmpty()) {
        LoadPlan(plan);
    }
}

TProductionFrm::~TProductionFrm() {
    stop_ = true;
    // Each slot ends its step under way and waits for its thread.
    running_.clear();
    if (syncing_) {
        syncing_->wait();
    }
}

TLineStatsFrm* TProductionFrm::Stats() {
    if (!stats_) {
        stats_ = new TLineStatsFrm(recordsFile_, this);
    }
    stats_->SetSharedAddress(sharedRecords);
    return stats_;
}

void TProductionFrm::SyncShared() {
    if (sharedRecords.isEmpty() || (syncing_ && syncing_->isRunning())) {
        return;
    }
    syncing_.reset(QThread::create([this, file = recordsFile_, address = sharedRecords] {
        const SyncOutcome outcome = SyncQueuedRuns(file, address);
        QMetaObject::invokeMethod(this, [this, outcome] {
            QueueLabel->setText(outcome.error.isEmpty()
                                    ? tr("共享记录: 已全部上传")
                                    : tr("共享记录不可用, %1 次测试在队列中等待\n%2")
                                          .arg(outcome.queued)
                                          .arg(outcome.error.section(QLatin1Char('\n'), 0, 0)));
            ShowFault(*QueueLabel, !outcome.error.isEmpty());
            QueueLabel->show();
            emit QueueShown();
        });
    }));
    syncing_->start();
}

bool TProductionFrm::Running() const {
    return !running_.empty();
}

std::unique_ptr<RecordStore> TProductionFrm::OpenRecords(QString* error) const {
    return RecordStore::OpenLocal(recordsFile_, error);
}

bool TProductionFrm::LoadPlan(const QString& path) {
    PlanError error;
    auto plan = ReadPlanFile(path, &error);
    if (!plan) {
        plan_.reset();
        PlanEdit->clear();
        ShowMessage(tr("测试方案不能使用:\n%1").arg(error.Text(path)), true);
        return false;
    }
    plan_ = std::make_unique<Plan>(std::move(*plan));
    PlanEdit->setText(path);
    ShowMessage(tr("测试方案: %1 (版本 %2), %3 步")
                    .arg(plan_->name, plan_->revision)
                    .arg(plan_->steps.size()),
                false);
    SaveSettings();
    return true;
}

void TProductionFrm::SaveSettings() const {
    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("Plan"), PlanEdit->text());
    settings.setValue(QStringLiteral("Bench"), BenchEdit->text());
    settings.setValue(QStringLiteral("Operator"), OperatorEdit->text());
    settings.setValue(QStringLiteral("Slots"), SlotCount->value());
    for (int i = 0; i < kMaxSlots; ++i) {
        settings.setValue(QStringLiteral("Slot%1").arg(i + 1),
                          SlotPorts[static_cast<std::size_t>(i)]->currentText().trimmed());
    }
}

void TProductionFrm::ShowMessage(const QString& text, bool fault) {
    MessageLabel->setText(text);
    ShowFault(*MessageLabel, fault);
}

void TProductionFrm::ShowFault(QLabel& label, bool fault) const {
    // By palette: a style sheet taken off again would leave the label in the application's
    // font rather than the window's.
    QPalette colours = label.palette();
    colours.setColor(QPalette::WindowText,
                     fault ? QColor(0xc0, 0, 0) : palette().color(QPalette::WindowText));
    label.setPalette(colours);
}

void TProductionFrm::ShowSlots() {
    for (int i = 0; i < kMaxSlots; ++i) {
        const bool used = i < SlotCount->value();
        StepTables[static_cast<std::size_t>(i)]->parentWidget()->setVisible(used);
        SlotPorts[static_cast<std::size_t>(i)]->setEnabled(used);
    }
    serials_.clear();
}

void TProductionFrm::SerialEntered() {
    const QString serial = SerialEdit->text();
    SerialEdit->clear();
    if (Running()) {
        if (!serial.isEmpty()) {
            ShowMessage(tr("测试进行中, 序列号 %1 未被接受; 请在测试结束后重新扫描").arg(serial),
                        true);
        }
        return;
    }
    if (!plan_) {
        ShowMessage(tr("请先选择测试方案"), true);
        return;
    }
    if (const QString why = SerialNumberProblem(serial); !why.isEmpty()) {
        ShowMessage(tr("序列号不能使用: %1").arg(why), true);
        return;
    }
    serials_ << serial;
    if (serials_.size() < SlotCount->value()) {
        ShowMessage(tr("工位%1: %2; 请扫描工位%3的序列号")
                        .arg(serials_.size())
                        .arg(serial)
                        .arg(serials_.size() + 1),
                    false);
        return;
    }
    StartRun();
}

bool TProductionFrm::SamePort(const QString& a, const QString& b) const {
    return a.compare(b, Qt::CaseInsensitive) == 0 ||
           ResolvePort(a, deviceLookup).device == ResolvePort(b, deviceLookup).device;
}

void TProductionFrm::StartRun() {
    SaveSettings();
    QString error;
    // The records must take the run before any unit is touched.
    if (!OpenRecords(&error)) {
        serials_.clear();
        ShowMessage(tr("记录无法写入: %1").arg(error), true);
        return;
    }
    const QStringList serials = std::exchange(serials_, {});
    QStringList ports;
    for (int i = 0; i < serials.size(); ++i) {
        ports << SlotPorts[static_cast<std::size_t>(i)]->currentText().trimmed();
        for (int j = 0; j < i; ++j) {
            if (SamePort(ports[i], ports[j])) {
                ShowMessage(
                    tr("工位%1 和工位%2 使用同一端口 %3").arg(j + 1).arg(i + 1).arg(ports[i]),
                    true);
                return;
            }
        }
    }
    // A slot on the main window's port takes it for the run when the operator agrees.
    const QString held = mainLine ? mainLine->HeldPort() : QString();
    int heldSlot = -1;
    for (int i = 0; i < ports.size() && !held.isEmpty(); ++i) {
        if (SamePort(ports[i], held)) {
            heldSlot = i;
        }
    }
    if (heldSlot >= 0 &&
        ask(this,
            tr("工位%1 使用主窗口的端口 %2，暂停主窗口的连接吗？").arg(heldSlot + 1).arg(held))) {
        mainLine->ReleasePort();
        released_ = true;
    }
    stop_ = false;
    ended_ = 0;
    waiting_.clear();
    for (int i = 0; i < serials.size(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        StepTables[k]->setRowCount(0);
        ResultLabels[k]->setText(tr("测试中"));
        ResultLabels[k]->setStyleSheet(QStringLiteral("color: #404040;"));
        auto run = NewRun(*plan_, &error);
        std::unique_ptr<UnitAccess> unit;
        if (i == heldSlot && !released_) {
            error = tr("%1 由主窗口使用").arg(ports[i]);
        } else if (run && openUnit) {
            unit = openUnit(ports[i], &error);
        }
        if (!unit) {
            ResultLabels[k]->setText(tr("错误") + QLatin1Char('\n') + error);
            ResultLabels[k]->setStyleSheet(QStringLiteral("color: #c85a00;"));
            continue;
        }
        run->serial = serials[i];
        run->bench = BenchEdit->text();
        run->operatorName = OperatorEdit->text();
        run->port = ports[i];
        run->programVersion = QCoreApplication::applicationVersion();
        running_.push_back(std::make_unique<StationSlot>(*this, i, std::move(unit)));
        running_.back()->Start(*plan_, std::move(*run), recordsFile_);
    }
    BrowseButton->setEnabled(running_.empty());
    ShowMessage(running_.empty() ? tr("没有工位能开始测试") : tr("测试中..."), running_.empty());
    if (running_.empty()) {
        GiveBackPort();
    }
}

void TProductionFrm::GiveBackPort() {
    if (std::exchange(released_, false)) {
        mainLine->RetakePort();
    }
}

void TProductionFrm::StepShown(int slot, const StepRecord& step) {
    QTableWidget* table = StepTables[static_cast<std::size_t>(slot)];
    const int row = table->rowCount();
    table->insertRow(row);
    QString value;
    QString limits;
    if (const auto& m = step.measurement) {
        value = m->samples.empty() ? QString() : Number(m->mean) + QLatin1Char(' ') + m->unit;
        limits = QStringLiteral("%1 … %2").arg(Number(m->limits.low), Number(m->limits.high));
    } else if (step.verdict != Verdict::Skipped) {
        value = step.message;
    }
    const QString texts[] = {step.name.isEmpty() ? step.kind : step.name, value, limits,
                             QLatin1String(VerdictName(step.verdict))};
    for (int c = 0; c < 4; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        if (c == 3) {
            item->setForeground(VerdictColour(step.verdict));
        }
        table->setItem(row, c, item);
    }
    table->scrollToBottom();
}

void TProductionFrm::PromptAsked(int slot, const QString& text, const QString& key) {
    waiting_.insert(slot);
    PromptLabel->setText(text);
    promptKey_ = PromptKeyCode(key).value_or(0);
    ConfirmButton->setText(key.isEmpty() ? tr("确认") : tr("确认 (%1)").arg(key));
    ShowPromptWhenAllWait();
}

void TProductionFrm::ShowPromptWhenAllWait() {
    // One confirmation serves every slot, so the prompt shows once every slot still running
    // has come to it; a slot that ends meanwhile is not waited for.
    const bool all = !waiting_.empty() && static_cast<int>(waiting_.size()) ==
                                              static_cast<int>(running_.size()) - ended_;
    PromptLabel->setVisible(all);
    ConfirmButton->setVisible(all);
}

void TProductionFrm::keyPressEvent(QKeyEvent* event) {
    // The foot switch's key reaches here from whichever control has the focus.
    if (promptKey_ != 0 && event->key() == promptKey_ && ConfirmButton->isVisible()) {
        Confirm();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TProductionFrm::Confirm() {
    PromptLabel->hide();
    ConfirmButton->hide();
    for (auto& slot : running_) {
        if (waiting_.count(slot->index()) != 0) {
            slot->Answer(PromptAnswer::Confirmed);
        }
    }
    waiting_.clear();
}

void TProductionFrm::SlotEnded(int slot, const RunRecord& run, const QString& error) {
    const auto [text, colour] = ResultText(run, error);
    QLabel* result = ResultLabels[static_cast<std::size_t>(slot)];
    result->setText(text);
    result->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    if (++ended_ < static_cast<int>(running_.size())) {
        ShowPromptWhenAllWait();
        return;
    }
    waiting_.clear();
    running_.clear();
    GiveBackPort();
    PromptLabel->hide();
    ConfirmButton->hide();
    BrowseButton->setEnabled(true);
    SerialEdit->setFocus();
    ShowMessage(tr("请扫描下一件产品的序列号"), false);
    ShowDay();
    SyncShared();
    emit RunEnded();
}

void TProductionFrm::ShowDay() {
    QString error;
    auto store = OpenRecords(&error);
    RunFilter today;
    today.since = QDate::currentDate().toString(Qt::ISODate);
    const auto runs = store ? store->List(today, &error) : std::nullopt;
    if (!runs) {
        DayLabel->setText(tr("记录无法读取: %1").arg(error));
        return;
    }
    const DayCounts day = CountDay(*runs);
    DayLabel->setText(tr("今日 %1 件\n合格 %2  不合格 %3\n直通率 %4%")
                          .arg(day.units)
                          .arg(day.passed)
                          .arg(day.failed)
                          .arg(day.FirstPassYield(), 0, 'f', 1));
    LastUnits->clear();
    for (std::size_t i = 0; i < runs->size() && i < kLastUnits; ++i) {
        const RunRecord& r = (*runs)[i];
        auto* item = new QListWidgetItem(
            QStringLiteral("%1  %2  %3")
                .arg(r.started.toLocalTime().toString(QStringLiteral("HH:mm")), r.serial,
                     ResultText(r, {}).first.section(QLatin1Char('\n'), 0, 0)));
        item->setForeground(Passed(r.result) ? VerdictColour(Verdict::Pass)
                                             : VerdictColour(Verdict::Fail));
        item->setData(Qt::UserRole, r.uuid);
        LastUnits->addItem(item);
    }
    if (LastUnits->count() > 0) {
        LastUnits->setCurrentRow(0);
    }
}

void TProductionFrm::ShowRun(const QString& uuid) {
    if (Running()) {
        return;  // the slots' tables are the run's
    }
    QString error;
    auto store = OpenRecords(&error);
    const auto run = store ? store->Load(uuid, &error) : std::nullopt;
    if (!run) {
        ShowMessage(tr("记录无法读取: %1").arg(error), true);
        return;
    }
    for (auto* table : StepTables) {
        table->setRowCount(0);
    }
    for (const StepRecord& step : run->steps) {
        StepShown(0, step);
    }
    const auto [text, colour] = ResultText(*run, {});
    ResultLabels[0]->setText(text);
    ResultLabels[0]->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    ShowMessage(tr("%1 的记录 (%2)")
                    .arg(run->serial, run->started.toLocalTime().toString(
                                          QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                false);
}

void TProductionFrm::WritePdf() {
    QListWidgetItem* item = LastUnits->currentItem();
    if (!item) {
        ShowMessage(tr("请先在最近产品中选一件"), true);
        return;
    }
    QString error;
    auto store = OpenRecords(&error);
    const auto run =
        store ? store->Load(item->data(Qt::UserRole).toString(), &error) : std::nullopt;
    if (!run) {
        ShowMessage(tr("记录无法读取: %1").arg(error), true);
        return;
    }
    const QString file = choosePdf(this, run->serial + QStringLiteral(".pdf"));
    if (file.isEmpty()) {
        return;
    }
    if (!WriteCertificatePdf(*run, file, &error)) {
        ShowMessage(tr("证书无法写入: %1").arg(error), true);
        return;
    }
    ShowMessage(tr("证书已写入 %1").arg(file), false);
}

void TProductionFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowDay();
    SyncShared();
    SerialEdit->setFocus();
}

void TProductionFrm::closeEvent(QCloseEvent* event) {
    if (Running()) {
        if (!ask(this, tr("测试正在进行。中止测试并关闭窗口?"))) {
            event->ignore();
            return;
        }
        // The runs end as ABORTED at their next step or sample. The window closes now; each
        // slot's end still comes here, and the last gives the main window its port back.
        stop_ = true;
        for (auto& slot : running_) {
            slot->Answer(PromptAnswer::Gone);
        }
    }
    SaveSettings();
    QDialog::closeEvent(event);
}
