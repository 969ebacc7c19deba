#pragma once
// The test archive: the sites whose earth grids are tested, the campaigns of
// each site across the years, and the instrument's records of each campaign,
// with the power-frequency value worked out from them. One interface, two
// bodies: a SQLite file of the user's own (the default) and a PostgreSQL
// server a team shares (ArchiveSql.h). Nothing here uses Qt: the window and
// the report see the archive through these types alone.
//
// Texts are UTF-8. Ids are the database's own (0: not stored yet). Failures
// of the database come as TArchiveError with a text for the operator.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/FreqAnalysis.h"
#include "protocol/RecordValues.h"

struct TSite {
    std::int64_t Id = 0;
    std::string Name;          // as typed, unique in the archive
    std::string VoltageLevel;  // "110kV"
    std::string GridSize;      // the grid's size or its diagonal, as typed ("120m×80m", "D=144m")
    std::string Location;      // a note on where it is
};

// One visit to a site: the conditions of the test and the user's limit.
struct TCampaign {
    std::int64_t Id = 0;
    std::int64_t SiteId = 0;
    std::string Date;  // "yyyy-MM-dd"
    std::string Testers;
    std::string Weather;
    std::string Soil;              // the soil's state ("干燥", "潮湿")
    std::string LeadLayout;        // how the current and voltage leads were laid out
    std::string LeadLengths;       // as typed ("电流极 800m，电压极 500m")
    std::string InstrumentSerial;  // empty when not known
    std::string Remarks;
    std::optional<double> Limit;  // ohms, entered by the user
    int PowerFrequency = 50;      // 50 or 60 Hz
};

// One record of the instrument, kept as it arrived: the singles widened, the
// date bytes as they are (year 117 stays 117).
struct TArchivedRecord {
    std::int64_t Id = 0;
    std::int64_t CampaignId = 0;
    int Number = 0;  // the instrument's record number (or the upload's running number)
    TRecordValues Values;
};

// The campaign's power-frequency value as the analysis gives it over all its
// records; stored with the campaign and worked out again when its records change.
struct TCampaignValue {
    int PowerFrequency = 50;
    std::optional<TTwoPointValue> TwoPoint;
    std::optional<TLineFitValue> LineFit;
    std::string Method;  // "由 45Hz 与 55Hz 线性插值", or why there is no value
};

// A campaign as the site's table shows it.
struct TCampaignSummary {
    TCampaign Campaign;
    int Records = 0;
    TCampaignValue Value;
};

struct TImportResult {
    int Stored = 0;   // new records
    int Already = 0;  // the same number, test time and values were there already
};

class TArchiveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TArchive {
  public:
    virtual ~TArchive() = default;

    virtual std::vector<TSite> Sites() = 0;
    // Stores a new site (Id 0) or changes one; gives its id.
    virtual std::int64_t SaveSite(const TSite& site) = 0;

    // A site's campaigns by date, with their record counts and values.
    virtual std::vector<TCampaignSummary> Campaigns(std::int64_t siteId) = 0;
    virtual std::int64_t SaveCampaign(const TCampaign& campaign) = 0;

    virtual std::vector<TArchivedRecord> Records(std::int64_t campaignId) = 0;
    // Adds the records to the campaign in one transaction: all or nothing.
    // A record whose number, test time and values the campaign holds already
    // is not stored again. The campaign's value is worked out again.
    virtual TImportResult Import(std::int64_t campaignId,
                                 const std::vector<TArchivedRecord>& records) = 0;
};
