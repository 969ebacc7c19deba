// What goes into the archive comes back as it went in, once, with the value
// of its campaign worked out over whatever records it holds.
#include <QSqlQuery>
#include <bit>
#include <cmath>
#include <limits>

#include "ArchiveFixture.h"
#include "analysis/FreqAnalysisText.h"

namespace {

std::uint32_t Bits(double v) {
    return std::bit_cast<std::uint32_t>(static_cast<float>(v));
}

void ExpectSameRecord(const TArchivedRecord& got, const TArchivedRecord& sent) {
    const TRecordValues &a = got.Values, &b = sent.Values;
    EXPECT_EQ(got.Number, sent.Number);
    EXPECT_EQ(Bits(a.U), Bits(b.U));
    EXPECT_EQ(Bits(a.I), Bits(b.I));
    EXPECT_EQ(Bits(a.Phi), Bits(b.Phi));
    EXPECT_EQ(RecordTestTime(a), RecordTestTime(b));
    EXPECT_EQ(std::tie(a.Frequency, a.RmOn), std::tie(b.Frequency, b.RmOn));
}

// The stored value is the analysis of the stored records.
void ExpectValueOfRecords(TArchive& archive, std::int64_t campaign) {
    std::vector<TRecordValues> values;
    for (const auto& r : archive.Records(campaign)) values.push_back(r.Values);
    const TCampaignSummary c = CampaignOf(archive, campaign);
    const TFreqAnalysis a = AnalyseFrequencies(values, {}, c.Campaign.PowerFrequency, 5);
    EXPECT_EQ(c.Records, static_cast<int>(values.size()));
    EXPECT_EQ(MethodText(c.Value), AnalysisResultTexts(a, values.size()).Method);
    ASSERT_EQ(c.Value.TwoPoint.has_value(), a.TwoPoint.has_value());
    if (a.TwoPoint) {
        EXPECT_EQ(c.Value.TwoPoint->Value.Z, a.TwoPoint->Value.Z);
        EXPECT_EQ(c.Value.TwoPoint->Value.Phi, a.TwoPoint->Value.Phi);
    }
    ASSERT_EQ(c.Value.LineFit.has_value(), a.LineFit.has_value());
    if (a.LineFit) {
        EXPECT_EQ(c.Value.LineFit->MaxResidualX, a.LineFit->MaxResidualX);
    }
}

}  // namespace

