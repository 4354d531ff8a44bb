#include "TTrafficMonitor.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "AppStyle.h"
#include "CounterText.h"
#include "LineRecorder.h"
#include "Prompter.h"
#include "TrafficRowDelegate.h"
#include "TrafficTableModel.h"
#include "TrafficTableView.h"

namespace {

constexpr int kRowHeight = 20;

}  // namespace

TTrafficMonitor::TTrafficMonitor(const TrafficRing& ring, ModbusRecorder& recorder,
                                 Prompter& prompter, std::function<std::uint32_t()> now,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window),
      ring_(ring),
      recorder_(recorder),
      prompter_(prompter),
      model_(new TrafficTableModel(ring, std::move(now), this)) {
    setObjectName(QStringLiteral("TTrafficMonitor"));
    setWindowTitle(tr("通信监视 - VR7C-20NP"));
    setFont(SongFont(16));
    resize(940, 520);

    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->addTab(BuildTrafficPage(), tr("报文"));
    Pages->addTab(BuildCountersPage(), tr("计数"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Pages);

    follow_.setInterval(kFollowIntervalMs);
    connect(&follow_, &QTimer::timeout, this, &TTrafficMonitor::Refresh);
    connect(Pages, &QTabWidget::currentChanged, this, &TTrafficMonitor::Refresh);
}

TTrafficMonitor::~TTrafficMonitor() = default;

QWidget* TTrafficMonitor::BuildTrafficPage() {
    auto* page = new QWidget;
    ErrorsOnly = new QCheckBox(tr("只显示错误"), page);
    ErrorsOnly->setObjectName(QStringLiteral("ErrorsOnly"));
    Pause = new QPushButton(tr("暂停"), page);
    Pause->setObjectName(QStringLiteral("Pause"));
    Pause->setCheckable(true);
    Save = new QPushButton(tr("保存为文本..."), page);
    Save->setObjectName(QStringLiteral("Save"));
    Held = new QLabel(page);
    Held->setObjectName(QStringLiteral("Held"));

    Table = new TrafficTableView(page);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(model_);
    Table->setFont(SongFont(14));
    Table->setItemDelegate(new TrafficRowDelegate(Table));
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setWordWrap(false);
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    QHeaderView* header = Table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    const int widths[] = {100, 44, 44, 330, 270, 100};
    for (int column = 0; column < TrafficTableModel::kColumnCount; ++column) {
        header->resizeSection(column, widths[column]);
    }
    header->setStretchLastSection(true);

    auto* bar = new QHBoxLayout;
    bar->addWidget(ErrorsOnly);
    bar->addWidget(Pause);
    bar->addWidget(Save);
    bar->addStretch(1);
    bar->addWidget(Held);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(bar);
    layout->addWidget(Table);

    connect(ErrorsOnly, &QCheckBox::toggled, this, [this](bool on) {
        model_->SetErrorsOnly(on);
        Table->scrollToBottom();
    });
    connect(Pause, &QPushButton::toggled, this, [this](bool paused) {
        Pause->setText(paused ? tr("继续") : tr("暂停"));
        Refresh();
    });
    connect(Save, &QPushButton::clicked, this, &TTrafficMonitor::SaveClick);
    return page;
}

QWidget* TTrafficMonitor::BuildCountersPage() {
    Counters = new QWidget;
    Counters->setObjectName(QStringLiteral("Counters"));
    auto* grid = new QGridLayout(Counters);
    const std::vector<CounterRow> rows = CounterRows(LineCounters{}, 0.0, 0.0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(rows[i].name, Counters), row, 0);
        auto* value = new QLabel(Counters);
        value->setObjectName(QStringLiteral("Counter%1").arg(row));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(value, row, 1);
        counterValues_.push_back(value);
    }
    ResetCounters = new QPushButton(tr("清零"), Counters);
    ResetCounters->setObjectName(QStringLiteral("ResetCounters"));
    grid->addWidget(ResetCounters, static_cast<int>(rows.size()), 0, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(static_cast<int>(rows.size()) + 1, 1);
    connect(ResetCounters, &QPushButton::clicked, this, [this] {
        recorder_.Reset();
        ShowCounters();
    });
    return Counters;
}

void TTrafficMonitor::ShowPage(Page page) {
    Pages->setCurrentIndex(page);
    show();
    raise();
    activateWindow();
}

void TTrafficMonitor::Refresh() {
    if (Pages->currentIndex() == kCountersPage) {
        ShowCounters();
        return;
    }
    if (Pause->isChecked()) {
        return;
    }
    if (model_->Follow()) {
        Table->scrollToBottom();
    }
    const QString held = tr("显示 %1 帧，记录最多 %2 帧（%3 MB）")
                             .arg(model_->rowCount())
                             .arg(ring_.Capacity())
                             .arg(static_cast<double>(ring_.MemoryBytes()) / 1e6, 0, 'f', 1);
    if (held != Held->text()) {
        Held->setText(held);
    }
}

void TTrafficMonitor::ShowCounters() {
    const std::vector<CounterRow> rows =
        CounterRows(recorder_.Counters(), recorder_.PollsPerSecond(), recorder_.PollLimit());
    for (std::size_t i = 0; i < rows.size() && i < counterValues_.size(); ++i) {
        if (counterValues_[i]->text() != rows[i].value) {
            counterValues_[i]->setText(rows[i].value);
        }
    }
}

bool TTrafficMonitor::SaveText(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    const QByteArray text = model_->Text().toUtf8();
    return file.write(text) == text.size() && file.flush();
}

void TTrafficMonitor::SaveClick() {
    const QString suggested =
        tr("报文-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("保存报文"), suggested, tr("文本文件 (*.txt)"));
    if (path.isEmpty()) {
        return;
    }
    if (!SaveText(path)) {
        prompter_.ShowMessage(this, MessageIcon::Information, QStringLiteral("VR7C-20NP"),
                              tr("保存失败 ！"));
    }
}

void TTrafficMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    follow_.start();
}

void TTrafficMonitor::hideEvent(QHideEvent* event) {
    follow_.stop();
    QWidget::hideEvent(event);
}
