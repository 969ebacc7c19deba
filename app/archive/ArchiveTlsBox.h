#pragma once
// The TLS part of "档案设置" for a server: how the link is encrypted and
// checked (full verification, the certificate chain and the host name, by
// default), the root certificate that vouches for the server (libpq's own
// place when left as shown) and an optional client certificate with its key.
// And "测试连接": what the server says of the link, in Chinese.

#include <QGroupBox>

#include "app/kit/Platform.h"
#include "archive/ArchiveSettings.h"

class QComboBox;
class QLineEdit;
class QPushButton;

class TArchiveTlsBox : public QGroupBox {
  public:
    explicit TArchiveTlsBox(QWidget* owner);
    void Load(const TArchiveSettings& settings);
    // Into [Archive]: the root certificate shown by default stays empty, so
    // that it follows libpq's place.
    void Store(TArchiveSettings& settings) const;

    QComboBox* CBox_SslMode;
    QLineEdit* Edt_RootCert;
    QPushButton* BBtn_RootCert;
    QLineEdit* Edt_ClientCert;
    QPushButton* BBtn_ClientCert;
    QLineEdit* Edt_ClientKey;
    QPushButton* BBtn_ClientKey;
    TFileDialogRequest FileDialog;
};

// "测试连接" with these settings: the server's own view of the link, its
// version, or why not, in a box. A server that wants a password asks for it
// (and it is not kept). Nothing is stored.
void TestArchiveConnection(QWidget* owner, const TArchiveSettings& settings);
