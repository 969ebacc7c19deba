// The settings dialog "通讯设置": what it shows, what Save writes into
// Config.ini, its errors, and the port reopened after it closes.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"
#include "app/main/SetCommfrm.h"
#include "settings/Config.h"
#include "link/PortList.h"
#include "settings/SettingsLocation.h"
#include "tests/OrdinaryUser.h"

namespace {

class SettingsDialog : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        CommSettings = TCommSettings{};
        CommSettings.ComName = pty.SlavePath();  // the port the window has open
        dialog = std::make_unique<TfrmSetComm>(window.get());
        dialog->show();
    }
    void TearDown() override {
        dialog.reset();
        WindowTest::TearDown();
    }
    QString ConfigText() {
        QFile f(GlobVar.ConfigFileName);
        if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<none>");
        return QString::fromUtf8(f.readAll());
    }
    std::unique_ptr<TfrmSetComm> dialog;
};

// The dialog run modally from the toolbar; act() runs inside it.
void RunSettings(TfrmKR3090& w, const std::function<void(TfrmSetComm&)>& act) {
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TfrmSetComm*>(QApplication::activeModalWidget());
        if (!d) d = w.findChild<TfrmSetComm*>();
        ASSERT_TRUE(d);
        act(*d);
        d->BitBtn2Click();
    });
    w.BitBtn2Click();
}

TEST_F(SettingsDialog, ShowsTheDefaultsInItsRows) {
    dialog.reset();
    CommSettings = TCommSettings{};
    dialog = std::make_unique<TfrmSetComm>(window.get());
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "通讯设置");
    EXPECT_EQ(dialog->size(), QSize(255, 232));
    EXPECT_EQ(dialog->CombComm->currentText(), "COM1");
    EXPECT_EQ(dialog->Edt_DataNum->text(), "8");
    EXPECT_EQ(dialog->Edt_StopNum->currentText(), "1");
    EXPECT_EQ(dialog->CBx_Mark->currentText(), "None");
    EXPECT_EQ(dialog->CombBaud->currentText(), "9600");
    QStringList bauds;
    for (int i = 0; i < dialog->CombBaud->count(); ++i) bauds << dialog->CombBaud->itemText(i);
    EXPECT_EQ(bauds.join(u','), "300,600,1200,2400,9600,28800,57600,115200,230400");
    QStringList marks;
    for (int i = 0; i < dialog->CBx_Mark->count(); ++i) marks << dialog->CBx_Mark->itemText(i);
    EXPECT_EQ(marks.join(u','), "None,Odd,Even,Mark,Space");
    EXPECT_EQ(dialog->BitBtn1->text(), "保存");
    EXPECT_EQ(dialog->BitBtn2->text(), "关闭");
    EXPECT_EQ(dialog->CombComm->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(dialog->Edt_DataNum->palette().color(QPalette::Text), QColor(Qt::cyan));
}

