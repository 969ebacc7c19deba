#include "protocol/Requests.h"

#include "link/SerialComm.h"
#include "link/Trace.h"
#include "protocol/Frame.h"

namespace {

void Send(TSerialComm* comm, const TRequestFrame& frame) {
    TraceSent(frame.data(), RequestFrameLength);
    if (comm) comm->Write(frame.data(), RequestFrameLength);
}

std::uint8_t Low(int value) { return static_cast<std::uint8_t>(value & 0xFF); }

}  // namespace

void SendConnect(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdConnect)); }
void SendDisconnect(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdDisconnect)); }

void SendControl(TSerialComm* comm, const TControlState& state, bool reset) {
    Send(comm, BuildRequestFrame(CmdControl, {Low(state.RmMode), Low(state.TestFrequency),
                                              std::uint8_t(state.Testing ? 1 : 0),
                                              std::uint8_t(reset ? 1 : 0), Low(state.DataMode)}));
}

void SendPrintRecord(TSerialComm* comm, std::uint8_t source) {
    Send(comm, BuildRequestFrame(CmdPrint, {source}));
}
void SendSaveResult(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdStore)); }
void SendReadDirectory(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdDirectory)); }
void SendClearHistory(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdErase)); }
void SendUploadHistory(TSerialComm* comm) { Send(comm, BuildRequestFrame(CmdUpload)); }

void SendReadRecord(TSerialComm* comm, std::optional<int> record) {
    if (record) Send(comm, BuildRequestFrame(CmdReadRecord, {Low(*record)}));
}

void SendDeleteRecord(TSerialComm* comm, std::optional<int> record) {
    if (record) Send(comm, BuildRequestFrame(CmdDelete, {Low(*record)}));
}
