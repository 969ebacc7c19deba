#pragma once
// The private print server that the ctest fixture starts
// (scripts/print-server.sh) and names in CUPS_SERVER: its cups-pdf queue "PDF"
// is the default printer. Tests that print for real use it to wait for their
// job and to find the page the queue wrote.

#include <QString>
#include <QStringList>

class TPrintServer {
  public:
    TPrintServer();
    // Why the server cannot be used (with its log), or an empty text.
    const QString& Problem() const { return problem_; }
    // The end of the server's error log.
    QString Log() const;
    // Waits until the server has no unfinished job; false after the time-out.
    bool WaitForJobs(int timeoutMs = 60000) const;
    // The original PDF of the newest job, kept in the server's spool.
    QString NewestSpooledJob() const;
    // The page cups-pdf wrote for the job of that title, moved to keepAs;
    // empty when none appeared within the time-out.
    QString TakeCupsPdfPage(const QString& title, const QString& keepAs,
                            int timeoutMs = 30000) const;
    // A job title no other print has used.
    static QString UniqueTitle();
    // Where cups-pdf writes: the job owner's ~/PDF, or the anonymous folder.
    static QStringList CupsPdfFolders();

  private:
    QString dir_;
    QString problem_;
};