TEST_F(ArchiveTest, HostileTextsAndValuesThatAreNotNumbersComeBackAsTheyWentIn) {
    const std::vector<std::string> names{"'); DROP TABLE records;--", "O'Brien \"站\" \\ %_?", "堃",
                                         "𠀀 扩展B区", "  spaces  "};
    std::vector<TArchivedRecord> sent = TestRecords(0, 4);
    sent[0].Values.U = std::numeric_limits<double>::infinity();   // Z, R, X infinite
    sent[1].Values.Phi = std::bit_cast<float>(0x7FC01234u);       // NaN with a payload
    sent[2].Values.I = 0;                                         // no impedance
    sent[3].Values.U = std::numeric_limits<float>::denorm_min();  // the smallest single
    sent[3].Values.Year = 255;
    {
        auto archive = Open();
        for (const std::string& name : names) {
            TCampaign c;
            c.SiteId = archive->SaveSite({0, name, name, name, name});
            c.Date = c.Testers = c.Weather = c.Soil = c.LeadLayout = c.LeadLengths = name;
            c.InstrumentSerial = c.Remarks = name;
            c.Limit = 0.5;
            c.PowerFrequency = 60;
            c.Layout = {TLayoutMethod::Angle, std::nullopt, 180, 120.5, 400, 390.25, 29.5,
                        TSoilKind::NonUniform};
            if (name == names[1]) c.Layout.Angle = std::numeric_limits<double>::quiet_NaN();
            EXPECT_EQ(archive->Import(archive->SaveCampaign(c), sent).Stored, 4);
        }
    }
    auto archive = Open();  // what reached the database, not a cache
    const std::vector<TSite> sites = archive->Sites();
    ASSERT_EQ(sites.size(), names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        EXPECT_EQ(std::tie(sites[k].Name, sites[k].VoltageLevel, sites[k].Location),
                  std::tie(names[k], names[k], names[k]));
        const auto campaigns = archive->Campaigns(sites[k].Id);
        ASSERT_EQ(campaigns.size(), 1u);
        const TCampaign& c = campaigns[0].Campaign;
        EXPECT_EQ(std::tie(c.Date, c.Testers, c.Remarks), std::tie(names[k], names[k], names[k]));
        EXPECT_EQ(c.Limit, 0.5);
        // The layout's numbers exactly; one that is not a number is no angle.
        const TLeadLayout& l = c.Layout;
        EXPECT_EQ(std::tie(l.Method, l.Soil),
                  std::make_tuple(TLayoutMethod::Angle, TSoilKind::NonUniform));
        EXPECT_EQ(
            std::make_tuple(l.Diagonal, l.GridLength, l.GridWidth, l.CurrentDistance,
                            l.ProbeDistance),
            std::make_tuple(std::optional<double>(), std::optional(180.0), std::optional(120.5),
                            std::optional(400.0), std::optional(390.25)));
        EXPECT_EQ(l.Angle, k == 1 ? std::nullopt : std::optional(29.5));
        EXPECT_EQ(campaigns[0].Records, 4);
        const auto got = archive->Records(c.Id);
        ASSERT_EQ(got.size(), sent.size());
        for (std::size_t r = 0; r < sent.size(); ++r) ExpectSameRecord(got[r], sent[r]);
    }
    QSqlQuery z(Raw());
    ASSERT_TRUE(z.exec("SELECT z FROM records ORDER BY id") && z.next());
    EXPECT_TRUE(std::isinf(z.value(0).toDouble()));
    // A second site of the same name is refused in words; renaming keeps the id.
    std::string text;
    EXPECT_EQ(ProblemOf(
                  [&] {
                      archive->SaveSite({0, names[2], "", "", ""});
                  },
                  &text),
              TArchiveProblem::NameTaken);
    EXPECT_NE(text.find("堃"), std::string::npos);
    EXPECT_EQ(archive->SaveSite({sites[2].Id, "堃 改", "", "", ""}), sites[2].Id);
    // The retest interval kept and cleared; the latest campaign's date read with the site.
    TSite renamed = archive->Sites()[2];
    EXPECT_EQ(renamed.RetestYears, std::nullopt);
    renamed.RetestYears = 3;
    archive->SaveSite(renamed);
    EXPECT_EQ(archive->Sites()[2].RetestYears, 3);
    EXPECT_EQ(archive->Sites()[2].LastTest, archive->Campaigns(sites[2].Id).back().Campaign.Date);
    EXPECT_FALSE(archive->Sites()[2].LastTest.empty());
    const std::int64_t first = archive->Campaigns(sites[0].Id)[0].Campaign.Id;
    archive->DeleteSite(sites[0].Id);  // with its campaign and records
    EXPECT_EQ(archive->Sites().size(), names.size() - 1);
    EXPECT_EQ(ProblemOf([&] { CampaignOf(*archive, first); }), TArchiveProblem::NotFound);
}

TEST_F(ArchiveTest, ImportingTheSameRecordsAgainStoresNothingAndCountsThem) {
    auto archive = Open();
    const std::int64_t campaign = NewCampaign(*archive);
    auto counts = [](TImportResult r) { return std::make_pair(r.Stored, r.Already); };
    EXPECT_EQ(counts(archive->Import(campaign, TestRecords(0, 100))), std::make_pair(100, 0));
    EXPECT_EQ(counts(archive->Import(campaign, TestRecords(0, 100))), std::make_pair(0, 100));
    EXPECT_EQ(counts(archive->Import(campaign, TestRecords(50, 100))), std::make_pair(50, 50));
    // Twice in one upload, and one bit apart: the bits decide.
    std::vector<TArchivedRecord> batch{TestRecord(500), TestRecord(500), TestRecord(0)};
    batch[2].Values.U = std::nextafter(static_cast<float>(batch[2].Values.U), 10.0f);
    EXPECT_EQ(counts(archive->Import(campaign, batch)), std::make_pair(2, 1));
    // The same record belongs to another campaign as well.
    EXPECT_EQ(counts(archive->Import(NewCampaign(*archive), TestRecords(0, 10))),
              std::make_pair(10, 0));
    EXPECT_EQ(CampaignOf(*archive, campaign).Records, 152);
    // An import that fails half way stores nothing.
    archive->SetImportProgress([](int done, int) {
        if (done == 30) throw TArchiveError("中断");
    });
    EXPECT_THROW(archive->Import(campaign, TestRecords(1000, 50)), TArchiveError);
    EXPECT_EQ(CampaignOf(*archive, campaign).Records, 152);
    EXPECT_EQ(ProblemOf([&] { archive->Import(999999, TestRecords(0, 1)); }),
              TArchiveProblem::NotFound);
}

