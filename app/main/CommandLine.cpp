#include "app/main/CommandLine.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace {

QString Usage() {
    return QStringLiteral(
        "用法：kr3090 [--trace]\n"
        "大地网接地参数综合测试仪 %1 版：经串口操作 KR3090 接地参数测试仪，读取、保存、"
        "分析和打印它的测试结果，并把记录存入测试档案。\n"
        "\n"
        "  --trace     把与仪器往来的每一帧写到标准错误（日志类别 kr3090.trace）\n"
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
