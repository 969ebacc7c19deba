#pragma once
// What the window tests share: a recording platform (boxes, errors, shell,
// a clock the test sets), a pseudo-terminal pair whose slave the window opens
// as its port, reply frames, and a window fixture that shows the window on
// the slave with its timers stopped, so every frame on the line is one the
// test caused.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/kit/Platform.h"

class TfrmKR3090;

struct TBox {
    QString Text, Caption;
    TMessageIcon Icon;
};

class TRecordingPlatform : public TPlatform {
  public:
    void MessageBox(QWidget*, const QString& text, const QString& caption,
                    TMessageIcon icon) override {
        Boxes.push_back({text, caption, icon});
        if (OnBox) OnBox();
    }
    bool Confirm(QWidget*, const QString& text, const QString&) override {
        Questions.push_back(text);
        return ConfirmAnswer;
    }
    QString SaveFileName(QWidget*, const TFileDialogRequest& r) override {
        SaveAsked.push_back(r);
        if (!SaveAnswer.isEmpty()) r.ChosenFilter = SaveFilter;
        return SaveAnswer;
    }
    QString OpenFileName(QWidget*, const TFileDialogRequest&) override { return OpenAnswer; }
    void ShellOpen(QWidget*, const QString& path) override { Opened.push_back(path); }
    QDateTime Now() override { return Clock; }
    void ShowError(QWidget*, const QString& text) override { Errors.push_back(text); }

    std::vector<TBox> Boxes;
    std::vector<QString> Questions;
    std::vector<QString> Errors;
    std::vector<QString> Opened;
    QDateTime Clock = QDateTime(QDate(2017, 2, 16), QTime(12, 30, 30));
    bool ConfirmAnswer = true;
    QString SaveAnswer, OpenAnswer;
    int SaveFilter = 0;                       // the file type the save dialog answers with
    std::vector<TFileDialogRequest> SaveAsked;  // as each save dialog was asked
    std::function<void()> OnBox;  // runs inside the box, as a nested loop would
};

// A pseudo-terminal pair: the window opens SlavePath, the test plays the
// instrument on the master side.
class TPty {
  public:
    TPty();
    ~TPty();
    const std::string& SlavePath() const { return slavePath_; }
    void Write(const std::vector<std::uint8_t>& bytes);
    // The next n bytes on the line, or fewer after the time-out.
    std::vector<std::uint8_t> Read(std::size_t n,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Whatever is on the line now (the window writes synchronously).
    std::vector<std::uint8_t> Drain();
    int MasterFd() const { return master_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// "24 A1 DD ..."
std::string Hex(const std::vector<std::uint8_t>& bytes);
// A 26-byte reply of the given type with payload bytes from offset 4.
std::vector<std::uint8_t> Reply(std::uint8_t type, std::vector<std::uint8_t> payload = {});
// A live reading reply (0xAA or 0xDD).
std::vector<std::uint8_t> LiveReply(std::uint8_t type, std::uint8_t freq, float u, float i,
                                    float phi, std::uint8_t rm, std::uint8_t test,
                                    std::uint8_t mode);

// Processes events until pred holds or the time-out passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Presses "连接设备", answers with an idle live reading and waits for the
    // connection; the connect frame is taken off the line.
    void Connect();
    // Hands a reply to the window the way the receive path does.
    void Dispatch(const std::vector<std::uint8_t>& frame);
    // The next frame the window wrote, as hex.
    std::string NextFrame();

    TRecordingPlatform platform;
    TPty pty;
    QTemporaryDir folder;
    std::unique_ptr<TfrmKR3090> window;
    std::mutex traceMutex;
    std::vector<std::string> trace;
};
