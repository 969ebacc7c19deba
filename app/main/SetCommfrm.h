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
    // Writes the settings to Config.ini and confirms; false, after saying
    // why, when it could not.
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
