#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "link/SerialComm.h"
#include "link/Trace.h"
#include "protocol/Requests.h"

namespace {

// Builds a request frame from its documented parts: command, offsets 4.., checksum.
Bytes Request(std::uint8_t command, Bytes params, std::uint8_t checksum) {
    Bytes b{0x24, 0xA1, command, 0x14};
    b.insert(b.end(), params.begin(), params.end());
    b.resize(24, 0x00);
    b.push_back(checksum);
    b.push_back(0x2A);
    return b;
}

class RequestsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        });
        ASSERT_TRUE(comm.Open(pty.Name, 9600, 8, 0, 0));
    }
    void TearDown() override { SetTraceSink(nullptr); }

    // The bytes that reached the instrument's end of the line.
    Bytes Sent() { return pty.ReadMaster(26); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }

    TPtyPair pty;
    TSerialComm comm;
    std::mutex mutex;
    std::vector<std::string> lines;
};

TEST_F(RequestsTest, RequestsWithoutPayloadAreWrittenByteExact) {
    SendConnect(&comm);
    EXPECT_EQ(Sent(), Request(0xAA, {}, 0x5F));
    SendDisconnect(&comm);
    EXPECT_EQ(Sent(), Request(0xBB, {}, 0x70));
    SendSaveResult(&comm);
    EXPECT_EQ(Sent(), Request(0xC2, {}, 0x77));
    SendReadDirectory(&comm);
    EXPECT_EQ(Sent(), Request(0xC3, {}, 0x78));
    SendClearHistory(&comm);
    EXPECT_EQ(Sent(), Request(0xC4, {}, 0x79));
    SendUploadHistory(&comm);
    EXPECT_EQ(Sent(), Request(0xC6, {}, 0x7B));
}

TEST_F(RequestsTest, PrintRecordCarriesTheSource) {
    SendPrintRecord(&comm, 1);
    EXPECT_EQ(Sent(), Request(0xC1, {0x01}, 0x77));
    SendPrintRecord(&comm, 0);
    EXPECT_EQ(Sent(), Request(0xC1, {0x00}, 0x76));
}

TEST_F(RequestsTest, RecordRequestsCarryTheLowByteOfTheRecordNumber) {
    SendReadRecord(&comm, 5);
    EXPECT_EQ(Sent(), Request(0xC5, {0x05}, 0x7F));
    SendReadRecord(&comm, 100);
    EXPECT_EQ(Sent(), Request(0xC5, {0x64}, 0xDE));
    SendReadRecord(&comm, 1);
    EXPECT_EQ(Sent(), Request(0xC5, {0x01}, 0x7B));
    SendReadRecord(&comm, 0x105);
    EXPECT_EQ(Sent(), Request(0xC5, {0x05}, 0x7F));
    SendDeleteRecord(&comm, 5);
    EXPECT_EQ(Sent(), Request(0xC7, {0x05}, 0x81));
    SendDeleteRecord(&comm, 100);
    EXPECT_EQ(Sent(), Request(0xC7, {0x64}, 0xE0));
}

TEST_F(RequestsTest, RecordRequestsWithoutARecordSendNothing) {
    SendReadRecord(&comm, std::nullopt);
    SendDeleteRecord(&comm, std::nullopt);
    EXPECT_TRUE(pty.ReadMaster(1, std::chrono::milliseconds(200)).empty());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(RequestsTest, ControlFrameCarriesTheWholeTestState) {
    TControlState startUp;
    startUp.TestFrequency = 40;
    SendControl(&comm, startUp, false);
    EXPECT_EQ(Sent(), Request(0xDD, {0x00, 0x28, 0x00, 0x00, 0x00}, 0xBA));
    TControlState running{1, 50, true, 1};
    SendControl(&comm, running, true);
    EXPECT_EQ(Sent(), Request(0xDD, {0x01, 0x32, 0x01, 0x01, 0x01}, 0xC8));
    SendControl(&comm, TControlState{0, 70, false, 0}, false);
    EXPECT_EQ(Sent(), Request(0xDD, {0x00, 0x46, 0x00, 0x00, 0x00}, 0xD8));
}

TEST_F(RequestsTest, EveryRequestIsTracedAsSentBeforeItIsWritten) {
    SendConnect(&comm);
    SendPrintRecord(&comm, 1);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0],
              "发送 24 A1 AA 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 5F 2A");
    EXPECT_EQ(Lines()[1],
              "发送 24 A1 C1 14 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 77 2A");
}

TEST_F(RequestsTest, WithoutAPortTheRequestIsTracedAndLost) {
    comm.Close();
    SendConnect(&comm);
    SendDisconnect(nullptr);
    EXPECT_TRUE(pty.ReadMaster(1, std::chrono::milliseconds(200)).empty());
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1],
              "发送 24 A1 BB 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 70 2A");
}

}  // namespace
