#include "ConfigPanel.h"

#include <QCoreApplication>
#include <algorithm>

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

QString Caption(ConfigBlock::Setting setting) {
    return QCoreApplication::translate("ConfigBlock", ConfigBlock::FieldOf(setting).label) +
           QLatin1Char(':');
}

void AddLabel(ConfigBlock::Setting setting, const QString& controlName, int left, int row,
              QWidget& group) {
    auto* label = new QLabel(Caption(setting), &group);
    label->setObjectName(QStringLiteral("Label_") + controlName);
    label->move(left, row + 3);
    label->adjustSize();
}

QComboBox* AddList(const QString& name, ConfigBlock::Setting setting, QRect place, QWidget& group) {
    const ConfigBlock::Field& field = ConfigBlock::FieldOf(setting);
    auto* list = new QComboBox(&group);
    list->setObjectName(name);
    for (const char* item : field.items) {
        list->addItem(QCoreApplication::translate("ConfigBlock", item));
    }
    list->setCurrentIndex(field.panelDefault);
    list->setGeometry(place);
    return list;
}

TSpinEdit* AddSpin(const QString& name, ConfigBlock::Setting setting, QRect place, QWidget& group) {
    const ConfigBlock::Field& field = ConfigBlock::FieldOf(setting);
    auto* spin = new TSpinEdit(field.min, field.max, field.maxLength, field.panelDefault, &group);
    spin->setObjectName(name);
    spin->setGeometry(place);
    if (*field.hint) {
        spin->setToolTip(QCoreApplication::translate("ConfigBlock", field.hint));
    }
    return spin;
}

// Selects the index loaded from a register; one beyond the last item leaves the list without
// a selection.
void SelectIndex(QComboBox& list, int index) {
    list.setCurrentIndex(index < list.count() ? index : -1);
}

}  // namespace

ConfigPanel::ConfigPanel(QWidget& group, DrawGrid& liveGrid) : liveGrid_(liveGrid) {
    using namespace ConfigBlock;
    const auto left = [](int row, int width) {
        return QRect(kLeftControl, kRows[row], width, kHeight);
    };
    const auto right = [](int row) {
        return QRect(kRightControl, kRows[row], kShortWidth, kHeight);
    };
    const int leftShort = kRightLabel - kLeftControl - 6;

    AddLabel(kStationNumber, QStringLiteral("SpinEdit2"), kLeftLabel, kRows[0], group);
    SpinEdit2 = AddSpin(QStringLiteral("SpinEdit2"), kStationNumber, left(0, leftShort), group);
    AddLabel(kCanBaud, QStringLiteral("Baud_CAN"), kRightLabel, kRows[0], group);
    Baud_CAN = AddList(QStringLiteral("Baud_CAN"), kCanBaud, right(0), group);

    AddLabel(kSendSuppression, QStringLiteral("SpinEdit3"), kLeftLabel, kRows[1], group);
    SpinEdit3 = AddSpin(QStringLiteral("SpinEdit3"), kSendSuppression, left(1, leftShort), group);
    AddLabel(kRs485Baud, QStringLiteral("Baud_485"), kRightLabel, kRows[1], group);
    Baud_485 = AddList(QStringLiteral("Baud_485"), kRs485Baud, right(1), group);

    AddLabel(kFilterLevel, QStringLiteral("Filter_V"), kLeftLabel, kRows[2], group);
    Filter_V = AddList(QStringLiteral("Filter_V"), kFilterLevel, left(2, leftShort), group);
    AddLabel(kFrameFormat, QStringLiteral("Dat_485"), kRightLabel, kRows[2], group);
    Dat_485 = AddList(QStringLiteral("Dat_485"), kFrameFormat, right(2), group);

    AddLabel(kChannelCount, QStringLiteral("Ch_SUM"), kLeftLabel, kRows[3], group);
    Ch_SUM = AddList(QStringLiteral("Ch_SUM"), kChannelCount, left(3, leftShort), group);
    Label18 = new QLabel(Caption(kTempCompensation), &group);
    Label18->setObjectName(QStringLiteral("Label18"));
    Label18->move(kRightLabel, kRows[3] + 3);
    Label18->adjustSize();
    SpinEdit5 = AddSpin(QStringLiteral("SpinEdit5"), kTempCompensation, right(3), group);
    SpinEdit1 = AddSpin(QStringLiteral("SpinEdit1"), kLoadCellFactor, right(3), group);
    SpinEdit1->hide();

    AddLabel(kInputRange, QStringLiteral("ComboBox2"), kLeftLabel, kRows[4], group);
    ComboBox2 = AddList(QStringLiteral("ComboBox2"), kInputRange, left(4, kWideWidth), group);
    AddLabel(kSampleRate, QStringLiteral("ComboBox3"), kLeftLabel, kRows[5], group);
    ComboBox3 = AddList(QStringLiteral("ComboBox3"), kSampleRate, left(5, kWideWidth), group);
    AddLabel(kConversionMode, QStringLiteral("ComboBox4"), kLeftLabel, kRows[6], group);
    ComboBox4 = AddList(QStringLiteral("ComboBox4"), kConversionMode, left(6, kWideWidth), group);
    AddLabel(kThermocoupleType, QStringLiteral("ComboBox5"), kLeftLabel, kRows[7], group);
    ComboBox5 = AddList(QStringLiteral("ComboBox5"), kThermocoupleType, left(7, kWideWidth), group);

    // In the order of the block's settings.
    controls_ = {{{ComboBox2},
                  {ComboBox3},
                  {ComboBox4},
                  {ComboBox5},
                  {nullptr, SpinEdit1},
                  {nullptr, SpinEdit5},
                  {nullptr, SpinEdit2},
                  {Baud_CAN},
                  {Baud_485},
                  {nullptr, SpinEdit3},
                  {Filter_V},
                  {Ch_SUM},
                  {Dat_485}}};

    // The glyph stands above the caption.
    BitBtn5 = new QToolButton(&group);
    BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
    BitBtn5->setText(QCoreApplication::translate("ConfigPanel", "标定到模块"));
    BitBtn5->setIcon(BitBtn5->style()->standardIcon(QStyle::SP_DialogApplyButton));
    BitBtn5->setIconSize(QSize(20, 20));
    BitBtn5->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    BitBtn5->setGeometry(224, 196, 88, 52);
    BitBtn5->setEnabled(false);
}

