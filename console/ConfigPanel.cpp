#include "ConfigPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include "DrawGrid.h"
#include "LiveGrid.h"
#include "RegisterMap.h"
#include "TSpinEdit.h"

namespace {

constexpr int kLeftLabel = 8;
constexpr int kLeftControl = 81;
constexpr int kRightLabel = 165;
constexpr int kRightControl = 246;
constexpr int kShortWidth = 66;
constexpr int kWideWidth = 137;
constexpr int kHeight = 24;
constexpr int kRows[] = {37, 64, 92, 120, 147, 175, 203, 231};

void AddLabel(const QString& text, const QString& controlName, int left, int row, QWidget& group) {
    auto* label = new QLabel(text, &group);
    label->setObjectName(QStringLiteral("Label_") + controlName);
    label->move(left, row + 3);
    label->adjustSize();
}

QComboBox* AddList(const QString& name, const QStringList& items, int index, QRect place,
                   QWidget& group) {
    auto* list = new QComboBox(&group);
    list->setObjectName(name);
    list->addItems(items);
    list->setCurrentIndex(index);
    list->setGeometry(place);
    return list;
}

TSpinEdit* AddSpin(const QString& name, int minimum, int maximum, int maxLength, int value,
                   QRect place, QWidget& group) {
    auto* spin = new TSpinEdit(minimum, maximum, maxLength, value, &group);
    spin->setObjectName(name);
    spin->setGeometry(place);
    return spin;
}

// Selects the index loaded from a register; one beyond the last item leaves the list without
// a selection.
void SelectIndex(QComboBox& list, int index) {
    list.setCurrentIndex(index < list.count() ? index : -1);
}

std::uint16_t Low16(int value) {
    return static_cast<std::uint16_t>(value);
}

}  // namespace