TEST_F(SettingsDialog, SaveWritesTheFiveKeysAndKeepsTheHelpLine) {
    {
        QFile f(GlobVar.ConfigFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Config]\nHelpFileName=help.chm\n");
    }
    dialog->CombComm->setEditText(QStringLiteral("ttyUSB0"));
    dialog->Edt_DataNum->setText(QStringLiteral("7"));
    dialog->Edt_StopNum->setCurrentIndex(1);  // "1.5"
    dialog->CBx_Mark->setCurrentIndex(3);     // "Mark"
    dialog->CombBaud->setCurrentIndex(7);     // "115200"
    dialog->BitBtn1Click();
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "保存成功！");
    EXPECT_EQ(platform.Boxes[0].Caption, "提示");
    EXPECT_EQ(platform.Boxes[0].Icon, TMessageIcon::Information);
    EXPECT_TRUE(platform.Errors.empty());
    EXPECT_EQ(CommSettings.StopNum, 1);
    EXPECT_EQ(CommSettings.Mark, 3);
    const QString text = ConfigText();
    for (const char* line : {"ComName=ttyUSB0", "DataNum=7", "StopNum=1", "Mark=3", "Baud=115200",
                             "HelpFileName=help.chm"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
    EXPECT_TRUE(dialog->isVisible());  // the dialog stays open
}

TEST_F(SettingsDialog, LettersInTheDataBitsStopTheSaveAfterThePortName) {
    dialog->CombComm->setEditText(QStringLiteral("ttyS3"));
    dialog->Edt_DataNum->setText(QStringLiteral("8a"));
    dialog->BitBtn1Click();
    ASSERT_EQ(platform.Errors.size(), 1u);
    EXPECT_EQ(platform.Errors[0], "'8a' is not a valid integer value");
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_EQ(CommSettings.ComName, "ttyS3");
    EXPECT_EQ(CommSettings.DataNum, 8);
    EXPECT_EQ(ConfigText(), "<none>");
}

TEST_F(SettingsDialog, TypedBaudRateNotInTheListCountsAsNoChoice) {
    dialog->CombBaud->setEditText(QStringLiteral("19200"));
    dialog->Edt_StopNum->setCurrentIndex(2);
    dialog->BitBtn1Click();
    ASSERT_EQ(platform.Errors.size(), 1u);
    EXPECT_EQ(platform.Errors[0], "'' is not a valid integer value");
    EXPECT_EQ(CommSettings.StopNum, 2);  // the steps before it stand
    EXPECT_EQ(CommSettings.Baud, 9600);
    EXPECT_EQ(ConfigText(), "<none>");
}

TEST_F(SettingsDialog, RateOutsideTheListShowsAnEmptyBox) {
    dialog.reset();
    CommSettings.Baud = 19200;
    dialog = std::make_unique<TfrmSetComm>(window.get());
    dialog->show();
    EXPECT_EQ(dialog->CombBaud->currentText(), "");
    EXPECT_EQ(dialog->CombBaud->currentIndex(), -1);
    dialog->BitBtn1Click();
    ASSERT_EQ(platform.Errors.size(), 1u);
    EXPECT_EQ(platform.Errors[0], "'' is not a valid integer value");
}

TEST_F(SettingsDialog, UnwritableFileIsReportedWithItsPathAndCauseAndTheOldSettingsStayInUse) {
    GlobVar.ConfigFileName = folder.filePath(QStringLiteral("missing/Config.ini"));
    dialog.reset();
    TPty other;
    RunSettings(*window, [&](TfrmSetComm& d) {
        d.CombComm->setEditText(QString::fromStdString(other.SlavePath()));
        d.CombBaud->setCurrentIndex(7);  // "115200"
        d.BitBtn1Click();
    });
    ASSERT_EQ(platform.Errors.size(), 1u);
    EXPECT_EQ(platform.Errors[0], "无法写入配置文件 " + GlobVar.ConfigFileName +
                                      "：文件夹不存在\n新的设置没有保存，仍使用原来的设置。");
    EXPECT_TRUE(platform.Boxes.empty());
    // The port reopened after the dialog is the old one, at the old rate.
    EXPECT_EQ(CommSettings.ComName, pty.SlavePath());
    EXPECT_EQ(CommSettings.Baud, 9600);
    EXPECT_TRUE(GlobVar.PortOpen);
    window->SendConnect();
    EXPECT_EQ(Hex(pty.Read(26)).substr(0, 8), "24 A1 AA");
    EXPECT_TRUE(other.Drain().empty());
}

TEST_F(SettingsDialog, InstalledProgramKeepsItsSettingsInTheUsersConfigurationFolder) {
    // Whoever builds the test program may write its folder: Config.ini stays beside it.
    const QString appPath = GlobVar.AppPath;
    const TSettingsLocation built = SettingsLocationFor(appPath.toStdString());
    EXPECT_EQ(QString::fromStdString(built.ConfigFileName), appPath + "Config.ini");
    EXPECT_TRUE(built.BesideExecutable);
    EXPECT_EQ(QString::fromStdString(built.DataFolder), appPath);
    dialog.reset();
    window.reset();
    const QString xdg = folder.filePath(QStringLiteral("xdg"));
    QDir().mkpath(xdg);
    QFile::setPermissions(folder.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    QFile::setPermissions(xdg, QFile::ExeOther | QFile::ReadOther | QFile::WriteOther);
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", xdg.toUtf8());
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("share")).toUtf8());
    const QString file = xdg + "/kr3090/Config.ini";
    const QString data = folder.filePath(QStringLiteral("share/kr3090/"));
    // The folder the build installs into is the system's, however writable
    // (root may write /usr/bin): a save there would be every user's settings.
    const TSettingsLocation installed = SettingsLocationFor(KR3090_INSTALL_BINDIR "/");
    EXPECT_EQ(QString::fromStdString(installed.ConfigFileName), file);
    EXPECT_FALSE(installed.BesideExecutable);
    EXPECT_EQ(QString::fromStdString(installed.DataFolder), data);
    QString saved, afterRefusal;
    TCommSettings nextStart, inUseAfterRefusal, unreadable;
    [&] {
        TOrdinaryUser user;
        if (!user.Ordinary()) GTEST_SKIP() << "root could not become an ordinary user";
        window = std::make_unique<TfrmKR3090>();
        if (QFileInfo(GlobVar.AppPath).isWritable())
            GTEST_SKIP() << "this user may write the test program's folder";
        EXPECT_EQ(GlobVar.AppPath, appPath);  // nothing else moves
        EXPECT_EQ(GlobVar.ConfigFileName, file);
        EXPECT_EQ(GlobVar.DataFolder, data);
        EXPECT_FALSE(QFileInfo::exists(xdg + "/kr3090"));  // made by the first save only
        auto d = std::make_unique<TfrmSetComm>(window.get());
        d->show();
        d->CombComm->setEditText(QStringLiteral("/dev/ttyUSB0"));
        d->CBx_Mark->setCurrentIndex(2);  // "Even"
        d->CombBaud->setCurrentIndex(7);  // "115200"
        d->BitBtn1Click();
        saved = ConfigText();
        // The next start reads it.
        d.reset();
        window = std::make_unique<TfrmKR3090>();
        nextStart = CommSettings;
        // A file the user may not write is reported and left as it was.
        QFile::setPermissions(file, QFile::ReadOwner);
        d = std::make_unique<TfrmSetComm>(window.get());
        d->show();
        d->CombBaud->setCurrentIndex(0);
        d->BitBtn1Click();
        afterRefusal = ConfigText();
        inUseAfterRefusal = CommSettings;
        // One the user may not read gives the defaults.
        QFile::setPermissions(file, {});
        d.reset();
        window = std::make_unique<TfrmKR3090>();
        unreadable = CommSettings;
    }();
    qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("XDG_DATA_HOME", oldData);
    if (IsSkipped()) return;
    const QString text =
        "[Config]\r\nComName=/dev/ttyUSB0\r\nDataNum=8\r\nStopNum=0\r\nMark=2\r\nBaud=115200\r\n";
    EXPECT_EQ(saved, text);
    EXPECT_EQ(nextStart.ComName + "," + std::to_string(nextStart.Mark) + "," +
                  std::to_string(nextStart.Baud),
              "/dev/ttyUSB0,2,115200");
    EXPECT_EQ(afterRefusal, text);
    EXPECT_EQ(inUseAfterRefusal.Baud, 115200);
    ASSERT_EQ(platform.Boxes.size(), 1u);
    EXPECT_EQ(platform.Boxes[0].Text, "保存成功！");
    EXPECT_EQ(platform.Errors,
              std::vector<QString>{"无法写入配置文件 " + file +
                                   "：权限不足\n新的设置没有保存，仍使用原来的设置。"});
    EXPECT_EQ(unreadable.ComName, DefaultPortName());
    EXPECT_EQ(unreadable.Baud, 9600);
}

