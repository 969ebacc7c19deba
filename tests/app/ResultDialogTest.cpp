// "保存" and "打开文件" through the real file dialogs (Qt's own widgets under
// the offscreen platform), answered by the test as a user would: a typed name
// without extension gets ".txt", an existing file is taken without a question.
#include <QFile>

#include "FileDialogAnswer.h"
#include "WindowFixture.h"
#include "app/kit/GlobVar.h"
#include "app/main/KR3090frm.h"

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
    void AnswerDialogWith(const QString& name) { AnswerFileDialog(name, &seen); }
    std::string Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }

    TRealDialogPlatform real;
    TFileDialogSeen seen;
};

}  // namespace

TEST_F(ResultDialog, TypedNameGetsTxtAndTheSameFileIsOfferedAndAppendedAgain) {
    Connect();
    const QString dir = folder.path();
    AnswerDialogWith(dir + QStringLiteral("/结果"));
    window->BitBtn4Click();
    const QString path = dir + QStringLiteral("/结果.txt");
    EXPECT_EQ(GlobVar.ResultFileName, path);
    EXPECT_EQ(seen.NameFilters, (QStringList{QStringLiteral("*.txt (*.txt)"),
                                             QStringLiteral("*.csv(Excel表格) (*.csv)")}));
    EXPECT_FALSE(seen.ConfirmsOverwrite);
    const std::string first = Read(path);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 15);

    // The file exists now: taken again without a question, the block appended.
    AnswerDialogWith(path);
    window->BitBtn4Click();
    ASSERT_FALSE(seen.Offered.isEmpty());
    EXPECT_EQ(seen.Offered.first(), path);
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
    EXPECT_EQ(seen.Title, "请选择历史文件");
    EXPECT_EQ(seen.NameFilters, QStringList{QStringLiteral("*.txt(txt文档) (*.txt)")});
    EXPECT_EQ(real.Opened, std::vector<QString>{path});

    AnswerDialogWith(path);
    window->BitBtn3Click();
    ASSERT_FALSE(seen.Offered.isEmpty());
    EXPECT_EQ(seen.Offered.first(), path);  // the file last chosen is offered again
}
