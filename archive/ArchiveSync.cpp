#include "archive/ArchiveSync.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <set>

#include "qtext/QText.h"

TSyncRun::TSyncRun(TArchive& laptop, TArchive& server, TSyncDirection direction,
                   const std::vector<std::string>& fetchSites)
    : Laptop(laptop), Server(server) {
    if (direction != TSyncDirection::DownloadOnly) Plan(laptop, server, true, {});
    if (direction != TSyncDirection::UploadOnly) Plan(server, laptop, false, fetchSites);
}

void TSyncRun::Plan(TArchive& from, TArchive& to, bool up, const std::vector<std::string>& only) {
    TSyncCounts& counts = up ? Counts.Up : Counts.Down;
    std::set<std::string> sitesThere, campaignsThere, names;
    const std::vector<TSite> there = to.Sites();
    for (const TSite& site : there) {
        sitesThere.insert(site.Uuid);
        SiteIds[up][site.Uuid] = site.Id;
        names.insert(site.Name);
        for (const TCampaignSummary& c : to.Campaigns(site.Id))
            campaignsThere.insert(c.Campaign.Uuid);
    }
    for (const auto& [uuid, siteId] : to.SiteAliases()) {
        sitesThere.insert(uuid);
        SiteIds[up][uuid] = siteId;
    }
    const std::set<std::string> chosen(only.begin(), only.end());
    for (const TSite& site : from.Sites()) {
        if (!chosen.empty() && !chosen.count(site.Uuid)) continue;
        const bool known = sitesThere.count(site.Uuid) > 0;
        const auto alike = [&](const TSite& other) { return SameSite(site, other); };
        if (!known && (names.count(site.Name) || std::any_of(there.begin(), there.end(), alike))) {
            counts.SameName.push_back(site.Name);
            continue;
        }
        const std::vector<TCampaignSummary> campaigns = from.Campaigns(site.Id);
        if (campaigns.empty() && !known) Steps.push_back({up, site, true, std::nullopt, false});
        for (std::size_t k = 0; k < campaigns.size(); ++k)
            Steps.push_back({up, site, !known && k == 0, campaigns[k].Campaign,
                             !campaignsThere.count(campaigns[k].Campaign.Uuid)});
    }
}

namespace {

// Whether the archive holds the site, or (given) that campaign of it.
bool Holds(TArchive& archive, const std::string& siteUuid, const std::string& campaignUuid = {}) {
    for (const TSite& site : archive.Sites()) {
        if (site.Uuid != siteUuid) continue;
        if (campaignUuid.empty()) return true;
        for (const TCampaignSummary& c : archive.Campaigns(site.Id))
            if (c.Campaign.Uuid == campaignUuid) return true;
    }
    return false;
}

}  // namespace

