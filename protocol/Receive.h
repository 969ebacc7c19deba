#pragma once
// The receive path: CommReceive runs on the receive thread with each chunk the
// port delivered, traces it, cuts frames out of it and hands each frame to the
// window thread, waiting until the window has handled it. So frames are handled
// one at a time, in arrival order, on the window thread; FrameBuffer and
// FrameLength are not written while the window reads them.
//
// The window thread must never wait for the receive thread while handling a
// frame. The wait ends early when the hand-over is cancelled (the connection is
// being destroyed) or its target is cleared (the window is going away); a frame
// not yet handled then is dropped. The receive thread may then cut the next
// frame into FrameBuffer: a handler that clears the target or destroys the
// connection reads nothing from FrameBuffer afterwards.

#include <cstdint>
#include <functional>

#include "protocol/Frame.h"

// Process-wide receive state, owned by the receive path.
extern TFrameAssembler ReceivePath;
inline std::uint8_t (&RxBuffer)[RxBufferSize] = ReceivePath.RxBuffer;
inline std::int32_t& RxLength = ReceivePath.RxLength;
inline std::uint8_t (&FrameBuffer)[RxBufferSize] = ReceivePath.FrameBuffer;
inline std::int32_t& FrameLength = ReceivePath.FrameLength;

// Runs a function on the window thread, later (a queued call).
using TWindowPoster = std::function<void(std::function<void()>)>;

// Installs the window side: handler runs on the window thread for each frame
// and reads FrameBuffer/FrameLength. Re-arms a cancelled hand-over.
void SetFrameTarget(TWindowPoster post, std::function<void()> handler);
// Removes the window side; a waiting hand-over returns, later frames are dropped.
void ClearFrameTarget();
// Makes a waiting hand-over return at once and drops frames until the next
// SetFrameTarget. Safe from any thread; installed as the connection's
// interrupt callback.
void CancelFrameHandOver();

// The receive callback of the serial connection.
void CommReceive(const std::uint8_t* chunk, std::uint32_t count);
