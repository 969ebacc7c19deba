#include "app/main/SetCommfrm.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "app/kit/GlobVar.h"
#include "app/kit/Messages.h"
#include "app/kit/Platform.h"
#include "settings/Config.h"
#include "link/PortList.h"
#include "report/SongFont.h"

namespace {

const QStringList baudItems = {"300",   "600",   "1200",   "2400",  "9600",
                               "28800", "57600", "115200", "230400"};

// The field colours of the dialog: aqua text on black.
void Colour(QWidget* field) {
    QPalette p = field->palette();
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::Button})
        p.setColor(role, Qt::black);
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(role, Qt::cyan);
    field->setPalette(p);
    field->setAutoFillBackground(true);
#ifdef Q_OS_WIN
    // The Windows style draws a drop-down list as a themed button and ignores
    // the palette; a style sheet gives it the dialog's colours.
    if (auto* box = qobject_cast<QComboBox*>(field); box && !box->isEditable())
        box->setStyleSheet(QStringLiteral("QComboBox { background-color: black; color: aqua; }"));
#endif
}

QString NotAnInteger(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

}  // namespace

TfrmSetComm::TfrmSetComm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmSetComm"));
    setWindowTitle(QStringLiteral("通讯设置"));
    setFont(SongFont(13));
    setFixedSize(255, 232);

    const char* captions[] = {"通讯串口：", "数据位：", "停止位：", "校验位：", "波特率："};
    QLabel* labels[5];
    for (int row = 0; row < 5; ++row) {
        auto* l = labels[row] = new QLabel(QString::fromUtf8(captions[row]), this);
        l->setObjectName(QStringLiteral("Label%1").arg(row + 1));
        l->setGeometry(24, 24 + row * 32, 80, 21);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    CombComm = new QComboBox(this);
    CombComm->setObjectName(QStringLiteral("CombComm"));
    CombComm->setEditable(true);
    CombComm->setInsertPolicy(QComboBox::NoInsert);
    Edt_DataNum = new QLineEdit(QStringLiteral("8"), this);
    Edt_DataNum->setObjectName(QStringLiteral("Edt_DataNum"));
    Edt_StopNum = new QComboBox(this);
    Edt_StopNum->setObjectName(QStringLiteral("Edt_StopNum"));
    Edt_StopNum->addItems({"1", "1.5", "2"});
    CBx_Mark = new QComboBox(this);
    CBx_Mark->setObjectName(QStringLiteral("CBx_Mark"));
    CBx_Mark->addItems({"None", "Odd", "Even", "Mark", "Space"});
    CombBaud = new QComboBox(this);
    CombBaud->setObjectName(QStringLiteral("CombBaud"));
    CombBaud->setEditable(true);
    CombBaud->setInsertPolicy(QComboBox::NoInsert);
    CombBaud->addItems(baudItems);
    int row = 0;
    for (QWidget* field : {static_cast<QWidget*>(CombComm), static_cast<QWidget*>(Edt_DataNum),
                           static_cast<QWidget*>(Edt_StopNum), static_cast<QWidget*>(CBx_Mark),
                           static_cast<QWidget*>(CombBaud)}) {
        // The caption names its field for accessibility tools.
        labels[row]->setBuddy(field);
        field->setGeometry(108, 24 + row++ * 32, 121, 21);
        Colour(field);
    }
    if (CombComm->lineEdit()) Colour(CombComm->lineEdit());
    if (CombBaud->lineEdit()) Colour(CombBaud->lineEdit());

    BitBtn1 = new QPushButton(QStringLiteral("保存"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(40, 190, 75, 25);
    BitBtn2 = new QPushButton(QStringLiteral("关闭"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(140, 190, 75, 25);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmSetComm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmSetComm::BitBtn2Click);
}

void TfrmSetComm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmSetComm::FormShow() {
    FillPortList();
    CombComm->setEditText(QString::fromStdString(CommSettings.ComName));
    Edt_DataNum->setText(QString::number(CommSettings.DataNum));
    Edt_StopNum->setCurrentIndex(
        CommSettings.StopNum >= 0 && CommSettings.StopNum < 3 ? CommSettings.StopNum : -1);
    CBx_Mark->setCurrentIndex(CommSettings.Mark >= 0 && CommSettings.Mark < 5 ? CommSettings.Mark
                                                                              : -1);
    // A rate that is not an item leaves the box empty.
    const int baud = CombBaud->findText(QString::number(CommSettings.Baud), Qt::MatchExactly);
    CombBaud->setCurrentIndex(baud);
    if (baud < 0) CombBaud->setEditText(QString());
}

void TfrmSetComm::FillPortList() {
    CombComm->clear();
    for (const std::string& name : SerialPortNames())
        CombComm->addItem(QString::fromStdString(name));
}

void TfrmSetComm::BitBtn1Click() {
    const TCommSettings before = CommSettings;
    CommSettings.ComName = CombComm->currentText().toStdString();
    bool ok = false;
    const int dataNum = Edt_DataNum->text().toInt(&ok);
    if (!ok) {
        Platform().ShowError(this, NotAnInteger(Edt_DataNum->text()));
        return;
    }
    CommSettings.DataNum = dataNum;
    CommSettings.StopNum = Edt_StopNum->currentIndex();
    CommSettings.Mark = CBx_Mark->currentIndex();
    // Only an item chosen from the list counts, not a typed rate.
    const int index = CombBaud->currentIndex();
    const QString chosen = index >= 0 && CombBaud->itemText(index) == CombBaud->currentText()
                               ? CombBaud->itemText(index)
                               : QString();
    const int baud = chosen.toInt(&ok);
    if (!ok) {
        Platform().ShowError(this, NotAnInteger(chosen));
        return;
    }
    CommSettings.Baud = baud;
    // Settings that could not be kept are not used either: the port reopened
    // after the dialog is the one the file still names.
    if (!SaveConfig()) CommSettings = before;
}

bool TfrmSetComm::SaveConfig() {
    // The user's configuration folder is made by the first save.
    if (!GlobVar.FilesBesideExecutable) QDir().mkpath(QFileInfo(GlobVar.ConfigFileName).path());
    try {
        ::SaveConfig(GlobVar.ConfigFileName.toStdString(), CommSettings);
    } catch (const TConfigWriteError& e) {
        Platform().ShowError(this, ConfigWriteMessage(e));
        return false;
    }
    Platform().MessageBox(this, QStringLiteral("保存成功！"), QStringLiteral("提示"),
                          TMessageIcon::Information);
    return true;
}

void TfrmSetComm::BitBtn2Click() {
    close();
}

void ShowCommSettings(QWidget* owner) {
    auto dialog = std::make_unique<TfrmSetComm>(owner);
    dialog->exec();
}
