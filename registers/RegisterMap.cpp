#include "RegisterMap.h"

#include <cstddef>

#include "TranslatableText.h"

// The module's register names (UTF-8), in rows of six as the register monitor grid shows them.
const char* const RegisterNames[kRegisterNameCount] = {
    // 0 to 5
    QT_TRANSLATE_NOOP("RegisterMap", "AD0检测温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD1检测温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD2检测温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD3检测温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD4检测温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD5检测温度值"),
    // 6 to 11
    QT_TRANSLATE_NOOP("RegisterMap", "AD芯片异常=55"),
    QT_TRANSLATE_NOOP("RegisterMap", "主站心跳"),
    QT_TRANSLATE_NOOP("RegisterMap", "从站心跳"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD0-AD5输出状态(bit)"),
    QT_TRANSLATE_NOOP("RegisterMap", "冷端温度值"),
    QT_TRANSLATE_NOOP("RegisterMap", "程序版本"),
    // 12 to 17
    QT_TRANSLATE_NOOP("RegisterMap", "AD0电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD0电压值H"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD1电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD1电压值H"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD2电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD2电压值H"),
    // 18 to 23
    QT_TRANSLATE_NOOP("RegisterMap", "AD3电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD3电压值H"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD4电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD4电压值H"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD5电压值L"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD5电压值H"),
    // 24 to 29
    QT_TRANSLATE_NOOP("RegisterMap", "AD0控制输出%"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD1控制输出%"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD2控制输出%"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD3控制输出%"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD4控制输出%"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD5控制输出%"),
    // 30 to 35
    QT_TRANSLATE_NOOP("RegisterMap", "TC0温度设置值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC1温度设置值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC2温度设置值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC3温度设置值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC4温度设置值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC5温度设置值"),
    // 36 to 41
    QT_TRANSLATE_NOOP("RegisterMap", "TC0温度P值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC1温度P值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC2温度P值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC3温度P值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC4温度P值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC5温度P值"),
    // 42 to 47
    QT_TRANSLATE_NOOP("RegisterMap", "TC0温度I值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC1温度I值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC2温度I值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC3温度I值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC4温度I值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC5温度I值"),
    // 48 to 53
    QT_TRANSLATE_NOOP("RegisterMap", "Y0~Y5候选值(bit)"),
    QT_TRANSLATE_NOOP("RegisterMap", "Y0~Y5输出状态"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    // 54 to 59
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    // 60 to 65
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    // 66 to 71
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "备用"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC0温度D值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC1温度D值"),
    // 72 to 77
    QT_TRANSLATE_NOOP("RegisterMap", "TC2温度D值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC3温度D值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC4温度D值"),
    QT_TRANSLATE_NOOP("RegisterMap", "TC5温度D值"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD0.PT100线阻补偿"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD1.PT100线阻补偿"),
    // 78 to 83
    QT_TRANSLATE_NOOP("RegisterMap", "AD2.PT100线阻补偿"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD3.PT100线阻补偿"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD4.PT100线阻补偿"),
    QT_TRANSLATE_NOOP("RegisterMap", "AD5.PT100线阻补偿"),
    QT_TRANSLATE_NOOP("RegisterMap", "Y输出选择(0-3)"),
    QT_TRANSLATE_NOOP("RegisterMap", "PWM输出选择"),
};

bool IsSignedRegister(int reg) {
    return reg >= Reg::kLeadCompensationFirst && reg <= Reg::kLeadCompensationLast;
}

std::int32_t RegisterDisplayValue(const RegisterImageWords& image, int reg) {
    // Out of range: a register that is not in the image reads 0 (never an access past it).
    if (reg < 0 || reg >= kRegisterImageSize) {
        return 0;
    }
    const std::uint16_t word = image[static_cast<std::size_t>(reg)];
    if (IsSignedRegister(reg)) {
        return static_cast<std::int16_t>(word);  // 16-bit two's complement
    }
    return word;
}

std::int32_t ChannelAcquiredValue(const RegisterImageWords& image, int channel) {
    // Out of range: only channels 0 to 5 have a pair (12/13 … 22/23); any other channel reads 0.
    if (channel < 0 || channel >= Reg::kChannelCount) {
        return 0;
    }
    const std::uint32_t low = image[static_cast<std::size_t>(Reg::kAcquiredLowFirst + 2 * channel)];
    const std::uint32_t high =
        image[static_cast<std::size_t>(Reg::kAcquiredLowFirst + 2 * channel + 1)];
    // high × 65536 + low, taken as 32-bit two's complement (modular conversion, C++20).
    return static_cast<std::int32_t>((high << 16) | low);
}