TEST_F(ArchiveTest, TheCampaignsValueFollowsItsRecords) {
    auto archive = Open();
    const std::int64_t campaign = NewCampaign(*archive);
    EXPECT_EQ(MethodText(CampaignOf(*archive, campaign).Value), "没有可分析的记录");
    archive->Import(campaign, TestRecords(0, 40));  // 45 and 55 Hz
    EXPECT_EQ(MethodText(CampaignOf(*archive, campaign).Value), "由 45Hz 与 55Hz 线性插值");
    ExpectValueOfRecords(*archive, campaign);

    std::vector<TArchivedRecord> third = TestRecords(100, 5);
    for (auto& r : third) r.Values.Frequency = 65;
    archive->Import(campaign, third);
    EXPECT_TRUE(CampaignOf(*archive, campaign).Value.LineFit.has_value());
    ExpectValueOfRecords(*archive, campaign);

    // The 45 Hz records alone have nothing above 50 Hz, the 55 and 65 Hz
    // records alone nothing below.
    std::vector<TArchivedRecord> below, above;
    for (const auto& r : archive->Records(campaign))
        (r.Values.Frequency > 50 ? above : below).push_back(r);
    const std::int64_t lower = NewCampaign(*archive);
    archive->Import(lower, below);
    EXPECT_EQ(MethodText(CampaignOf(*archive, lower).Value),
              "没有高于50Hz的测试频率，无工频值（不外推）");
    const std::int64_t other = NewCampaign(*archive);
    EXPECT_EQ(archive->Import(other, above).Stored, 25);
    EXPECT_EQ(CampaignOf(*archive, other).Records, 25);
    EXPECT_EQ(MethodText(CampaignOf(*archive, other).Value),
              "没有低于50Hz的测试频率，无工频值（不外推）");

    // At 60 Hz the 55 Hz records lie below it.
    TCampaign c = CampaignOf(*archive, other).Campaign;
    c.PowerFrequency = 60;
    archive->SaveCampaign(c);
    EXPECT_EQ(MethodText(CampaignOf(*archive, other).Value), "由 55Hz 与 65Hz 线性插值");
    ExpectValueOfRecords(*archive, other);
    archive->DeleteCampaign(other);
    EXPECT_EQ(ProblemOf([&] { CampaignOf(*archive, other); }), TArchiveProblem::NotFound);
}

TEST_F(ArchiveTest, AStoreOfANewSiteAndCampaignKeepsNothingWhenItFailsAndCanBeRepeated) {
    auto archive = Open();
    TSite site{0, "新站", "110kV", "", ""};
    TCampaign campaign;
    archive->SetImportProgress([](int done, int) {
        if (done == 7) throw TArchiveError("中断");
    });
    EXPECT_THROW(archive->Store(site, campaign, TestRecords(0, 10)), TArchiveError);
    EXPECT_TRUE(archive->Sites().empty());  // neither the site nor its campaign
    archive->SetImportProgress({});
    const TStoreResult first = archive->Store(site, campaign, TestRecords(0, 10));
    EXPECT_EQ(CampaignOf(*archive, first.CampaignId).Records, 10);
    ExpectValueOfRecords(*archive, first.CampaignId);
    EXPECT_EQ(ProblemOf([&] { archive->Store(site, campaign, {}); }), TArchiveProblem::NameTaken);
    std::string text;
    campaign.Id = first.CampaignId;
    ProblemOf([&] { archive->Store({0, "另一站", "", "", ""}, campaign, {}); }, &text);
    EXPECT_EQ(text, "新场地只能存入新的测试。");
    EXPECT_EQ(archive->Sites().size(), 1u);
}
