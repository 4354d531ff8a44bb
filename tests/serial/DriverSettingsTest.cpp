#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DriverOnFake.h"

namespace {

using Calls = std::vector<std::string>;

class DriverSettings : public ::testing::Test {
protected:
    DriverOnFake f;
    VEVErizEvezad& d = *f.driver;
};

TEST_F(DriverSettings, NewDriver_HasDocumentedDefaultsAndIsClosed) {
    EXPECT_EQ(d.ComPort(), pnCOM1);
    EXPECT_EQ(d.ComPortSpeed(), br9600);
    EXPECT_EQ(d.ComPortDataBits(), db8BITS);
    EXPECT_EQ(d.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(d.ComPortParity(), ptNONE);
    EXPECT_EQ(d.ComPortHwHandshaking(), hhNONE);
    EXPECT_EQ(d.ComPortSwHandshaking(), shNONE);
    EXPECT_EQ(d.ComPortInBufSize(), 1024);
    EXPECT_EQ(d.ComPortOutBufSize(), 512);
    EXPECT_EQ(d.ComPortPollingDelay(), 5);
    EXPECT_FALSE(d.EnableDTROnOpen());
    EXPECT_EQ(d.OutputTimeout(), 4000);
    EXPECT_FALSE(d.OnReceiveData());
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(d.RxCount, 0);
    EXPECT_FALSE(d.PollTimerActive());
}

TEST_F(DriverSettings, Connect_OpensAppliesSettingsPurgesSizesQueuesThenSetsTimeouts) {
    d.SetComPort(pnCOM3);
    ASSERT_TRUE(d.Connect());
    EXPECT_EQ(f.port->calls,
              (Calls{"open COM3", "settings", "purge 15", "queues 1024 512", "timeouts"}));
    EXPECT_EQ(f.port->lastTimeouts.readIntervalTimeout, 1u);
    EXPECT_EQ(f.port->lastTimeouts.readTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(f.port->lastTimeouts.readTotalTimeoutConstant, 1u);
    EXPECT_EQ(f.port->lastTimeouts.writeTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(f.port->lastTimeouts.writeTotalTimeoutConstant, 0u);
    EXPECT_TRUE(d.PollTimerActive());
    EXPECT_EQ(d.PollTimer().interval(), 5);
    EXPECT_EQ(d.PollTimer().timerType(), Qt::PreciseTimer);
}

TEST_F(DriverSettings, PortNames_RunFromCom1ToCom8) {
    for (int n = 0; n < 8; ++n) {
        DriverOnFake g;
        g.driver->SetComPort(static_cast<TComPortNumber>(n));
        ASSERT_TRUE(g.driver->Connect());
        EXPECT_EQ(g.port->openedName, "COM" + std::to_string(n + 1));
    }
}

TEST_F(DriverSettings, LineSettings_FollowTheProperties) {
    d.SetComPortSpeed(br57600);
    d.SetComPortParity(ptEVEN);
    d.SetComPortDataBits(db7BITS);
    d.SetComPortStopBits(sb2BITS);
    ASSERT_TRUE(d.Connect());
    const LineSettings& s = f.port->lastSettings;
    EXPECT_EQ(s.baudRate, 57600u);
    EXPECT_TRUE(s.binaryMode);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_EQ(s.byteSize, 7);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_FALSE(s.dtrEnabled);
    EXPECT_FALSE(s.ctsOutputFlow);
    EXPECT_FALSE(s.rtsHandshake);
    EXPECT_FALSE(s.xonXoffInput);
    EXPECT_FALSE(s.xonXoffOutput);
    EXPECT_EQ(s.xonLimit, 256);
    EXPECT_EQ(s.xoffLimit, 1);
    EXPECT_EQ(s.xonChar, 17);
    EXPECT_EQ(s.xoffChar, 19);
}

TEST_F(DriverSettings, Handshakes_SetFlowControlAndXonLimitFollowsInputSize) {
    d.SetComPortHwHandshaking(hhRTSCTS);
    d.SetComPortSwHandshaking(shXONXOFF);
    d.SetComPortInBufSize(2000);
    d.SetEnableDTROnOpen(true);
    ASSERT_TRUE(d.Connect());
    const LineSettings& s = f.port->lastSettings;
    EXPECT_TRUE(s.ctsOutputFlow);
    EXPECT_TRUE(s.rtsHandshake);
    EXPECT_TRUE(s.xonXoffInput);
    EXPECT_TRUE(s.xonXoffOutput);
    EXPECT_TRUE(s.dtrEnabled);
    EXPECT_EQ(s.xonLimit, 500);
    EXPECT_EQ(f.port->inputQueueSize, 2000);
}

TEST_F(DriverSettings, ModemLines_StandWhereTheControlModesPutThemAfterConnect) {
    // The device raised both lines when it was opened; the settings put them back.
    f.port->dtr = true;
    f.port->rts = true;
    ASSERT_TRUE(d.Connect());
    EXPECT_FALSE(f.port->dtr);
    EXPECT_FALSE(f.port->rts);

    DriverOnFake g;
    g.driver->SetEnableDTROnOpen(true);
    ASSERT_TRUE(g.driver->Connect());
    EXPECT_TRUE(g.port->dtr);
    EXPECT_FALSE(g.port->rts);
}

TEST_F(DriverSettings, ConnectWhileOpen_ReturnsTrueAndChangesNothing) {
    ASSERT_TRUE(d.Connect());
    f.port->calls.clear();
    d.SetComPort(pnCOM5);
    EXPECT_TRUE(d.Connect());
    EXPECT_TRUE(f.port->calls.empty());
    EXPECT_EQ(d.ComPort(), pnCOM1);
}

TEST_F(DriverSettings, FailedConnect_LeavesDriverClosedAndALaterConnectWorks) {
    f.port->failOpen = true;
    EXPECT_FALSE(d.Connect());
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.PollTimerActive());
    d.Disconnect();
    EXPECT_EQ(f.port->calls, Calls{"open COM1"});
    f.port->failOpen = false;
    EXPECT_TRUE(d.Connect());
    EXPECT_TRUE(d.Connected());
}

TEST_F(DriverSettings, LineSettingWritesWhileOpen_ApplyAndPurgeBothQueues) {
    ASSERT_TRUE(d.Connect());
    d.RxBuffer[0] = 0x55;
    d.RxCount = 1;
    const std::vector<void (*)(VEVErizEvezad&)> writes = {
        [](VEVErizEvezad& x) { x.SetComPortSpeed(br19200); },
        [](VEVErizEvezad& x) { x.SetComPortDataBits(db7BITS); },
        [](VEVErizEvezad& x) { x.SetComPortStopBits(sb2BITS); },
        [](VEVErizEvezad& x) { x.SetComPortParity(ptODD); },
        [](VEVErizEvezad& x) { x.SetComPortHwHandshaking(hhRTSCTS); },
        [](VEVErizEvezad& x) { x.SetComPortSwHandshaking(shXONXOFF); },
    };
    for (auto write : writes) {
        f.port->calls.clear();
        write(d);
        EXPECT_EQ(f.port->calls, (Calls{"settings", "purge 15", "queues 1024 512"}));
    }
    EXPECT_EQ(f.port->lastSettings.baudRate, 19200u);
    EXPECT_EQ(d.RxCount, 1);
    EXPECT_EQ(d.RxBuffer[0], 0x55);
}

TEST_F(DriverSettings, PortAndInputSizeWritesWhileOpen_AreIgnoredAlsoAfterReconnect) {
    ASSERT_TRUE(d.Connect());
    d.SetComPort(pnCOM4);
    d.SetComPortInBufSize(16);
    d.Disconnect();
    ASSERT_TRUE(d.Connect());
    EXPECT_EQ(f.port->openedName, "COM1");
    EXPECT_EQ(d.ComPortInBufSize(), 1024);
    EXPECT_EQ(f.port->inputQueueSize, 1024);
}

TEST_F(DriverSettings, WritesWhileClosed_AreStoredWithoutTouchingThePort) {
    d.SetComPortSpeed(br115200);
    d.SetComPortPollingDelay(7);
    EXPECT_TRUE(f.port->calls.empty());
    EXPECT_EQ(d.ComPortSpeed(), br115200);
    EXPECT_EQ(d.ComPortPollingDelay(), 7);
    ASSERT_TRUE(d.Connect());
    EXPECT_EQ(d.PollTimer().interval(), 7);
}

TEST_F(DriverSettings, PollingDelayWhileOpen_RestartsTheTimerWithTheNewPeriod) {
    ASSERT_TRUE(d.Connect());
    d.SetComPortPollingDelay(12);
    EXPECT_TRUE(d.PollTimerActive());
    EXPECT_EQ(d.PollTimer().interval(), 12);
    const int id = d.PollTimer().timerId();
    d.SetComPortPollingDelay(12);
    EXPECT_EQ(d.PollTimer().timerId(), id);
}

TEST_F(DriverSettings, Disconnect_StopsTimerClosesAndKeepsReceivedBytes) {
    ASSERT_TRUE(d.Connect());
    d.RxBuffer[3] = 9;
    d.RxCount = 4;
    d.Disconnect();
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.PollTimerActive());
    EXPECT_EQ(f.port->calls.back(), "close");
    EXPECT_EQ(d.RxCount, 4);
    EXPECT_EQ(d.RxBuffer[3], 9);
}

TEST_F(DriverSettings, FlushAndModemLines_SendTheDocumentedCodesOnlyWhileOpen) {
    d.FlushBuffers(true, true);
    d.SetDTR(true);
    d.SetRTS(true);
    EXPECT_TRUE(f.port->calls.empty());
    ASSERT_TRUE(d.Connect());
    f.port->calls.clear();
    d.FlushBuffers(true, false);
    d.FlushBuffers(false, true);
    d.FlushBuffers(true, true);
    d.SetDTR(true);
    d.SetDTR(false);
    d.SetRTS(true);
    d.SetRTS(false);
    EXPECT_EQ(f.port->calls, (Calls{"purge 10", "purge 5", "purge 15", "modem 5", "modem 6",
                                    "modem 3", "modem 4"}));
}

TEST_F(DriverSettings, OutFreeSpace_Is65535ClosedAndWrapsInSixteenBitsOpen) {
    EXPECT_EQ(d.OutFreeSpace(), 65535);
    ASSERT_TRUE(d.Connect());
    f.port->outputQueue = 100;
    EXPECT_EQ(d.OutFreeSpace(), 412);
    f.port->outputQueue = 512;
    EXPECT_EQ(d.OutFreeSpace(), 0);
    f.port->outputQueue = 600;
    EXPECT_EQ(d.OutFreeSpace(), 65448);
}

}  // namespace
