// "保存" and "打开文件" through the real file dialogs (Qt's own widgets under
// the offscreen platform), answered by the test as a user would: a typed name
// without extension gets ".txt", an existing file is taken without a question.
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include "WindowFixture.h"
#include "app/GlobVar.h"
#include "app/KR3090frm.h"

namespace {

// Boxes are recorded; the save dialog is the program's real one.
class TRealDialogPlatform : public TRecordingPlatform {
  public:
    QString SaveFileName(QWidget* owner, const TFileDialogRequest& r) override {
        return TQtPlatform().SaveFileName(owner, r);
    }
    QString OpenFileName(QWidget* owner, const TFileDialogRequest& r) override {
        return TQtPlatform().OpenFileName(owner, r);
    }
};

class ResultDialog : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetPlatform(&real);
    }
    // Types `name` into the dialog once it is up and accepts it; records what
    // the dialog offered.
    void AnswerDialogWith(const QString& name, int attempts = 100) {
        QTimer::singleShot(50, [this, name, attempts] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (attempts > 0) AnswerDialogWith(name, attempts - 1);
                return;
            }
            title = dialog->windowTitle();
            nameFilters = dialog->nameFilters();
            offered = dialog->selectedFiles();
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }
    std::string Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }

    TRealDialogPlatform real;
    QString title;
    QStringList nameFilters, offered;
    bool confirmsOverwrite = true;
};

}  // namespace

TEST_F(ResultDialog, TypedNameGetsTxtAndTheSameFileIsOfferedAndAppendedAgain) {
    Connect();
    const QString dir = folder.path();
    AnswerDialogWith(dir + QStringLiteral("/结果"));
    window->BitBtn4Click();
    const QString path = dir + QStringLiteral("/结果.txt");
    EXPECT_EQ(GlobVar.ResultFileName, path);
    EXPECT_EQ(nameFilters, QStringList{QStringLiteral("*.txt (*.txt)")});
    EXPECT_FALSE(confirmsOverwrite);
    const std::string first = Read(path);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 15);

    // The file exists now: taken again without a question, the block appended.
    AnswerDialogWith(path);
    window->BitBtn4Click();
    ASSERT_FALSE(offered.isEmpty());
    EXPECT_EQ(offered.first(), path);
    const std::string both = Read(path);
    EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), 30);
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_TRUE(real.Boxes.empty());
}

TEST_F(ResultDialog, OpenDialogAsksForAHistoryFileAndHandsItToTheShell) {
    const QString path = folder.filePath(QStringLiteral("历史 文件.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    AnswerDialogWith(path);
    window->BitBtn3Click();
    EXPECT_EQ(title, "请选择历史文件");
    EXPECT_EQ(nameFilters, QStringList{QStringLiteral("*.txt(txt文档) (*.txt)")});
    EXPECT_EQ(real.Opened, std::vector<QString>{path});

    AnswerDialogWith(path);
    window->BitBtn3Click();
    ASSERT_FALSE(offered.isEmpty());
    EXPECT_EQ(offered.first(), path);  // the file last chosen is offered again
}
