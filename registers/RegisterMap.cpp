#include "RegisterMap.h"

#include <cstddef>

// The module's register names (UTF-8), in rows of six as the register monitor grid shows them.
const char* const RegisterNames[kRegisterNameCount] = {
    // 0 to 5
    "AD0检测温度值",
    "AD1检测温度值",
    "AD2检测温度值",
    "AD3检测温度值",
    "AD4检测温度值",
    "AD5检测温度值",
    // 6 to 11
    "AD芯片异常=55",
    "主站心跳",
    "从站心跳",
    "AD0-AD5输出状态(bit)",
    "冷端温度值",
    "程序版本",
    // 12 to 17
    "AD0电压值L",
    "AD0电压值H",
    "AD1电压值L",
    "AD1电压值H",
    "AD2电压值L",
    "AD2电压值H",
    // 18 to 23
    "AD3电压值L",
    "AD3电压值H",
    "AD4电压值L",
    "AD4电压值H",
    "AD5电压值L",
    "AD5电压值H",
    // 24 to 29
    "AD0控制输出%",
    "AD1控制输出%",
    "AD2控制输出%",
    "AD3控制输出%",
    "AD4控制输出%",
    "AD5控制输出%",
    // 30 to 35
    "TC0温度设置值",
    "TC1温度设置值",
    "TC2温度设置值",
    "TC3温度设置值",
    "TC4温度设置值",
    "TC5温度设置值",
    // 36 to 41
    "TC0温度P值",
    "TC1温度P值",
    "TC2温度P值",
    "TC3温度P值",
    "TC4温度P值",
    "TC5温度P值",
    // 42 to 47
    "TC0温度I值",
    "TC1温度I值",
    "TC2温度I值",
    "TC3温度I值",
    "TC4温度I值",
    "TC5温度I值",
    // 48 to 53
    "Y0~Y5候选值(bit)",
    "Y0~Y5输出状态",
    "备用",
    "备用",
    "备用",
    "备用",
    // 54 to 59
    "备用",
    "备用",
    "备用",
    "备用",
    "备用",
    "备用",
    // 60 to 65
    "备用",
    "备用",
    "备用",
    "备用",
    "备用",
    "备用",
    // 66 to 71
    "备用",
    "备用",
    "备用",
    "备用",
    "TC0温度D值",
    "TC1温度D值",
    // 72 to 77
    "TC2温度D值",
    "TC3温度D值",
    "TC4温度D值",
    "TC5温度D值",
    "AD0.PT100线阻补偿",
    "AD1.PT100线阻补偿",
    // 78 to 83
    "AD2.PT100线阻补偿",
    "AD3.PT100线阻补偿",
    "AD4.PT100线阻补偿",
    "AD5.PT100线阻补偿",
    "Y输出选择(0-3)",
    "PWM输出选择",
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
