#include "archive/ArchiveSync.h"

#include <QUrl>
#include <QUrlQuery>
#include <map>

void CopyMissing(TArchive& from, TArchive& to, TSyncCounts& counts) {
    std::map<std::string, std::int64_t> sitesThere, campaignsThere;
    std::map<std::string, std::string> namesThere;  // name -> UUID
    for (const TSite& site : to.Sites()) {
        sitesThere[site.Uuid] = site.Id;
        namesThere[site.Name] = site.Uuid;
        for (const TCampaignSummary& c : to.Campaigns(site.Id))
            campaignsThere[c.Campaign.Uuid] = c.Campaign.Id;
    }
    for (const TSite& site : from.Sites()) {
        TSite there = site;
        there.Id = 0;
        if (const auto known = sitesThere.find(site.Uuid); known != sitesThere.end()) {
            there.Id = known->second;
        } else if (const auto name = namesThere.find(site.Name); name != namesThere.end()) {
            counts.SameName.push_back(site.Name);
            continue;
        }
        const std::vector<TCampaignSummary> campaigns = from.Campaigns(site.Id);
        if (there.Id == 0 && campaigns.empty()) {
            there.Id = to.SaveSite(there);
            ++counts.Sites;
        }
        for (const TCampaignSummary& c : campaigns) {
            const std::vector<TArchivedRecord> records = from.Records(c.Campaign.Id);
            TImportResult moved;
            if (const auto known = campaignsThere.find(c.Campaign.Uuid);
                known != campaignsThere.end()) {
                moved = to.Import(known->second, records);
            } else {
                TCampaign copy = c.Campaign;
                copy.Id = 0;
                copy.SiteId = there.Id;
                const TStoreResult stored = to.Store(there, copy, records);
                if (there.Id == 0) ++counts.Sites;
                there.Id = stored.SiteId;
                ++counts.Campaigns;
                moved = stored.Records;
            }
            counts.Records += moved.Stored;
            counts.Already += moved.Already;
        }
    }
}

void SyncArchives(TArchive& laptop, TArchive& server, TSyncDirection direction,
                  TSyncResult& result) {
    if (direction != TSyncDirection::DownloadOnly) CopyMissing(laptop, server, result.Up);
    if (direction != TSyncDirection::UploadOnly) CopyMissing(server, laptop, result.Down);
}

TArchiveSettings ArchiveSettingsOf(const std::string& text) {
    TArchiveSettings s;
    const QString given = QString::fromStdString(text);
    if (!given.startsWith(QStringLiteral("postgresql://"))) {
        s.File = text;
        return s;
    }
    const QUrl url(given);
    s.Driver = TArchiveDriver::PostgreSQL;
    s.Host = url.host().toStdString();
    s.Port = url.port(5432);
    s.User = url.userName().toStdString();
    s.Database = url.path().mid(1).toStdString();
    const QUrlQuery query(url);
    const auto option = [&](const char* key, std::string& into) {
        if (query.hasQueryItem(key))
            into = query.queryItemValue(key, QUrl::FullyDecoded).toStdString();
    };
    option("host", s.Host);
    option("sslmode", s.SslMode);
    option("sslrootcert", s.RootCert);
    option("sslcert", s.ClientCert);
    option("sslkey", s.ClientKey);
    if (!url.isValid() || s.Database.empty() || s.Host.empty())
        throw TArchiveError(TArchiveProblem::Other,
                            "档案服务器的写法应为 postgresql://用户@主机:端口/数据库：" + text);
    return s;
}
