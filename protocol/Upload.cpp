#include "protocol/Upload.h"

#include <algorithm>

TUploadReply TakeUploadReply(TUploadState& state, const std::uint8_t* frame, int length) {
    TUploadReply reply;
    const int taken = std::clamp(length, 0, int(reply.Frame.size()));
    std::copy(frame, frame + taken, reply.Frame.begin());
    reply.Short = taken < int(reply.Frame.size());
    if (!state.UploadStarted) {
        state.UploadStarted = true;
        state.UploadTotal = reply.Frame[4];
        state.UploadCount = 0;
        reply.Header = true;
        return reply;
    }
    reply.Number = ++state.UploadCount;
    reply.Record = DecodeRecordValues(reply.Frame.data());
    return reply;
}

bool UploadWhole(const TUploadState& state) {
    return state.UploadStarted && state.UploadCount >= state.UploadTotal;
}

bool TUploadSet::Take(const std::uint8_t* frame, int length) {
    if (Taken || UploadWhole(State)) return false;
    const TUploadReply reply = TakeUploadReply(State, frame, length);
    if (!reply.Header) {
        Records.push_back(reply.Record);
        Broken = Broken || reply.Short;
    }
    return UploadWhole(State);
}
