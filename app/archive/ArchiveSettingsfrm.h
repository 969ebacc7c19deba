#pragma once
// "档案设置": where the archive is — the user's own SQLite file, or a
// PostgreSQL server the team shares (host, port, database, user). Kept in
// [Archive] of Config.ini; the password never is: the program asks for it
// when the server wants one, or libpq reads it from ~/.pgpass (PGPASSFILE).

#include <QDialog>

#include "app/kit/Platform.h"
#include "archive/ArchiveSettings.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TArchiveTlsBox;

class TfrmArchiveSettings : public QDialog {
  public:
    explicit TfrmArchiveSettings(QWidget* owner);
    // Writes the settings and closes the archive, which the next use opens
    // from them; false (with the reason shown) when Config.ini cannot be written.
    bool BBtn_SaveClick();
    void BBtn_BrowseClick();
    // "测试连接" with the settings as typed, saved or not.
    void BBtn_TestClick();

    QRadioButton* RBtn_SQLite;
    QRadioButton* RBtn_PostgreSQL;
    QLineEdit* Edt_File;
    QPushButton* BBtn_Browse;
    QLineEdit* Edt_Host;
    QSpinBox* SEdt_Port;
    QLineEdit* Edt_Database;
    QLineEdit* Edt_User;
    TArchiveTlsBox* Grp_Tls;
    QPushButton* BBtn_Test;
    QPushButton* BBtn_Save;
    QPushButton* BBtn_Cancel;
    TFileDialogRequest FileDialog;

  private:
    TArchiveSettings Typed() const;  // the settings as the fields hold them
};

// Shows the dialog; true when new settings were saved.
bool ShowArchiveSettings(QWidget* owner);
