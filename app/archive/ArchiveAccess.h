#pragma once
// The archive the windows work with: opened on first use from [Archive] in
// Config.ini (the SQLite file beside the program's other files by default),
// kept for the run, and opened afresh after its settings change. A damaged
// file is offered to be set aside for a new archive, never deleted; a server
// that refuses the password asks for it again.
//
// Only buttons and the windows they open call in here: the boxes it shows
// are never raised while a reply of the instrument is being handled.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "archive/Archive.h"
#include "archive/ArchiveSettings.h"

class QWidget;

class TArchiveAccess : public QObject {
    Q_OBJECT
  public:
    // The archive, opened now if it is not; null when it cannot be opened,
    // after the operator has been told why.
    TArchive* Get(QWidget* owner);
    // Runs call on the archive; a failure of the database is shown in a box
    // and gives false. A server that went away is reached again next time.
    bool Call(QWidget* owner, const std::function<void(TArchive&)>& call);
    // Closes the archive; the next Get opens it from the settings again.
    void Close();
    bool IsOpen() const { return archive_ != nullptr; }
    // Where the archive is, from Config.ini and the program's folder.
    TArchiveSettings Settings() const;

  signals:
    // Records went into the campaign campaignId of the site siteId; the
    // archive window, when open, shows them.
    void Changed(std::int64_t siteId, std::int64_t campaignId);

  private:
    std::unique_ptr<TArchive> archive_;
    std::string password_;  // a server's, asked once a run, never written
};

TArchiveAccess& ArchiveAccess();

// The box every failed archive call gives.
void ReportArchiveError(QWidget* owner, const TArchiveError& error);
