#include "link/SerialComm.h"

#include <chrono>

#include "settings/Config.h"

namespace {
constexpr auto PollPeriod = std::chrono::milliseconds(100);
}

// ---- TCommThread ----------------------------------------------------------

TCommThread::TCommThread() = default;

TCommThread::~TCommThread() {
    Terminate();
    if (thread_.joinable()) thread_.join();
}

void TCommThread::Resume() {
    if (!thread_.joinable() && !terminated_.load())
        thread_ = std::thread(&TCommThread::Execute, this);
}

void TCommThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(sleepMutex_);
        terminated_.store(true);
    }
    wake_.notify_all();
}

void TCommThread::SetHandle(TPortHandle handle) {
    std::lock_guard<std::mutex> lock(readMutex_);
    handle_.store(handle);
}

void TCommThread::SetPort(TCommPort* port) {
    std::lock_guard<std::mutex> lock(readMutex_);
    port_.store(port);
}

void TCommThread::Execute() {
    while (!terminated_.load()) {
        {
            // The sleep ends early when termination is requested.
            std::unique_lock<std::mutex> lock(sleepMutex_);
            if (wake_.wait_for(lock, PollPeriod, [this] { return terminated_.load(); })) break;
        }
        Poll();
    }
}

void TCommThread::Poll() {
    std::uint8_t block[CommReadBufferSize] = {};
    std::uint32_t count = 0;
    bool delivered = false;
    {
        std::lock_guard<std::mutex> lock(readMutex_);
        TCommPort* port = port_.load();
        if (port) delivered = port->Read(handle_.load(), block, count);
    }
    if (!delivered) return;
    if (TReceiveCallback callback = callback_.load()) callback(block, count);
}

// ---- TSerialComm ----------------------------------------------------------

TSerialComm::TSerialComm()
    : Port(std::make_unique<TCommPort>()), Thread(std::make_unique<TCommThread>()) {}

TSerialComm::~TSerialComm() {
    Thread->Terminate();
    // A callback waiting for the window thread (which is running this
    // destructor) must give up, or the join below would never return.
    if (Interrupt) Interrupt();
    Thread.reset();
    if (Handle_ != 0) Port->Close(Handle_);
    Handle_ = 0;
}

bool TSerialComm::Open(const std::string& portName, std::uint32_t baudRate, std::uint8_t byteSize,
                       std::uint8_t parity, std::uint8_t stopBits) {
    // A second Open without Close would leak the first port and keep it locked.
    Close();
    Handle_ = Port->Open(portName, baudRate, byteSize, parity, stopBits, &OpenError_);
    Thread->SetHandle(Handle_);
    Thread->SetPort(Port.get());
    Thread->Resume();
    return Handle_ != 0;
}

bool TSerialComm::Close() {
    if (Handle_ == 0) return false;
    const TPortHandle handle = Handle_;
    Handle_ = 0;
    Thread->SetHandle(0);  // no poll reads through the handle after this
    Port->Close(handle);
    return true;
}

bool TSerialComm::Write(const std::uint8_t* bytes, std::uint32_t count) {
    return Port->Write(Handle_, bytes, count);
}

void TSerialComm::SetReceiveCallback(TReceiveCallback callback) {
    Thread->SetCallback(callback);
}

void TSerialComm::SetInterruptCallback(TInterruptCallback callback) {
    Interrupt = callback;
}

// ---- Opening the configured port -------------------------------------------

std::string PortNameFor(const std::string& comName) {
    if (comName.find("//.//") != std::string::npos) return comName;
    return "//.//" + comName;
}

std::string PortOpenMessage(const std::string& portName, TPortOpenError error) {
    const std::string device = DevicePathForPortName(portName);
    std::string message = device + "打开串口失败，请配置串口!!";
    if (error != TPortOpenError::NotPermitted) return message;
    // Serial devices belong to the group dialout; a new member gets the group
    // at the next login. Other devices (a pseudo-terminal) are their owner's.
    if (DeviceGroupName(device) == "dialout")
        return message + "\n没有访问该串口的权限：请将当前用户加入 dialout 组后重新登录。";
    return message + "\n没有访问该串口的权限。";
}

void OpenCommPort(std::unique_ptr<TSerialComm>& comm, bool& portOpen, const TCommSettings& settings,
                  TReceiveCallback receive, TInterruptCallback interrupt,
                  const std::function<void(const std::string&)>& showMessage) {
    const std::string name = PortNameFor(settings.ComName);
    if (!comm) comm = std::make_unique<TSerialComm>();
    if (portOpen) comm->Close();
    portOpen = false;
    comm->SetReceiveCallback(receive);
    comm->SetInterruptCallback(interrupt);
    // The three 8-bit settings take the low byte, the rate is passed unchanged.
    if (comm->Open(name, static_cast<std::uint32_t>(settings.Baud),
                   static_cast<std::uint8_t>(settings.DataNum & 0xFF),
                   static_cast<std::uint8_t>(settings.Mark & 0xFF),
                   static_cast<std::uint8_t>(settings.StopNum & 0xFF))) {
        portOpen = true;
    } else if (showMessage) {
        showMessage(PortOpenMessage(name, comm->OpenError()));
    }
}
