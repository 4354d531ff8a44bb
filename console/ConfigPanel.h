#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <QString>

#include "ConfigBlock.h"
#include "RegisterMap.h"

class DrawGrid;
class QComboBox;
class QLabel;
class QToolButton;
class QWidget;
class TSpinEdit;

// The quick configuration panel: the module's configuration block (registers 84 to 96) as
// lists and spin fields, loaded from the register image and written back as one block.
class ConfigPanel {
public:
    static constexpr int kFirstRegister = ConfigBlock::kFirst;
    static constexpr int kBlockSize = ConfigBlock::kWordCount;  // registers 84 to 96
    static constexpr std::uint16_t kCommitMarker = ConfigBlock::kCommitValue;
    using Block = ConfigBlock::CommitWords;

    // Builds the controls inside group; the conversion mode relabels liveGrid's rows 1 and 2.
    ConfigPanel(QWidget& group, DrawGrid& liveGrid);

    // Copies registers 84 to 95 from the image into the controls, then applies the mode.
    void Load(const RegisterImageWords& image);
    // Rearranges the panel and relabels the live grid after the conversion mode.
    void ComboBox4Change();
    // The words of registers 84 to 96 as the controls hold them, each cut to 16 bits.
    Block Words() const;
    // The words a commit writes; each spin field then shows the value taken from it, so a
    // typed value outside the field's range is seen as the bound that is written.
    Block Take();

    TSpinEdit* SpinEdit2;
    QComboBox* Baud_CAN;
    TSpinEdit* SpinEdit3;
    QComboBox* Baud_485;
    QComboBox* Filter_V;
    QComboBox* Dat_485;
    QComboBox* Ch_SUM;
    QLabel* Label18;
    TSpinEdit* SpinEdit5;
    TSpinEdit* SpinEdit1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QComboBox* ComboBox4;
    QComboBox* ComboBox5;
    QToolButton* BitBtn5;

private:
    // The control of each setting of the block: a list or a spin field.
    struct Control {
        QComboBox* list = nullptr;
        TSpinEdit* spin = nullptr;
    };

    DrawGrid& liveGrid_;
    std::array<Control, ConfigBlock::kSettingCount> controls_;
};

// Writes the block in ascending register order through write, stopping at the first failure;
// gives how many registers were written.
int WriteBlock(const ConfigPanel::Block& block,
               const std::function<bool(std::int32_t reg, std::uint16_t value)>& write);
// A commit counts as done when registers 84 to 95 were written, whatever became of 96.
bool CommitComplete(int written);
// What the operator is told when a commit stopped after `written` registers: the register
// whose write failed, those written before it and those left as they were.
QString CommitStoppedText(int written);
