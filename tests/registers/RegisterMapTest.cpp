// Register image and register map.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "RegisterMap.h"

class RegisterMapTest : public ::testing::Test {
protected:
    RegisterImageWords RegisterImage{};
};

TEST_F(RegisterMapTest, ImageHas101Words) {
    EXPECT_EQ(RegisterImage.size(), 101u);
}

TEST_F(RegisterMapTest, EightyFourNamesQuotedExactly) {
    EXPECT_EQ(sizeof(RegisterNames) / sizeof(RegisterNames[0]), 84u);
    const std::pair<int, const char*> spots[] = {
        {0, "AD0检测温度值"},      {5, "AD5检测温度值"},     {6, "AD芯片异常=55"},
        {7, "主站心跳"},           {8, "从站心跳"},          {9, "AD0-AD5输出状态(bit)"},
        {10, "冷端温度值"},        {11, "程序版本"},         {12, "AD0电压值L"},
        {13, "AD0电压值H"},        {23, "AD5电压值H"},       {24, "AD0控制输出%"},
        {29, "AD5控制输出%"},      {30, "TC0温度设置值"},    {35, "TC5温度设置值"},
        {36, "TC0温度P值"},        {41, "TC5温度P值"},       {42, "TC0温度I值"},
        {47, "TC5温度I值"},        {48, "Y0~Y5候选值(bit)"}, {49, "Y0~Y5输出状态"},
        {70, "TC0温度D值"},        {75, "TC5温度D值"},       {76, "AD0.PT100线阻补偿"},
        {81, "AD5.PT100线阻补偿"}, {82, "Y输出选择(0-3)"},   {83, "PWM输出选择"},
    };
    for (const auto& [reg, name] : spots) {
        ASSERT_NE(RegisterNames[reg], nullptr);
        EXPECT_STREQ(RegisterNames[reg], name) << "register " << reg;
    }
    for (int reg = 50; reg <= 69; ++reg) {
        EXPECT_STREQ(RegisterNames[reg], "备用") << "register " << reg;
    }
    // The exact UTF-8 bytes of one name: 备 E5 A4 87, 用 E7 94 A8.
    EXPECT_EQ(std::string(RegisterNames[50]), std::string("\xE5\xA4\x87\xE7\x94\xA8"));
}

TEST_F(RegisterMapTest, ChannelRangesDifferOnlyInTheDigit) {
    const char* const patterns[][2] = {
        {"AD", "检测温度值"}, {"AD", "控制输出%"}, {"TC", "温度设置值"},     {"TC", "温度P值"},
        {"TC", "温度I值"},    {"TC", "温度D值"},   {"AD", ".PT100线阻补偿"},
    };
    const int firsts[] = {0, 24, 30, 36, 42, 70, 76};
    for (std::size_t p = 0; p < std::size(firsts); ++p) {
        for (int ch = 0; ch < 6; ++ch) {
            const std::string expected =
                std::string(patterns[p][0]) + std::to_string(ch) + patterns[p][1];
            EXPECT_EQ(RegisterNames[firsts[p] + ch], expected);
        }
    }
    for (int ch = 0; ch < 6; ++ch) {
        EXPECT_EQ(RegisterNames[12 + 2 * ch], "AD" + std::to_string(ch) + "电压值L");
        EXPECT_EQ(RegisterNames[13 + 2 * ch], "AD" + std::to_string(ch) + "电压值H");
    }
}

TEST_F(RegisterMapTest, SignedDisplayOnlyFor76To81) {
    for (int reg = -5; reg < 110; ++reg) {
        EXPECT_EQ(IsSignedRegister(reg), reg >= 76 && reg <= 81) << reg;
    }
    for (int reg = 0; reg < kRegisterImageSize; ++reg) {
        RegisterImage[static_cast<std::size_t>(reg)] = 65535;
    }
    for (int reg = 0; reg < kRegisterImageSize; ++reg) {
        EXPECT_EQ(RegisterDisplayValue(RegisterImage, reg), (reg >= 76 && reg <= 81) ? -1 : 65535)
            << reg;
    }
    RegisterImage[76] = 0x8000;
    EXPECT_EQ(RegisterDisplayValue(RegisterImage, 76), -32768);
    RegisterImage[81] = 0x7FFF;
    EXPECT_EQ(RegisterDisplayValue(RegisterImage, 81), 32767);
    RegisterImage[75] = 0x8000;
    EXPECT_EQ(RegisterDisplayValue(RegisterImage, 75), 32768);
}

TEST_F(RegisterMapTest, RegistersOutsideTheImageReadZero) {
    for (int reg = 0; reg < kRegisterImageSize; ++reg) {
        RegisterImage[static_cast<std::size_t>(reg)] = 1234;
    }
    for (int reg : {-1, -1000, 101, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(RegisterDisplayValue(RegisterImage, reg), 0) << reg;
    }
}

TEST_F(RegisterMapTest, ChannelPairsAreSigned32Bit) {
    RegisterImage[12] = 65535;  // low
    RegisterImage[13] = 65535;  // high
    EXPECT_EQ(ChannelAcquiredValue(RegisterImage, 0), -1);
    RegisterImage[12] = 65535;
    RegisterImage[13] = 0;
    EXPECT_EQ(ChannelAcquiredValue(RegisterImage, 0), 65535);
    RegisterImage[12] = 0;
    RegisterImage[13] = 0x8000;
    EXPECT_EQ(ChannelAcquiredValue(RegisterImage, 0), INT32_MIN);
    RegisterImage[12] = 0xFFFF;
    RegisterImage[13] = 0x7FFF;
    EXPECT_EQ(ChannelAcquiredValue(RegisterImage, 0), INT32_MAX);
    for (int ch = 0; ch < 6; ++ch) {
        RegisterImage[static_cast<std::size_t>(12 + 2 * ch)] =
            static_cast<std::uint16_t>(0x1000 + ch);
        RegisterImage[static_cast<std::size_t>(13 + 2 * ch)] = static_cast<std::uint16_t>(ch + 1);
        EXPECT_EQ(ChannelAcquiredValue(RegisterImage, ch), (ch + 1) * 65536 + 0x1000 + ch) << ch;
    }
    // The pair halves are shown unsigned on their own.
    EXPECT_EQ(RegisterDisplayValue(RegisterImage, 12), 0x1000);
}

TEST_F(RegisterMapTest, ChannelsOutsideZeroToFiveReadZero) {
    for (int reg = 0; reg < kRegisterImageSize; ++reg) {
        RegisterImage[static_cast<std::size_t>(reg)] = 0x2222;
    }
    for (int ch : {-1, 6, 7, 100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(ChannelAcquiredValue(RegisterImage, ch), 0) << ch;
    }
}
