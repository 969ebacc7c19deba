#include <gtest/gtest.h>

#include "link/CommPort.h"
#include "link/SerialComm.h"

namespace {

TEST(Win32CommPort, AMissingPortOpensNothingAndSaysSo) {
    TCommPort port;
    TPortOpenError why = TPortOpenError::None;
    EXPECT_EQ(port.Open("//.//COM250", 9600, 8, ParityNone, StopBitsOne, &why), TPortHandle{});
    EXPECT_EQ(why, TPortOpenError::NoSuchDevice);
}

TEST(Win32CommPort, ReadAndWriteWithoutAPortDoNothing) {
    TCommPort port;
    std::uint8_t buffer[CommReadBufferSize];
    std::uint32_t count = 77;
    EXPECT_FALSE(port.Read(TPortHandle{}, buffer, count));
    EXPECT_EQ(count, 77u);
    const std::uint8_t frame[] = {0x24, 0xA1, 0xAA};
    EXPECT_FALSE(port.Write(TPortHandle{}, frame, sizeof frame));
}

TEST(Win32SerialComm, AFailedOpenLeavesTheConnectionClosedWithTheWindowsMessage) {
    TSerialComm comm;
    EXPECT_FALSE(comm.Open(PortNameFor("COM250"), 9600, 8, ParityNone, StopBitsOne));
    // Windows keeps its text, whatever the cause.
    EXPECT_EQ(PortOpenMessage(PortNameFor("COM250"), comm.OpenError()),
              "//.//COM250打开串口失败，请配置串口!!");
    EXPECT_FALSE(comm.Close());
    const std::uint8_t frame[] = {0x24};
    EXPECT_FALSE(comm.Write(frame, 1));
}

TEST(Win32SerialComm, PortNamesTakeTheDevicePrefixOnce) {
    EXPECT_EQ(PortNameFor("COM1"), "//.//COM1");
    EXPECT_EQ(PortNameFor("//.//COM1"), "//.//COM1");
}

}  // namespace
