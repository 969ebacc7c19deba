#pragma once
// The serial connection: owns the port and the receive thread that polls it
// every 100 ms and hands each chunk to the receive callback.
//
// Threads: Open, Close, Write, SetReceiveCallback and destruction run on the
// window thread; Execute, Poll and the callback run on the receive thread.
// Destruction stops and joins the receive thread; before joining it calls the
// interrupt callback so that a callback blocked waiting for the window thread
// returns, and the join cannot deadlock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/CommPort.h"

// block is valid only during the call; count is 1..4096.
using TReceiveCallback = void (*)(const std::uint8_t* block, std::uint32_t count);
using TInterruptCallback = void (*)();

class TCommThread {
  public:
    TCommThread();
    ~TCommThread();  // requests termination and joins
    void Resume();   // starts the thread on first call; later calls do nothing
    void Terminate();
    bool Terminated() const { return terminated_.load(); }
    // Returns once no read through the previous handle or port is under way,
    // so the caller may close or release them.
    void SetHandle(TPortHandle handle);
    void SetPort(TCommPort* port);
    void SetCallback(TReceiveCallback callback) { callback_.store(callback); }
    void Poll();  // one read attempt

  private:
    void Execute();
    std::atomic<TPortHandle> handle_{0};
    std::atomic<TCommPort*> port_{nullptr};
    std::atomic<TReceiveCallback> callback_{nullptr};
    std::atomic<bool> terminated_{false};
    // Held around each read (never around the callback), so that replacing
    // the handle waits only for a read that does not block.
    std::mutex readMutex_;
    std::mutex sleepMutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

class TSerialComm {
  public:
    TSerialComm();
    ~TSerialComm();
    bool Open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
              std::uint8_t parity, std::uint8_t stopBits);
    bool Close();
    bool Write(const std::uint8_t* bytes, std::uint32_t count);
    void SetReceiveCallback(TReceiveCallback callback);
    void SetInterruptCallback(TInterruptCallback callback);
    TPortHandle Handle() const { return Handle_; }
    // Why the last Open failed; None after one that succeeded.
    TPortOpenError OpenError() const { return OpenError_; }

  private:
    TPortHandle Handle_ = 0;
    TPortOpenError OpenError_ = TPortOpenError::None;
    std::unique_ptr<TCommPort> Port;
    std::unique_ptr<TCommThread> Thread;
    TInterruptCallback Interrupt = nullptr;
};

struct TCommSettings;

// The port name the program opens for a ComName: "//.//" + ComName unless it
// already contains "//.//".
std::string PortNameFor(const std::string& comName);

// The message for a port that did not open (UTF-8): the device as opened
// (DevicePathForPortName: "//.//COM3" on Windows, "/dev/ttyUSB0" on Linux)
// followed by "打开串口失败，请配置串口!!". A device the user may not open adds a
// second line saying so, with the advice to join dialout when the device
// belongs to that group (only termios reports that cause).
std::string PortOpenMessage(const std::string& portName, TPortOpenError error);

// (Re)opens the port with the settings: creates comm on first use, closes the
// open port first, installs the callbacks and opens. On failure calls
// showMessage with PortOpenMessage and leaves portOpen false.
void OpenCommPort(std::unique_ptr<TSerialComm>& comm, bool& portOpen, const TCommSettings& settings,
                  TReceiveCallback receive, TInterruptCallback interrupt,
                  const std::function<void(const std::string&)>& showMessage);
