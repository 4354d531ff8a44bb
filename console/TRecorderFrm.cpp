#include "TRecorderFrm.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

#include "AppStyle.h"
#include "CsvRecord.h"
#include "FormatFixed.h"
#include "LiveGrid.h"
#include "Prompter.h"
#include "RegisterMap.h"
#include "RegisterNumbers.h"

namespace {

const QString kCaption = QStringLiteral("VR7C-20NP");
const QString kGroup = QStringLiteral("Recording");
const QString kFolderKey = QStringLiteral("Folder");
const QString kRawKey = QStringLiteral("RawRegisters");

// Mode 0, 1 and 2 or above label the values differently; a recording keeps one header.
int HeaderMode(std::uint16_t mode) {
    return std::min<int>(mode, Reg::kModeLoadCell);
}

}  // namespace

RecordRow CurrentRecordRow(const RegisterImageWords& image, std::uint32_t goodPolls) {
    RecordRow row;
    row.time = QDateTime::currentDateTime();
    row.goodPolls = goodPolls;
    for (int channel = 0; channel < Reg::kChannelCount; ++channel) {
        const int col = channel + 1;
        ChannelRecord& record = row.channels[static_cast<std::size_t>(channel)];
        record.acquired = LiveGrid::CellAt(image, col, 1).text;
        record.measured = LiveGrid::CellAt(image, col, 2).text;
        record.setPoint = LiveGrid::CellAt(image, col, 3).text;
        const LiveGrid::Cell output = LiveGrid::CellAt(image, col, 4);
        record.output = output.percent.chopped(1);
        record.on = output.text == QLatin1String("ON");
    }
    row.coldJunction = FormatFixed(image[Reg::kColdJunction], 2);
    return row;
}

TRecorderFrm::TRecorderFrm(Prompter& prompter, QString settingsPath,
                           const RegisterImageWords& image, QWidget* parent)
    : QDialog(parent),
      prompter_(prompter),
      settingsPath_(std::move(settingsPath)),
      image_(image),
      writer_(this, [this](const QString& message) { WriterFailed(message); }) {
    setObjectName(QStringLiteral("TRecorderFrm"));
    setWindowTitle(tr("数据记录"));
    setFont(SongFont(16));

    FolderEdit = new QLineEdit(this);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->setReadOnly(true);
    FolderEdit->setMinimumWidth(360);
    BrowseButton = new QPushButton(tr("选择…"), this);
    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    RawCheck = new QCheckBox(tr("同时记录全部原始寄存器 (4x0000..4x0099)"), this);
    RawCheck->setObjectName(QStringLiteral("RawCheck"));
    StartButton = new QPushButton(tr("开始记录"), this);
    StartButton->setObjectName(QStringLiteral("StartButton"));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("记录文件夹:"), this), 0, 0);
    layout->addWidget(FolderEdit, 0, 1);
    layout->addWidget(BrowseButton, 0, 2);
    layout->addWidget(RawCheck, 1, 0, 1, 3);
    layout->addWidget(StartButton, 2, 0);
    layout->addWidget(StatusLabel, 2, 1, 1, 2);

    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    SetFolder(settings.value(kFolderKey, DefaultFolder()).toString());
    RawCheck->setChecked(settings.value(kRawKey, false).toBool());

    chooseFolder = [](QWidget* owner, const QString& current) {
        return QFileDialog::getExistingDirectory(owner, tr("选择记录文件夹"), current);
    };
    connect(StartButton, &QPushButton::clicked, this, &TRecorderFrm::StartButtonClick);
    connect(BrowseButton, &QPushButton::clicked, this, &TRecorderFrm::BrowseButtonClick);
    ShowStatus();
}

TRecorderFrm::~TRecorderFrm() {
    writer_.Stop();
}

QString TRecorderFrm::DefaultFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(tr("VR7C-20NP 记录"));
}

QString TRecorderFrm::Folder() const {
    return FolderEdit->text();
}

void TRecorderFrm::SetFolder(const QString& folder) {
    FolderEdit->setText(QDir::toNativeSeparators(folder));
}

void TRecorderFrm::SaveSettings() const {
    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    settings.setValue(kFolderKey, QDir::fromNativeSeparators(Folder()));
    settings.setValue(kRawKey, RawCheck->isChecked());
}

QString TRecorderFrm::UnusedFilePath(const QDateTime& start) const {
    const QDir folder(Folder());
    const QString name = RecordFileName(start);
    QString path = folder.filePath(name);
    // Two recordings started within one second get their own files.
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = folder.filePath(name.chopped(4) + QStringLiteral("_%1.csv").arg(n));
    }
    return path;
}

bool TRecorderFrm::StartRecording() {
    if (!QDir().mkpath(Folder())) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption,
                              tr("无法创建记录文件夹 ！\n%1").arg(Folder()));
        return false;
    }
    raw_ = RawCheck->isChecked();
    headerMode_ = HeaderMode(image_[Reg::kConversionMode]);
    QString error;
    if (!writer_.Start(UnusedFilePath(QDateTime::currentDateTime()),
                       Utf8Bom() + CsvHeader(static_cast<std::uint16_t>(headerMode_), raw_),
                       &error)) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption, error);
        return false;
    }
    SaveSettings();
    ShowStatus();
    return true;
}

void TRecorderFrm::StopRecording() {
    writer_.Stop();
    ShowStatus();
}

void TRecorderFrm::TakeGoodReply(std::uint32_t goodPolls) {
    if (!writer_.Running()) {
        return;
    }
    // A file keeps the header it was started with: a change of the conversion mode, which
    // changes what the values are, starts a new file.
    if (HeaderMode(image_[Reg::kConversionMode]) != headerMode_) {
        writer_.Stop();
        if (!StartRecording()) {
            return;
        }
    }
    writer_.Append(CsvRow(CurrentRecordRow(image_, goodPolls), raw_ ? image_.data() : nullptr));
    if (isVisible()) {
        ShowStatus();
    }
}

void TRecorderFrm::StartButtonClick() {
    if (writer_.Running()) {
        StopRecording();
    } else {
        StartRecording();
    }
}

void TRecorderFrm::BrowseButtonClick() {
    const QString chosen = chooseFolder(this, Folder());
    if (!chosen.isEmpty()) {
        SetFolder(chosen);
        SaveSettings();
    }
}

void TRecorderFrm::WriterFailed(const QString& message) {
    writer_.Stop();
    ShowStatus();
    prompter_.ShowMessage(this, MessageIcon::Information, kCaption, message);
}

void TRecorderFrm::showEvent(QShowEvent* event) {
    ShowStatus();
    QDialog::showEvent(event);
}

void TRecorderFrm::ShowStatus() {
    const bool running = writer_.Running();
    StartButton->setText(running ? tr("停止记录") : tr("开始记录"));
    FolderEdit->setEnabled(!running);
    BrowseButton->setEnabled(!running);
    RawCheck->setEnabled(!running);
    StatusLabel->setText(running ? tr("正在记录: %1\n已记录 %2 行")
                                       .arg(QFileInfo(writer_.Path()).fileName())
                                       .arg(writer_.RowsQueued())
                                 : tr("未在记录"));
}
