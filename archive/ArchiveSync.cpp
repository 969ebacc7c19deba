#include "archive/ArchiveSync.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <set>

#include "qtext/QText.h"

TSyncRun::TSyncRun(TArchive& laptop, TArchive& server, TSyncDirection direction,
                   const std::vector<std::string>& fetchSites)
    : Laptop(laptop), Server(server), Peer(server.Description()) {
    if (direction != TSyncDirection::DownloadOnly) Plan(laptop, server, true, {});
    if (direction != TSyncDirection::UploadOnly) Plan(server, laptop, false, fetchSites);
    PlanDetails(direction);
}

void TSyncRun::PlanDetails(TSyncDirection direction) {
    std::map<std::string, std::string> marks;
    for (auto& [uuid, details] : Laptop.SyncMarks(Peer)) marks[uuid] = details;
    std::vector<std::pair<std::string, std::string>> same;
    for (const auto& [uuid, mine] : CampaignsOn[0]) {
        const auto theirs = CampaignsOn[1].find(uuid);
        if (theirs == CampaignsOn[1].end()) continue;
        const TCampaign& l = mine.second;
        const TCampaign& s = theirs->second.second;
        const std::string dl = CampaignDetails(l), ds = CampaignDetails(s);
        const auto mark = marks.find(uuid);
        const std::string* last = mark == marks.end() ? nullptr : &mark->second;
        if (dl == ds) {
            if (!last || *last != dl) same.emplace_back(uuid, dl);
        } else if (last && *last == dl) {
            if (direction != TSyncDirection::UploadOnly)
                Steps.push_back({false, {}, false, s, false, true, l.Id, l.SiteId});
        } else if (last && *last == ds) {
            if (direction != TSyncDirection::DownloadOnly)
                Steps.push_back({true, {}, false, l, false, true, s.Id, s.SiteId});
        } else {
            Counts.Conflicts.push_back({mine.first, l, s});
        }
    }
    Laptop.SetSyncMarks(Peer, same);
}

void TSyncRun::Plan(TArchive& from, TArchive& to, bool up, const std::vector<std::string>& only) {
    TSyncCounts& counts = up ? Counts.Up : Counts.Down;
    std::set<std::string> sitesThere, campaignsThere, names;
    const std::vector<TSite> there = to.Sites();
    for (const TSite& site : there) {
        sitesThere.insert(site.Uuid);
        SiteIds[up][site.Uuid] = site.Id;
        names.insert(site.Name);
        for (const TCampaignSummary& c : to.Campaigns(site.Id)) {
            campaignsThere.insert(c.Campaign.Uuid);
            CampaignsOn[up ? 1 : 0][c.Campaign.Uuid] = {site.Name, c.Campaign};
        }
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
        for (const TCampaignSummary& c : campaigns)
            CampaignsOn[up ? 0 : 1][c.Campaign.Uuid] = {site.Name, c.Campaign};
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
    if (step.Details) {
        TCampaign copy = *step.Campaign;
        copy.Id = step.TargetId;
        copy.SiteId = step.TargetSiteId;
        to.SaveCampaign(copy);
        ++counts.Details;
        ++Next;
        Laptop.SetSyncMarks(Peer, {{copy.Uuid, CampaignDetails(copy)}});
        return;
    }
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
        if (!siteCame &&
            !(step.Campaign && step.NewCampaign && Holds(to, step.Site.Uuid, step.Campaign->Uuid)))
            throw;
        moved = store();
    }
    if (step.NewSite) ++counts.Sites;
    if (step.Campaign && step.NewCampaign) ++counts.Campaigns;
    counts.Records += moved.Stored;
    counts.Already += moved.Already;
    ++Next;
    // Both sides hold it as it was sent: the mark a later change is told by
    // (a mark lost with a failure here is made by the next sync).
    if (step.Campaign && step.NewCampaign)
        Laptop.SetSyncMarks(Peer, {{step.Campaign->Uuid, CampaignDetails(*step.Campaign)}});
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
           Q(NormalisedName(a.VoltageLevel))
                   .compare(Q(NormalisedName(b.VoltageLevel)), Qt::CaseInsensitive) == 0;
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

namespace {

// Exact for comparing; 15 digits as a person reads it.
std::string Number(const std::optional<double>& v, int digits = 17) {
    return v ? QString::number(*v, 'g', digits).toStdString() : std::string();
}

}  // namespace

std::string CampaignDetails(const TCampaign& c) {
    const TLeadLayout& l = c.Layout;
    std::string text;
    for (const std::string& field :
         {c.Date, c.Testers, c.Weather, c.Soil, c.LeadLayout, c.LeadLengths, c.InstrumentSerial,
          c.Remarks, Number(c.Limit), std::to_string(c.PowerFrequency),
          std::to_string(int(l.Method)), Number(l.Diagonal), Number(l.GridLength),
          Number(l.GridWidth), Number(l.CurrentDistance), Number(l.ProbeDistance), Number(l.Angle),
          std::to_string(int(l.Soil))})
        text += field + '\x1f';
    return text;
}

std::string CampaignDetailsText(const TCampaign& c) {
    std::string text = c.Date;
    const std::string leads =
        c.LeadLayout + (c.LeadLayout.empty() || c.LeadLengths.empty() ? "" : " ") + c.LeadLengths;
    for (const auto& [label, value] : {std::pair<const char*, std::string>{"测试人员 ", c.Testers},
                                       {"限值 ", c.Limit ? Number(c.Limit, 15) + "Ω" : "未设"},
                                       {"引线 ", leads},
                                       {"备注 ", c.Remarks}})
        if (!value.empty()) text += "，" + std::string(label) + value;
    return text;
}

void ResolveConflict(TArchive& laptop, TArchive& server, const TCampaignConflict& conflict,
                     bool keepLaptop) {
    const TCampaign& other = keepLaptop ? conflict.Server : conflict.Laptop;
    TCampaign kept = keepLaptop ? conflict.Laptop : conflict.Server;
    kept.Id = other.Id;
    kept.SiteId = other.SiteId;
    (keepLaptop ? server : laptop).SaveCampaign(kept);
    laptop.SetSyncMarks(server.Description(), {{kept.Uuid, CampaignDetails(kept)}});
}

std::string SyncCountsText(const std::string& way, const TSyncCounts& c) {
    std::string text = way + "：新增场地 " + std::to_string(c.Sites) + " 个，测试 " +
                       std::to_string(c.Campaigns) + " 次，记录 " + std::to_string(c.Records) +
                       " 条；" + std::to_string(c.Already) + " 条记录已在档案中\n";
    for (const std::string& name : c.SameName)
        text += "  未同步：对方已有另一个名为“" + name + "”的场地，需要合并\n";
    if (c.Details) text += "  更新了 " + std::to_string(c.Details) + " 次测试的测试信息\n";
    return text;
}

std::string ConflictsText(const std::vector<TCampaignConflict>& conflicts) {
    std::string text;
    for (const TCampaignConflict& c : conflicts)
        text += "  未同步：“" + c.Site + "” " + c.Laptop.Date +
                " 的测试信息两边都改过，请在“同步”窗口里选择保留哪一边\n";
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