void ConfigPanel::Load(const RegisterImageWords& image) {
    ConfigBlock::ReadWords words{};
    std::copy_n(image.begin() + ConfigBlock::kFirst, words.size(), words.begin());
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const int value = ConfigBlock::ValueIn(ConfigBlock::Fields()[i], words);
        if (controls_[i].list) {
            SelectIndex(*controls_[i].list, value);
        } else {
            controls_[i].spin->setValue(value);
        }
    }
    ComboBox4Change();
}

void ConfigPanel::ComboBox4Change() {
    ComboBox4->setToolTip(QString());
    const int mode = ComboBox4->currentIndex();
    if (mode == Reg::kModeLoadCell) {
        ComboBox5->setEnabled(false);
        Label18->setText(Caption(ConfigBlock::kLoadCellFactor));
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow,
                          QCoreApplication::translate("LiveGrid", "采集电压(mV)"));
        liveGrid_.SetCell(0, LiveGrid::kMeasuredRow,
                          QCoreApplication::translate("LiveGrid", "对应重量(KG)"));
        SpinEdit1->show();
        SpinEdit5->hide();
        return;
    }
    if (mode == Reg::kModeThermocouple) {
        ComboBox5->setEnabled(true);
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow,
                          QCoreApplication::translate("LiveGrid", "采集电压(mV)"));
    } else {
        liveGrid_.SetCell(0, LiveGrid::kAcquiredRow,
                          QCoreApplication::translate("LiveGrid", "采集电阻(Ω)"));
        ComboBox5->setEnabled(false);
        ComboBox4->setToolTip(QStringLiteral("0~410℃"));
    }
    Label18->setText(Caption(ConfigBlock::kTempCompensation));
    liveGrid_.SetCell(0, LiveGrid::kMeasuredRow,
                      QCoreApplication::translate("LiveGrid", "对应温度(℃)"));
    SpinEdit1->hide();
    SpinEdit5->show();
}

ConfigPanel::Block ConfigPanel::Words() const {
    // A list without a selection gives -1, which goes out as 65535.
    ConfigBlock::Values values{};
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        values[i] =
            controls_[i].list ? controls_[i].list->currentIndex() : controls_[i].spin->value();
    }
    return ConfigBlock::Commit(values);
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
        done = QCoreApplication::translate("ConfigPanel", "寄存器 %1 已写入，").arg(first);
    } else if (written > 1) {
        done = QCoreApplication::translate("ConfigPanel", "寄存器 %1 至 %2 已写入，")
                   .arg(first)
                   .arg(failed - 1);
    }
    return QCoreApplication::translate("ConfigPanel",
                                       "标定未完成：%1寄存器 %2 写入失败，%2 至 %3 未写入 ！")
        .arg(done)
        .arg(failed)
        .arg(last);
}
