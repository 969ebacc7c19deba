#pragma once
// A team's administrator sets up its server from the command line:
//   kr3090 --init-server SERVER             the roles, the archive's tables, the grants
//   kr3090 --add-user SERVER NAME ROLE      a member in role 测试, 审核 or 管理
// SERVER as for --sync (postgresql://owner@host/kr3090?sslmode=verify-full...),
// its password from libpq's password file or PGPASSWORD. The new member's
// password is read from standard input (without echo on a terminal, asked
// twice there), never from the command line. Exit status: 0 done, 1 the
// server refused or failed (said on standard error), 2 a command line that
// does not make sense. Needs a QCoreApplication (Qt's drivers).

#include <QStringList>

bool AsksForTeamSetup(const QStringList& arguments);
int RunTeamSetup(const QStringList& arguments);
