#include "PrintServer.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QThread>

TPrintServer::TPrintServer() {
    const QString server = qEnvironmentVariable("CUPS_SERVER");
    if (server.isEmpty()) {
        problem_ = QStringLiteral(
            "CUPS_SERVER is not set: run this test through ctest, whose fixture starts the print "
            "server (scripts/print-server.sh start DIR), or set it to DIR/cups.sock");
        return;
    }
    dir_ = QFileInfo(server).path();
    if (!QFileInfo(server).exists())
        problem_ =
            QStringLiteral("no print server at %1, its start failed; log: %2").arg(server, Log());
    else if (QPrinterInfo::defaultPrinter().printerName() != QLatin1String("PDF"))
        problem_ = QStringLiteral("the print server at %1 has no default queue PDF; log: %2")
                       .arg(server, Log());
}

QString TPrintServer::Log() const {
    QFile f(dir_ + "/log/error_log");
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("(no %1)").arg(f.fileName());
    return QString::fromUtf8(f.readAll().right(2000));
}

bool TPrintServer::WaitForJobs(int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        QProcess lpstat;
        lpstat.start("lpstat", {"-W", "not-completed", "-o"});
        if (lpstat.waitForFinished(10000) && lpstat.exitCode() == 0 &&
            lpstat.readAllStandardOutput().trimmed().isEmpty())
            return true;
        QThread::msleep(100);
    }
    return false;
}

QString TPrintServer::NewestSpooledJob() const {
    const QFileInfoList jobs =
        QDir(dir_ + "/spool").entryInfoList({"d*-001"}, QDir::Files, QDir::Time);
    return jobs.isEmpty() ? QString() : jobs.first().filePath();
}

QString TPrintServer::TakeCupsPdfPage(const QString& title, const QString& keepAs,
                                      int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        for (const QString& folder : CupsPdfFolders())
            for (const QFileInfo& f : QDir(folder).entryInfoList({"*.pdf"}, QDir::Files))
                if (f.fileName().contains(title)) {
                    QFile::remove(keepAs);
                    if (!QFile::copy(f.filePath(), keepAs)) return {};
                    QFile::remove(f.filePath());
                    return keepAs;
                }
        QThread::msleep(100);
    }
    return {};
}

QString TPrintServer::UniqueTitle() {
    return QStringLiteral("kr3090-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentMSecsSinceEpoch());
}

QStringList TPrintServer::CupsPdfFolders() {
    QStringList folders;
    if (const passwd* pw = getpwuid(getuid())) {
        folders << QString::fromLocal8Bit(pw->pw_dir) + "/PDF";
        folders << "/var/spool/cups-pdf/" + QString::fromLocal8Bit(pw->pw_name);
    }
    folders << "/var/spool/cups-pdf/ANONYMOUS";
    return folders;
}
