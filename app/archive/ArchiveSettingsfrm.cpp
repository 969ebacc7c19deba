#include "app/archive/ArchiveSettingsfrm.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/archive/ArchiveAccess.h"
#include "app/archive/ArchiveTlsBox.h"
#include "app/kit/GlobVar.h"
#include "app/kit/Messages.h"
#include "app/kit/NoteLabel.h"
#include "app/kit/Platform.h"
#include "archive/ArchiveSql.h"
#include "qtext/QText.h"
#include "settings/Config.h"
#include "report/SongFont.h"

namespace {

template <class T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

TfrmArchiveSettings::TfrmArchiveSettings(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmArchiveSettings"));
    setWindowTitle(QStringLiteral("档案设置"));
    setFont(SongFont(14));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    RBtn_SQLite =
        Named(new QRadioButton(QStringLiteral("本机档案文件（SQLite）"), this), "RBtn_SQLite");
    RBtn_PostgreSQL = Named(new QRadioButton(QStringLiteral("共享档案服务器（PostgreSQL）"), this),
                            "RBtn_PostgreSQL");
    form->addRow(RBtn_SQLite);
    auto* file = new QHBoxLayout;
    Edt_File = Named(new QLineEdit(this), "Edt_File");
    BBtn_Browse = Named(new QPushButton(QStringLiteral("浏览..."), this), "BBtn_Browse");
    file->addWidget(Edt_File, 1);
    file->addWidget(BBtn_Browse);
    form->addRow(QStringLiteral("档案文件"), file);
    form->addRow(RBtn_PostgreSQL);
    Edt_Host = Named(new QLineEdit(this), "Edt_Host");
    form->addRow(QStringLiteral("服务器"), Edt_Host);
    SEdt_Port = Named(new QSpinBox(this), "SEdt_Port");
    SEdt_Port->setRange(1, 65535);
    form->addRow(QStringLiteral("端口"), SEdt_Port);
    Edt_Database = Named(new QLineEdit(this), "Edt_Database");
    form->addRow(QStringLiteral("数据库"), Edt_Database);
    Edt_User = Named(new QLineEdit(this), "Edt_User");
    form->addRow(QStringLiteral("用户名"), Edt_User);
    layout->addLayout(form);
    Grp_Tls = new TArchiveTlsBox(this);
    layout->addWidget(Grp_Tls);
    auto* note = Named(new QLabel(this), "Lbl_Password");
    SetNoteText(note, QStringLiteral("密码不保存：连接时询问，或由 ~/.pgpass（PGPASSFILE）提供。"));
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    BBtn_Test = Named(new QPushButton(QStringLiteral("测试连接"), this), "BBtn_Test");
    buttons->addWidget(BBtn_Test);
    buttons->addStretch();
    BBtn_Save = Named(new QPushButton(QStringLiteral("保存"), this), "BBtn_Save");
    BBtn_Cancel = Named(new QPushButton(QStringLiteral("取消"), this), "BBtn_Cancel");
    buttons->addWidget(BBtn_Save);
    buttons->addWidget(BBtn_Cancel);
    layout->addLayout(buttons);

    const TArchiveSettings s = ArchiveAccess().Settings();
    (s.Driver == TArchiveDriver::PostgreSQL ? RBtn_PostgreSQL : RBtn_SQLite)->setChecked(true);
    Edt_File->setText(Q(s.File));
    Edt_Host->setText(Q(s.Host));
    SEdt_Port->setValue(s.Port);
    Edt_Database->setText(Q(s.Database));
    Edt_User->setText(Q(s.User));
    Grp_Tls->Load(s);
    FileDialog.Filter = QStringLiteral("*.sqlite(档案文件)|*.sqlite");
    FileDialog.DefaultExt = QStringLiteral("sqlite");

    const auto follow = [this] {
        const bool file = RBtn_SQLite->isChecked();
        Edt_File->setEnabled(file);
        BBtn_Browse->setEnabled(file);
        for (QWidget* w : std::initializer_list<QWidget*>{Edt_Host, SEdt_Port, Edt_Database,
                                                          Edt_User, Grp_Tls, BBtn_Test})
            w->setEnabled(!file);
    };
    follow();
    connect(RBtn_SQLite, &QRadioButton::toggled, this, follow);
    connect(BBtn_Browse, &QPushButton::clicked, this, &TfrmArchiveSettings::BBtn_BrowseClick);
    connect(BBtn_Test, &QPushButton::clicked, this, &TfrmArchiveSettings::BBtn_TestClick);
    connect(BBtn_Save, &QPushButton::clicked, this, [this] {
        if (BBtn_SaveClick()) accept();
    });
    connect(BBtn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmArchiveSettings::BBtn_BrowseClick() {
    FileDialog.FileName = Edt_File->text();
    const QString path = Platform().SaveFileName(this, FileDialog);
    if (!path.isEmpty()) Edt_File->setText(QDir::toNativeSeparators(path));
}

void TfrmArchiveSettings::BBtn_TestClick() {
    TestArchiveConnection(this, Typed());
}

TArchiveSettings TfrmArchiveSettings::Typed() const {
    TArchiveSettings settings;
    settings.Driver =
        RBtn_PostgreSQL->isChecked() ? TArchiveDriver::PostgreSQL : TArchiveDriver::SQLite;
    settings.File = Edt_File->text().trimmed().toStdString();
    if (settings.File.empty()) settings.File = ArchiveFileIn(GlobVar.DataFolder.toStdString());
    settings.Host = Edt_Host->text().trimmed().toStdString();
    settings.Port = SEdt_Port->value();
    settings.Database = Edt_Database->text().trimmed().toStdString();
    settings.User = Edt_User->text().trimmed().toStdString();
    Grp_Tls->Store(settings);
    return settings;
}

bool TfrmArchiveSettings::BBtn_SaveClick() {
    // A choice this machine cannot open is not saved: the archive in use stays.
    const std::string missing = MissingDriverText(
        RBtn_PostgreSQL->isChecked() ? TArchiveDriver::PostgreSQL : TArchiveDriver::SQLite);
    if (!missing.empty()) {
        Platform().MessageBox(this, Q(missing) + QStringLiteral("\n档案设置未改变。"),
                              QStringLiteral("提示"), TMessageIcon::Warning);
        return false;
    }
    const TArchiveSettings settings = Typed();
    if (!GlobVar.FilesBesideExecutable) QDir().mkpath(QFileInfo(GlobVar.ConfigFileName).path());
    try {
        SaveArchiveSettings(GlobVar.ConfigFileName.toStdString(), settings,
                            GlobVar.DataFolder.toStdString());
    } catch (const TConfigWriteError& e) {
        Platform().ShowError(this, ConfigWriteMessage(e));
        return false;
    }
    ArchiveAccess().Close();
    return true;
}

bool ShowArchiveSettings(QWidget* owner) {
    TfrmArchiveSettings dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}
