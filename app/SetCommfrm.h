#pragma once
// The communication settings dialog "通讯设置": port, data bits, stop bits,
// parity and baud rate, saved into Config.ini. The main window reopens the
// port after it closes, whatever happened in it.

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmSetComm : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmSetComm(QWidget* owner);

    void FormShow();
    void FillPortList();
    void BitBtn1Click();  // save
    void BitBtn2Click();  // close, nothing saved
    // Writes the settings to Config.ini and confirms; false when it could not.
    bool SaveConfig();

    QComboBox* CombComm;
    QLineEdit* Edt_DataNum;
    QComboBox* Edt_StopNum;
    QComboBox* CBx_Mark;
    QComboBox* CombBaud;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

  protected:
    void showEvent(QShowEvent* event) override;
};

// Shows the dialog modally over owner and releases it when it closes.
void ShowCommSettings(QWidget* owner);

// Config.ini for the executable's folder appPath (with trailing separator):
// beside the executable whenever that folder is writable or already holds a
// Config.ini (an unzipped or demo program); otherwise, on Linux, in the user's
// configuration folder, since an installed program's folder is the system's.
QString ConfigFileNameFor(const QString& appPath);
// $XDG_CONFIG_HOME/kr3090/Config.ini, by default ~/.config/kr3090/Config.ini.
QString UserConfigFileName();
