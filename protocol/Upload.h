#pragma once
// The replies of an upload (request 0xC6): the first after the request is a
// header announcing how many records follow, every further one a record.
//
//   24 A1 C6 14 03 00.. sum 2A       header: byte 4 = records that follow (3)
//   24 A1 C6 14 2D 00 00 48 41 00 00 A0 3F 00 00 F0 41 00 11 02 10 0C 1E 1E sum 2A
//      record: 45 Hz, U 12.5 V, I 1.25 A, Φ 30°, Rm off, 2017-02-16 12:30:30
//
// The set is whole once the announced count has arrived; a header announcing
// none is whole at once. Nothing here waits: a stream that stops short simply
// never becomes whole, and the next upload starts afresh. Replies after the
// set is whole are still counted as records (numbered on past the total); the
// upload into a file writes them, a user of the whole set leaves them out.

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/RecordValues.h"

// Where an upload stands. The file upload keeps it in the program-wide state,
// under these names.
struct TUploadState {
    bool UploadStarted = false;  // the header has arrived
    int UploadTotal = 0;         // records it announced, 0..255
    int UploadCount = 0;         // records since the header
};

// One reply as the upload takes it.
struct TUploadReply {
    bool Header = false;
    // The reply's 26 bytes; offsets 4..23 are read whatever the length byte
    // says, so bytes a short frame lacks read as 0.
    std::array<std::uint8_t, 26> Frame{};
    bool Short = false;  // the frame was shorter than 26 bytes
    int Number = 0;      // a record: its running number in the upload, from 1
    TRecordValues Record;
};

// Takes one 0xC6 reply into state.
TUploadReply TakeUploadReply(TUploadState& state, const std::uint8_t* frame, int length);
// The announced records have all arrived.
bool UploadWhole(const TUploadState& state);

// The records of one upload, kept until the set is whole: what the frequency
// analysis and the archive take.
struct TUploadSet {
    TUploadState State;
    std::vector<TRecordValues> Records;
    bool Broken = false;  // a record came in a short frame: its values are not whole
    bool Taken = false;   // handed on; later replies are not part of it

    // Takes one reply; true when it made the set whole.
    bool Take(const std::uint8_t* frame, int length);
};