TEST_F(SettingsDialog, ClosingWithoutSavingStillReopensThePort) {
    dialog.reset();
    TPty other;
    RunSettings(*window, [&](TfrmSetComm& d) {
        d.CombComm->setEditText(QString::fromStdString(other.SlavePath()));
    });
    // Nothing saved: the port is the old one, opened again.
    EXPECT_TRUE(GlobVar.PortOpen);
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_EQ(ConfigText(), "<none>");
    window->SendConnect();
    EXPECT_EQ(Hex(pty.Read(26)).substr(0, 8), "24 A1 AA");
    EXPECT_TRUE(other.Drain().empty());
}

TEST_F(SettingsDialog, SavedPortIsTheOneReopenedAndFramesStillArrive) {
    dialog.reset();
    TPty other;
    RunSettings(*window, [&](TfrmSetComm& d) {
        d.CombComm->setEditText(QString::fromStdString(other.SlavePath()));
        d.BitBtn1Click();
    });
    EXPECT_TRUE(GlobVar.PortOpen);
    window->SendConnect();
    EXPECT_EQ(Hex(other.Read(26)).substr(0, 8), "24 A1 AA");
    other.Write(LiveReply(0xAA, 50, 2.5f, 1.25f, 30, 0, 0, 0));
    EXPECT_TRUE(WaitUntil([] { return GlobVar.Connected; }));
}

TEST_F(SettingsDialog, EmptyPortNameIsSavedAndTheFailedOpenIsShown) {
    dialog.reset();
    RunSettings(*window, [&](TfrmSetComm& d) {
        d.CombComm->setEditText(QString());
        d.BitBtn1Click();
    });
    EXPECT_TRUE(ConfigText().contains(QStringLiteral("ComName=\n")) ||
                ConfigText().contains(QStringLiteral("ComName=\r\n")));
    EXPECT_FALSE(GlobVar.PortOpen);
    ASSERT_EQ(platform.Boxes.size(), 2u);
    EXPECT_EQ(platform.Boxes[0].Text, "保存成功！");
    EXPECT_TRUE(platform.Boxes[1].Text.endsWith(QStringLiteral("打开串口失败，请配置串口!!")));
    EXPECT_EQ(platform.Boxes[1].Caption, "提示");
    // Commands go nowhere, quietly.
    window->SendConnect();
    window->BitBtn1Click();
    EXPECT_EQ(platform.Boxes.size(), 2u);
}

}  // namespace
