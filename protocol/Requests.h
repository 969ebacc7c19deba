#pragma once
// The ten requests the instrument understands. Each builds one 26-byte frame,
// traces it and writes it through the connection; nothing waits for a reply.
// With no connection object or no open port the frame is traced and dropped.
//
//   SendConnect        24 A1 AA 14 00.. 5F 2A
//   SendPrintRecord(1) 24 A1 C1 14 01 00.. 77 2A
//   SendControl        24 A1 DD 14 rm f test reset mode 00.. sum 2A

#include <cstdint>
#include <optional>

class TSerialComm;

// What the control frame carries: the whole current setting every time.
struct TControlState {
    int RmMode = 0;         // 0 off, 1 on
    int TestFrequency = 0;  // hertz, 40..70
    bool Testing = false;
    int DataMode = 0;       // 0 average, 1 instantaneous
};

void SendConnect(TSerialComm* comm);
void SendDisconnect(TSerialComm* comm);
void SendControl(TSerialComm* comm, const TControlState& state, bool reset);
void SendPrintRecord(TSerialComm* comm, std::uint8_t source);  // 0 current result, 1 record shown
void SendSaveResult(TSerialComm* comm);
void SendReadDirectory(TSerialComm* comm);
void SendClearHistory(TSerialComm* comm);
// With no record number (no selected row) nothing is sent.
void SendReadRecord(TSerialComm* comm, std::optional<int> record);
void SendUploadHistory(TSerialComm* comm);
void SendDeleteRecord(TSerialComm* comm, std::optional<int> record);
