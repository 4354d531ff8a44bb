#include "MonitorD.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "AppStyle.h"
#include "Prompter.h"

namespace {

const QString kCaption = QStringLiteral("VR7C-20NP");
// A register holds 16 bits: a value is written as typed when unsigned, as its two's
// complement when negative; anything beyond would reach the module as another value.
constexpr std::int32_t kLowestValue = -32768;
constexpr std::int32_t kHighestValue = 65535;
// The operator types or pastes at most five characters into a field.
constexpr int kFieldMaxLength = 5;

QLabel* BlueLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    return label;
}

QLineEdit* NumberField(const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setMaxLength(kFieldMaxLength);
    // A longer text put there by the program (see SetFieldText) holds until the operator's
    // first edit, which brings the limit back and cuts an overlong edit as typing would.
    QObject::connect(field, &QLineEdit::textEdited, field, [field] {
        if (field->maxLength() != kFieldMaxLength) {
            const int cursor = field->cursorPosition();
            field->setMaxLength(kFieldMaxLength);
            field->setCursorPosition(std::min(cursor, kFieldMaxLength));
        }
    });
    field->setFont(SongFont(19));
    // Typed text goes through the key filter only, so no input method may bypass it.
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    return field;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

void SetFieldText(QLineEdit& field, const QString& text) {
    field.setMaxLength(std::max(kFieldMaxLength, static_cast<int>(text.size())));
    field.setText(text);
}

bool KeyPassesFilter(int key, const QString& text) {
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Backspace ||
        key == Qt::Key_Delete || text.isEmpty()) {
        return true;
    }
    const QChar typed = text.front();
    return (typed >= QLatin1Char('0') && typed <= QLatin1Char('9')) || typed == QLatin1Char('-');
}

TMonitorDf::TMonitorDf(RegisterWriteHost& host, Prompter& prompter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      host_(host),
      prompter_(prompter) {
    setObjectName(QStringLiteral("TMonitorDf"));
    setWindowTitle(tr(" 写寄存器 "));
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox1 = new QGroupBox(tr(" 写至模块(W) 寄存器 "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(4, 2, 257, 124);
    GroupBox1->setFont(SongFont(16));
    QPalette red = GroupBox1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    GroupBox1->setPalette(red);

    CheckBox1 = new QCheckBox(tr("写入后关闭对话框"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(10, 22, 200, 22);

    Label2 = BlueLabel(tr("寄存器 W:"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 53, 80, 20);
    Edit2 = NumberField(QStringLiteral("10000"), GroupBox1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(88, 49, 76, 28);

    Label3 = BlueLabel(tr("写入数值:"), GroupBox1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(8, 89, 80, 20);
    Edit1 = NumberField(QStringLiteral("100"), GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(88, 85, 76, 28);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), tr("写入(&W)"),
                              GroupBox1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(170, 48, 80, 30);
    BitBtn3 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("关闭(&C)"),
                              GroupBox1);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(170, 84, 80, 30);
    // No button is the default one: Enter presses the button that has the focus (see
    // keyPressEvent), and writes from the value field.
    for (QPushButton* button : {BitBtn1, BitBtn3}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    setTabOrder(BitBtn1, Edit2);
    setTabOrder(Edit2, Edit1);
    setTabOrder(Edit1, BitBtn3);
    setTabOrder(BitBtn3, CheckBox1);

    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    connect(BitBtn1, &QPushButton::clicked, this, &TMonitorDf::BitBtn1Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TMonitorDf::BitBtn3Click);

    FormCreate();
}

void TMonitorDf::FormCreate() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QSize size = frameGeometry().size();
    const QRect desktop = screen->geometry();
    move((desktop.width() - size.width()) / 2, (desktop.height() - size.height()) / 2 - 50);
}

void TMonitorDf::FormShow() {
    CheckBox1->setChecked(true);
    Edit1->setFocus();
    Edit1->selectAll();
}

bool TMonitorDf::Edit1KeyPress(const QKeyEvent& event) {
    // Selecting all types nothing; it is the one control key that reaches the fields.
    return event.matches(QKeySequence::SelectAll) || KeyPassesFilter(event.key(), event.text());
}

bool TMonitorDf::Edit1KeyDown(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            BitBtn1Click();
            return true;
        case Qt::Key_Escape:
            BitBtn3Click();
            return true;
        default:
            return false;
    }
}

void TMonitorDf::BitBtn1Click() {
    if (!host_.ConnectionStarted()) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption, tr("通信端口未打开 ！"));
        return;
    }
    if (Edit1->text().isEmpty()) {
        Edit1->setText(QStringLiteral("0"));
    }
    if (Edit2->text().isEmpty()) {
        Edit2->setText(QStringLiteral("0"));
    }
    const std::optional<std::int32_t> reg = ParseInteger(Edit2->text());
    if (!reg) {
        ShowConversionError(Edit2->text());
        return;
    }
    const std::optional<std::int32_t> value = ParseInteger(Edit1->text());
    if (!value) {
        ShowConversionError(Edit1->text());
        return;
    }
    if (*value < kLowestValue || *value > kHighestValue) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption,
                              tr("写入数值超出范围（-32768 至 65535） ！"));
        return;
    }
    if (!host_.WriteWithPollingPaused(*reg, static_cast<std::uint16_t>(*value))) {
        prompter_.ShowMessage(this, MessageIcon::Information, kCaption, tr("通信失败 ！"));
    }
    if (CheckBox1->isChecked()) {
        BitBtn3Click();
    }
}

void TMonitorDf::BitBtn3Click() {
    reject();
}

bool TMonitorDf::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || (watched != Edit1 && watched != Edit2)) {
        return QDialog::eventFilter(watched, event);
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (watched == Edit1 && Edit1KeyDown(key)) {
        return true;
    }
    return !Edit1KeyPress(key);
}

void TMonitorDf::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            // Only the value field closes the dialog on Esc.
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                button->click();
                return;
            }
            break;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

void TMonitorDf::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TMonitorDf::ShowConversionError(const QString& text) {
    prompter_.ShowMessage(this, MessageIcon::Error, kCaption,
                          QStringLiteral("'%1' is not a valid integer value").arg(text));
}