void TSyncRun::Step() {
    if (Finished()) return;
    const TSyncStep& step = Steps[Next];
    TArchive& from = step.Up ? Laptop : Server;
    TArchive& to = step.Up ? Server : Laptop;
    TSyncCounts& counts = step.Up ? Counts.Up : Counts.Down;
    if (std::find(Skipped.begin(), Skipped.end(), step.Site.Uuid) != Skipped.end()) {
        ++Next;
        return;
    }
    // Ids are each archive's own; a campaign new there is known by its
    // UUID (Store finds it).
    std::map<std::string, std::int64_t>& ids = SiteIds[step.Up];
    TSite there = step.Site;
    const auto store = [&] {
        const auto known = ids.find(step.Site.Uuid);
        there.Id = known == ids.end() ? 0 : known->second;
        if (!step.Campaign) {
            ids[there.Uuid] = to.SaveSite(there);
            return TImportResult{};
        }
        TCampaign copy = *step.Campaign;
        copy.Id = 0;
        copy.SiteId = there.Id;
        const TStoreResult stored = to.Store(there, copy, from.Records(step.Campaign->Id));
        ids[there.Uuid] = stored.SiteId;
        return stored.Records;
    };
    TImportResult moved;
    try {
        moved = store();
    } catch (const TArchiveError& e) {
        // Another program stored the same site or campaign since the sync
        // began (a second laptop syncing it at once), or a site of another
        // UUID took its name: the first is copied into, the second left for
        // merging.
        if (e.Problem() != TArchiveProblem::NameTaken && e.Problem() != TArchiveProblem::Other)
            throw;
        const bool siteCame = step.NewSite && Holds(to, step.Site.Uuid);
        if (!siteCame && e.Problem() == TArchiveProblem::NameTaken && !Holds(to, step.Site.Uuid)) {
            counts.SameName.push_back(step.Site.Name);
            Skipped.push_back(step.Site.Uuid);
            ++Next;
            return;
        }
        if (!siteCame && !(step.Campaign && step.NewCampaign &&
                           Holds(to, step.Site.Uuid, step.Campaign->Uuid)))
            throw;
        moved = store();
    }
    if (step.NewSite) ++counts.Sites;
    if (step.Campaign && step.NewCampaign) ++counts.Campaigns;
    counts.Records += moved.Stored;
    counts.Already += moved.Already;
    ++Next;
}

void SyncArchives(TArchive& laptop, TArchive& server, TSyncDirection direction,
                  TSyncResult& result) {
    TSyncRun run(laptop, server, direction);
    try {
        while (!run.Finished()) run.Step();
    } catch (const TArchiveError&) {
        result = run.Result();
        throw;
    }
    result = run.Result();
}

std::string NormalisedName(const std::string& text) {
    // Compatibility forms fold full-width letters, digits and the
    // ideographic space into their plain forms.
    QString folded = QString::fromStdString(text).normalized(QString::NormalizationForm_KC);
    folded.remove(QRegularExpression(QStringLiteral("\\s")));
    return folded.toStdString();
}

bool SameSite(const TSite& a, const TSite& b) {
    return NormalisedName(a.Name) == NormalisedName(b.Name) &&
           Q(NormalisedName(a.VoltageLevel)).compare(Q(NormalisedName(b.VoltageLevel)),
                                                     Qt::CaseInsensitive) == 0;
}

std::vector<TSiteMatch> SiteMatches(TArchive& laptop, TArchive& server) {
    // Merged: each side knows the other's UUID (a merge cut short between
    // the two is offered again).
    const auto aliases = [](TArchive& side) {
        std::set<std::string> uuids;
        for (const auto& [uuid, siteId] : side.SiteAliases()) uuids.insert(uuid);
        return uuids;
    };
    const std::set<std::string> onLaptop = aliases(laptop), onServerSide = aliases(server);
    const std::vector<TSite> onServer = server.Sites();
    std::vector<TSiteMatch> matches;
    for (const TSite& mine : laptop.Sites())
        for (const TSite& theirs : onServer)
            if (mine.Uuid != theirs.Uuid && SameSite(mine, theirs) &&
                !(onServerSide.count(mine.Uuid) && onLaptop.count(theirs.Uuid)))
                matches.push_back({mine, theirs});
    return matches;
}

void MergeSites(TArchive& laptop, TArchive& server, const TSiteMatch& match) {
    server.MergeSite(match.Server.Id, match.Laptop.Uuid);
    laptop.MergeSite(match.Laptop.Id, match.Server.Uuid);
}

std::string SyncCountsText(const std::string& way, const TSyncCounts& c) {
    std::string text = way + "：新增场地 " + std::to_string(c.Sites) + " 个，测试 " +
                       std::to_string(c.Campaigns) + " 次，记录 " + std::to_string(c.Records) +
                       " 条；" + std::to_string(c.Already) + " 条记录已在档案中\n";
    for (const std::string& name : c.SameName)
        text += "  未同步：对方已有另一个名为“" + name + "”的场地，需要合并\n";
    return text;
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
