#include "app/archive/ArchiveTlsBox.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "archive/ArchiveConnection.h"
#include "qtext/QText.h"

namespace {

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The modes in SslModes' order.
const char* const ModeTexts[] = {
    "加密，验证证书链和主机名（verify-full）",
    "加密，只验证证书链（verify-ca）",
    "加密，不验证证书（require）",
    "不加密（disable）",
};

}  // namespace

TArchiveTlsBox::TArchiveTlsBox(QWidget* owner)
    : QGroupBox(QStringLiteral("加密连接（TLS）"), owner) {
    setObjectName(QStringLiteral("Grp_Tls"));
    auto* form = new QFormLayout(this);
    CBox_SslMode = Named(new QComboBox(this), "CBox_SslMode");
    for (std::size_t k = 0; k < std::size(SslModes); ++k)
        CBox_SslMode->addItem(QString::fromUtf8(ModeTexts[k]), QString::fromLatin1(SslModes[k]));
    form->addRow(QStringLiteral("加密方式"), CBox_SslMode);
    const auto fileRow = [&](const char* label, QLineEdit*& edit, const char* editName,
                             QPushButton*& browse, const char* browseName) {
        auto* row = new QHBoxLayout;
        edit = Named(new QLineEdit(this), editName);
        browse = Named(new QPushButton(QStringLiteral("浏览..."), this), browseName);
        row->addWidget(edit, 1);
        row->addWidget(browse);
        form->addRow(QString::fromUtf8(label), row);
        connect(browse, &QPushButton::clicked, this, [this, edit] {
            FileDialog.FileName = edit->text();
            const QString path = Platform().OpenFileName(this, FileDialog);
            if (!path.isEmpty()) edit->setText(QDir::toNativeSeparators(path));
        });
    };
    fileRow("根证书", Edt_RootCert, "Edt_RootCert", BBtn_RootCert, "BBtn_RootCert");
    fileRow("客户端证书", Edt_ClientCert, "Edt_ClientCert", BBtn_ClientCert, "BBtn_ClientCert");
    fileRow("客户端私钥", Edt_ClientKey, "Edt_ClientKey", BBtn_ClientKey, "BBtn_ClientKey");
    Edt_ClientCert->setPlaceholderText(QStringLiteral("可不填"));
    Edt_ClientKey->setPlaceholderText(QStringLiteral("可不填"));
    FileDialog.Filter =
        QStringLiteral("证书和私钥(*.crt;*.pem;*.key)|*.crt;*.pem;*.key|所有文件|*.*");
    const auto follow = [this] {
        const bool encrypts = CBox_SslMode->currentData().toString() != "disable";
        for (QWidget* w :
             std::initializer_list<QWidget*>{Edt_RootCert, BBtn_RootCert, Edt_ClientCert,
                                             BBtn_ClientCert, Edt_ClientKey, BBtn_ClientKey})
            w->setEnabled(encrypts);
    };
    connect(CBox_SslMode, &QComboBox::currentIndexChanged, this, follow);
    follow();
}

void TArchiveTlsBox::Load(const TArchiveSettings& s) {
    const int mode = CBox_SslMode->findData(Q(s.SslMode));
    CBox_SslMode->setCurrentIndex(mode < 0 ? 0 : mode);
    Edt_RootCert->setText(Q(s.RootCert.empty() ? DefaultRootCertFile() : s.RootCert));
    Edt_ClientCert->setText(Q(s.ClientCert));
    Edt_ClientKey->setText(Q(s.ClientKey));
}

void TArchiveTlsBox::Store(TArchiveSettings& settings) const {
    settings.SslMode = CBox_SslMode->currentData().toString().toStdString();
    const std::string root = Edt_RootCert->text().trimmed().toStdString();
    settings.RootCert = root == DefaultRootCertFile() ? std::string() : root;
    settings.ClientCert = Edt_ClientCert->text().trimmed().toStdString();
    settings.ClientKey = Edt_ClientKey->text().trimmed().toStdString();
}

void TestArchiveConnection(QWidget* owner, const TArchiveSettings& settings) {
    TServerCheck check = CheckServer(settings, {});
    if (check.Problem == TArchiveProblem::PasswordRefused) {
        const QString password =
            Platform().Password(owner, Q(check.Text) + QStringLiteral("\n请输入数据库密码："));
        if (password.isEmpty()) return;
        check = CheckServer(settings, password.toStdString());
    }
    Platform().MessageBox(owner, Q(check.Text), QStringLiteral("测试连接"),
                          check.Connected ? TMessageIcon::Information : TMessageIcon::Warning);
}