ConfigPanel::ConfigPanel(QWidget& group, DrawGrid& liveGrid) : liveGrid_(liveGrid) {
    const auto left = [](int row, int width) {
        return QRect(kLeftControl, kRows[row], width, kHeight);
    };
    const auto right = [](int row) {
        return QRect(kRightControl, kRows[row], kShortWidth, kHeight);
    };
    const int leftShort = kRightLabel - kLeftControl - 6;

    AddLabel(QStringLiteral("模块站号:"), QStringLiteral("SpinEdit2"), kLeftLabel, kRows[0], group);
    SpinEdit2 = AddSpin(QStringLiteral("SpinEdit2"), 1, 99, 2, 1, left(0, leftShort), group);
    AddLabel(QStringLiteral("CAN波特率:"), QStringLiteral("Baud_CAN"), kRightLabel, kRows[0],
             group);
    Baud_CAN = AddList(QStringLiteral("Baud_CAN"),
                       {QStringLiteral("10K"), QStringLiteral("20K"), QStringLiteral("50K"),
                        QStringLiteral("100K"), QStringLiteral("125K"), QStringLiteral("250K"),
                        QStringLiteral("500K"), QStringLiteral("1000K")},
                       6, right(0), group);

    AddLabel(QStringLiteral("发送抑制:"), QStringLiteral("SpinEdit3"), kLeftLabel, kRows[1], group);
    SpinEdit3 = AddSpin(QStringLiteral("SpinEdit3"), 1, 9999, 4, 100, left(1, leftShort), group);
    SpinEdit3->setToolTip(QStringLiteral("单位:ms"));
    AddLabel(QStringLiteral("485波特率:"), QStringLiteral("Baud_485"), kRightLabel, kRows[1],
             group);
    Baud_485 = AddList(QStringLiteral("Baud_485"),
                       {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                        QStringLiteral("57600")},
                       1, right(1), group);

    AddLabel(QStringLiteral("滤波等级:"), QStringLiteral("Filter_V"), kLeftLabel, kRows[2], group);
    Filter_V = AddList(QStringLiteral("Filter_V"),
                       {QStringLiteral("零级"), QStringLiteral("一级"), QStringLiteral("二级"),
                        QStringLiteral("三级"), QStringLiteral("四级"), QStringLiteral("五级"),
                        QStringLiteral("六级"), QStringLiteral("七级"), QStringLiteral("八级"),
                        QStringLiteral("九级")},
                       0, left(2, leftShort), group);
    AddLabel(QStringLiteral("485格式:"), QStringLiteral("Dat_485"), kRightLabel, kRows[2], group);
    Dat_485 = AddList(QStringLiteral("Dat_485"),
                      {QStringLiteral("8 N 1"), QStringLiteral("8 O 1"), QStringLiteral("8 E 1")},
                      2, right(2), group);

    AddLabel(QStringLiteral("通道选择:"), QStringLiteral("Ch_SUM"), kLeftLabel, kRows[3], group);
    Ch_SUM = AddList(QStringLiteral("Ch_SUM"),
                     {QStringLiteral("一个"), QStringLiteral("二个"), QStringLiteral("三个"),
                      QStringLiteral("四个"), QStringLiteral("五个"), QStringLiteral("六个")},
                     0, left(3, leftShort), group);
    Label18 = new QLabel(QStringLiteral("温度补偿:"), &group);
    Label18->setObjectName(QStringLiteral("Label18"));
    Label18->move(kRightLabel, kRows[3] + 3);
    Label18->adjustSize();
    SpinEdit5 = AddSpin(QStringLiteral("SpinEdit5"), -500, 500, 5, -15, right(3), group);
    SpinEdit5->setToolTip(QStringLiteral("单位:0.1度"));
    SpinEdit1 = AddSpin(QStringLiteral("SpinEdit1"), 1, 60000, 5, 1000, right(3), group);
    SpinEdit1->setToolTip(QStringLiteral("单位:g"));
    SpinEdit1->hide();

    AddLabel(QStringLiteral("输入量程:"), QStringLiteral("ComboBox2"), kLeftLabel, kRows[4], group);
    ComboBox2 = AddList(QStringLiteral("ComboBox2"),
                        {QStringLiteral("+/- 0~100mV"), QStringLiteral("+/- 0~25mV")}, 0,
                        left(4, kWideWidth), group);
    AddLabel(QStringLiteral("采样速率:"), QStringLiteral("ComboBox3"), kLeftLabel, kRows[5], group);
    ComboBox3 = AddList(
        QStringLiteral("ComboBox3"),
        {QStringLiteral("500Hz/4ms"), QStringLiteral("250Hz/8ms"), QStringLiteral("125Hz/16ms"),
         QStringLiteral("62.5Hz/32ms"), QStringLiteral("50Hz/40ms"), QStringLiteral("39.2Hz/48ms"),
         QStringLiteral("33.3Hz/60ms"), QStringLiteral("19.6Hz/101ms"),
         QStringLiteral("16.7Hz/120ms"), QStringLiteral("16.7Hz/120ms*"),
         QStringLiteral("12.5Hz/160ms"), QStringLiteral("10Hz/200ms"),
         QStringLiteral("8.33Hz/240ms"), QStringLiteral("6.25Hz/320ms"),
         QStringLiteral("4.17Hz/480ms")},
        9, left(5, kWideWidth), group);
    AddLabel(QStringLiteral("换算模式:"), QStringLiteral("ComboBox4"), kLeftLabel, kRows[6], group);
    ComboBox4 = AddList(
        QStringLiteral("ComboBox4"),
        {QStringLiteral("热电偶温度"), QStringLiteral("PT100温度"), QStringLiteral("称重传感器")},
        0, left(6, kWideWidth), group);
    AddLabel(QStringLiteral("热电偶类:"), QStringLiteral("ComboBox5"), kLeftLabel, kRows[7], group);
    ComboBox5 = AddList(
        QStringLiteral("ComboBox5"),
        {QStringLiteral("K(0~1370)"), QStringLiteral("J(0~760)"), QStringLiteral("E(-100~1000)"),
         QStringLiteral("T(-160~400)"), QStringLiteral("S(0~1750)"), QStringLiteral("R(0~1000) ")},
        0, left(7, kWideWidth), group);

    // The glyph stands above the caption.
    BitBtn5 = new QToolButton(&group);
    BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
    BitBtn5->setText(QStringLiteral("标定到模块"));
    BitBtn5->setIcon(BitBtn5->style()->standardIcon(QStyle::SP_DialogApplyButton));
    BitBtn5->setIconSize(QSize(20, 20));
    BitBtn5->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    BitBtn5->setGeometry(224, 196, 88, 52);
    BitBtn5->setEnabled(false);
}

