#include "app/main/TeamCommand.h"

#include <cstdio>
#include <iostream>
#include <string>

#ifndef _WIN32
#include <termios.h>
#include <unistd.h>
#endif

#include "archive/ArchiveSync.h"
#include "archive/ArchiveTeam.h"
#include "qtext/QText.h"

namespace {

void Print(FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

// One line of standard input; on a terminal without echo, after the prompt.
std::string ReadSecret(const char* prompt) {
#ifndef _WIN32
    if (isatty(STDIN_FILENO)) {
        std::fputs(prompt, stderr);
        termios old{};
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::string line;
        std::getline(std::cin, line);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::fputs("\n", stderr);
        return line;
    }
#else
    (void)prompt;
#endif
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool OnTerminal() {
#ifndef _WIN32
    return isatty(STDIN_FILENO);
#else
    return false;
#endif
}

}  // namespace

bool AsksForTeamSetup(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--init-server")) ||
           arguments.contains(QStringLiteral("--add-user"));
}

int RunTeamSetup(const QStringList& arguments) {
    QStringList rest;
    for (const QString& a : arguments.mid(1))
        if (a != QStringLiteral("--trace")) rest << a;
    const bool init = rest.value(0) == QStringLiteral("--init-server") && rest.size() == 2;
    const bool add = rest.value(0) == QStringLiteral("--add-user") && rest.size() == 4;
    const std::optional<TArchiveRole> role = add ? RoleNamed(rest[3].toStdString()) : std::nullopt;
    if ((!init && !add) || (add && !role)) {
        Print(stderr, QStringLiteral("kr3090：用法：kr3090 --init-server 服务器档案\n"
                                     "        kr3090 --add-user 服务器档案 用户名 角色"
                                     "（测试、审核或管理；密码从标准输入读入）\n"));
        return 2;
    }
    try {
        const TArchiveSettings settings = ArchiveSettingsOf(rest[1].toStdString());
        if (init) {
            Print(stdout, Q(InitTeamServer(settings, {})));
            return 0;
        }
        const std::string password = ReadSecret("新用户的密码：");
        if (OnTerminal() && ReadSecret("再输入一次：") != password) {
            Print(stderr, QStringLiteral("kr3090：两次输入的密码不同：没有添加用户。\n"));
            return 1;
        }
        Print(stdout, Q(AddTeamMember(settings, {}, rest[2].toStdString(), *role, password)));
        return 0;
    } catch (const TArchiveError& e) {
        Print(stderr, QStringLiteral("kr3090：%1\n").arg(Q(e.what())));
        return 1;
    }
}
