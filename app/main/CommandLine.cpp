#include "app/main/CommandLine.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "archive/ArchiveSql.h"
#include "archive/ArchiveSync.h"
#include "qtext/QText.h"

namespace {

QString Usage() {
    return QStringLiteral(
               "用法：kr3090 [--trace]\n"
               "大地网接地参数综合测试仪 %1 版：经串口操作 KR3090 接地参数测试仪，读取、保存、"
               "分析和打印它的测试结果，并把记录存入测试档案。\n"
               "\n"
               "  --trace     把与仪器往来的每一帧写到标准错误（日志类别 kr3090.trace）\n"
               "  --sync [--upload-only | --download-only] 笔记本档案 服务器档案\n"
               "              两个档案互相补齐对方没有的场地、测试和记录后退出；档案写作 SQLite "
               "文件的\n"
               "              路径或 postgresql://用户@主机:端口/数据库（密码取自 ~/.pgpass）\n"
               "  --init-server 服务器档案\n"
               "              建立团队的角色（测试、审核、管理）、权限和档案表后退出\n"
               "  --add-user 服务器档案 用户名 角色\n"
               "              添加团队成员，角色是测试、审核或管理；密码从标准输入读入\n"
               "  -h, --help  显示本说明后退出\n"
               "  --version   显示版本后退出\n"
               "\n"
               "串口设置在窗口的“通讯设置”里，保存在 Config.ini；使用说明由窗口上的“帮助”打开。\n")
        .arg(QStringLiteral(KR3090_VERSION));
}

QString NoDisplaySentence() {
    return QStringLiteral(
        "kr3090：没有可用的图形显示，窗口无法打开。请在桌面里启动本程序；"
        "在没有显示器的机器上可以用 xvfb-run kr3090。\n");
}

QtMessageHandler previousHandler = nullptr;

void StartupHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains(QStringLiteral("platform plugin"))) {
        std::fputs(NoDisplaySentence().toUtf8().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (previousHandler) previousHandler(type, context, text);
}

}  // namespace

std::optional<QString> CommandLineAnswer(const QStringList& arguments) {
    for (const QString& a : arguments.mid(1)) {
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) return Usage();
        if (a == QStringLiteral("--version"))
            return QStringLiteral("kr3090 %1\n").arg(QStringLiteral(KR3090_VERSION));
    }
    return std::nullopt;
}

bool AsksForSync(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--sync"));
}

namespace {

void Print(FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

}  // namespace

int RunSync(const QStringList& arguments) {
    TSyncDirection direction = TSyncDirection::Both;
    QStringList archives;
    bool understood = true;
    for (const QString& a : arguments.mid(1)) {
        if (a == QStringLiteral("--sync") || a == QStringLiteral("--trace")) continue;
        if (a == QStringLiteral("--upload-only") && direction == TSyncDirection::Both)
            direction = TSyncDirection::UploadOnly;
        else if (a == QStringLiteral("--download-only") && direction == TSyncDirection::Both)
            direction = TSyncDirection::DownloadOnly;
        else if (a.startsWith(QStringLiteral("--")) || a.isEmpty())
            understood = false;
        else
            archives << a;
    }
    if (!understood || archives.size() != 2) {
        Print(stderr, QStringLiteral("kr3090：--sync 需要两个档案：kr3090 --sync [--upload-only | "
                                     "--download-only] 笔记本档案 服务器档案\n"));
        return 2;
    }
    TSyncResult result;
    QString failure;
    try {
        auto laptop = OpenArchive(ArchiveSettingsOf(archives[0].toStdString()));
        auto server = OpenArchive(ArchiveSettingsOf(archives[1].toStdString()));
        SyncArchives(*laptop, *server, direction, result);
    } catch (const TArchiveError& e) {
        failure = Q(e.what());
    }
    if (direction != TSyncDirection::DownloadOnly)
        Print(stdout, Q(SyncCountsText("上传", result.Up)));
    if (direction != TSyncDirection::UploadOnly)
        Print(stdout, Q(SyncCountsText("下载", result.Down)));
    Print(stdout, Q(ConflictsText(result.Conflicts)));
    if (failure.isEmpty()) return 0;
    Print(stderr, QStringLiteral("kr3090：同步没有完成：%1\n").arg(failure));
    return 1;
}

std::optional<QString> NoDisplayText(const QStringList& arguments) {
#ifdef Q_OS_WIN
    Q_UNUSED(arguments);
    return std::nullopt;
#else
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (qsizetype k = 1; k + 1 < arguments.size(); ++k)
        if (arguments[k] == QStringLiteral("-platform") ||
            arguments[k] == QStringLiteral("--platform"))
            platform = arguments[k + 1];
    // Only the desktop's own platforms need a display: offscreen, vnc and the
    // like do not.
    const QString first = platform.section(u';', 0, 0);
    const bool desktop = first.isEmpty() || first.startsWith(QStringLiteral("xcb")) ||
                         first.startsWith(QStringLiteral("wayland"));
    if (!desktop || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::nullopt;
    return NoDisplaySentence();
#endif
}

void WatchStartup() {
    previousHandler = qInstallMessageHandler(StartupHandler);
}

void EndStartupWatch() {
    qInstallMessageHandler(previousHandler);
}