void ConfigPanel::Load() {
    SelectIndex(*ComboBox2, RegisterImage[Reg::kInputRange]);
    SelectIndex(*ComboBox3, RegisterImage[Reg::kSampleRate]);
    SelectIndex(*ComboBox4, RegisterImage[Reg::kConversionMode]);
    SelectIndex(*ComboBox5, RegisterImage[Reg::kThermocoupleType]);
    SpinEdit1->setValue(RegisterImage[Reg::kLoadCellFactor]);
    SpinEdit5->setValue(static_cast<std::int16_t>(RegisterImage[Reg::kTempCompensation]));
    SpinEdit2->setValue(RegisterImage[Reg::kStationNumber]);
    SelectIndex(*Baud_CAN, RegisterImage[Reg::kCanBaud]);
    SelectIndex(*Baud_485, RegisterImage[Reg::kRs485Baud]);
    SpinEdit3->setValue(RegisterImage[Reg::kSendSuppression]);
    SelectIndex(*Filter_V, RegisterImage[Reg::kFilterAndChannels] & Reg::kFilterLevelMask);
    SelectIndex(*Ch_SUM, RegisterImage[Reg::kFilterAndChannels] >> Reg::kFilterLevelBits);
    SelectIndex(*Dat_485, RegisterImage[Reg::kFrameFormat]);
    ComboBox4Change();
}

void ConfigPanel::ComboBox4Change() {
    ComboBox4->setToolTip(QString());
    const int mode = ComboBox4->currentIndex();
    if (mode == Reg::kModeLoadCell) {
        ComboBox5->setEnabled(false);
        Label18->setText(QStringLiteral("1mV=Gram:"));
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow, QStringLiteral("采集电压(mV)"));
        liveGrid_.SetCell(0, LiveGrid::kMeasuredRow, QStringLiteral("对应重量(KG)"));
        SpinEdit1->show();
        SpinEdit5->hide();
        return;
    }
    if (mode == Reg::kModeThermocouple) {
        ComboBox5->setEnabled(true);
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow, QStringLiteral("采集电压(mV)"));
    } else {
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow, QStringLiteral("采集电阻(Ω)"));
        ComboBox5->setEnabled(false);
        ComboBox4->setToolTip(QStringLiteral("0~410℃"));
    }
    Label18->setText(QStringLiteral("温度补偿:"));
    liveGrid_.SetCell(0, LiveGrid::kMeasuredRow, QStringLiteral("对应温度(℃)"));
    SpinEdit1->hide();
    SpinEdit5->show();
}

ConfigPanel::Block ConfigPanel::Words() const {
    return {Low16(ComboBox2->currentIndex()),
            Low16(ComboBox3->currentIndex()),
            Low16(ComboBox4->currentIndex()),
            Low16(ComboBox5->currentIndex()),
            Low16(SpinEdit1->value()),
            Low16(SpinEdit5->value()),
            Low16(SpinEdit2->value()),
            Low16(Baud_CAN->currentIndex()),
            Low16(Baud_485->currentIndex()),
            Low16(SpinEdit3->value()),
            Low16(Filter_V->currentIndex() + (Reg::kFilterLevelMask + 1) * Ch_SUM->currentIndex()),
            Low16(Dat_485->currentIndex()),
            kCommitMarker};
}

ConfigPanel::Block ConfigPanel::Take() {
    const Block block = Words();
    for (TSpinEdit* spin : {SpinEdit1, SpinEdit5, SpinEdit2, SpinEdit3}) {
        spin->setValue(spin->value());
    }
    return block;
}

int WriteBlock(const ConfigPanel::Block& block,
               const std::function<bool(std::int32_t reg, std::uint16_t value)>& write) {
    int written = 0;
    for (const std::uint16_t word : block) {
        if (!write(ConfigPanel::kFirstRegister + written, word)) {
            break;
        }
        ++written;
    }
    return written;
}

bool CommitComplete(int written) {
    return written >= ConfigPanel::kBlockSize - 1;
}

QString CommitStoppedText(int written) {
    const int first = ConfigPanel::kFirstRegister;
    const int failed = first + written;
    const int last = first + ConfigPanel::kBlockSize - 1;
    QString done;
    if (written == 1) {
        done = QStringLiteral("寄存器 %1 已写入，").arg(first);
    } else if (written > 1) {
        done = QStringLiteral("寄存器 %1 至 %2 已写入，").arg(first).arg(failed - 1);
    }
    return QStringLiteral("标定未完成：%1寄存器 %2 写入失败，%2 至 %3 未写入 ！")
        .arg(done)
        .arg(failed)
        .arg(last);
}
