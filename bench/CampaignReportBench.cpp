// The campaign report of 100 records from the press to the file written: the
// report built from the archive's data (with its analysis), then the PDF or
// the .odt. Qt loads its font database and the Song font the first time a
// text is measured; that is measured apart, first, once. The files' sizes are
// the counters "bytes" (and "pages" of the PDF).
// Run: build/bench/CampaignReportBench (the files go to /tmp).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

#include "campaignreport/CampaignReportOutput.h"
#include "report/SongFont.h"

namespace {

struct TArchiveData {
    TSite Site;
    TCampaign Campaign;
    std::vector<TArchivedRecord> Records;
    std::vector<TCampaignSummary> SiteCampaigns;
};

// 100 records at 40 to 60 Hz in steps of 5 Hz, and five earlier campaigns.
TArchiveData HundredRecords() {
    TArchiveData d;
    d.Site = {3, "城东110kV变电站", "110kV", "120m×80m", "城东开发区纬三路"};
    d.Campaign.Id = 20;
    d.Campaign.Date = "2025-03-03";
    d.Campaign.Testers = "张工、李工";
    d.Campaign.Weather = "晴";
    d.Campaign.Soil = "干燥";
    d.Campaign.LeadLayout = "直线法";
    d.Campaign.LeadLengths = "电流极 800m，电压极 500m";
    d.Campaign.Limit = 0.5;
    for (int k = 0; k < 100; ++k) {
        TArchivedRecord r;
        r.Number = k + 1;
        r.Values.Frequency = 40 + 5 * (k % 5);
        r.Values.U = 0.45 + 0.001 * (k % 7);
        r.Values.I = 1;
        r.Values.Phi = 15 + 0.1 * (k % 5);
        r.Values.Year = 25;
        r.Values.Month = 3;
        r.Values.Day = 3;
        r.Values.Hour = 9 + k / 60;
        r.Values.Minute = k % 60;
        d.Records.push_back(r);
    }
    for (int year = 2019; year < 2025; ++year) {
        TCampaignSummary s;
        s.Campaign.Id = year - 2018;
        s.Campaign.Date = std::to_string(year) + "-04-01";
        s.Records = 20;
        s.Value.TwoPoint = TTwoPointValue{45, 55, {0.4, 0.1, std::hypot(0.4, 0.1), 14}};
        s.Value.Method = TValueMethod::TwoPoint;
        d.SiteCampaigns.push_back(s);
    }
    return d;
}

TCampaignReport Report(const TArchiveData& d) {
    return CampaignReportOf(d.Site, d.Campaign, d.Records, {}, d.SiteCampaigns);
}

QString BenchFile(const char* extension) {
    return QStringLiteral("/tmp/kr3090-campaign-report-bench-%1.%2").arg(getpid()).arg(extension);
}

// What the first report pays before anything else: the font database and the
// Song font's file, measured and laid out once.
void BM_QtFirstFontLoad(benchmark::State& state) {
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        QPainter p(&pdf);
        p.setFont(SongFontPoints(10.5));
        p.drawText(QPointF(100, 100), QStringLiteral("大地网接地参数测试报告 455.4mΩ"));
        benchmark::DoNotOptimize(QFontMetricsF(SongFontPoints(9), &pdf).lineSpacing());
    }
}
BENCHMARK(BM_QtFirstFontLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_HundredRecordReportToPdf(benchmark::State& state) {
    const TArchiveData data = HundredRecords();
    const QString path = BenchFile("pdf");
    for (auto _ : state) WriteCampaignReportPdf(Report(data), path);
    state.counters["bytes"] = double(QFileInfo(path).size());
    unlink(path.toLocal8Bit().constData());
}
BENCHMARK(BM_HundredRecordReportToPdf)->Unit(benchmark::kMillisecond);

void BM_HundredRecordReportToOdt(benchmark::State& state) {
    const TArchiveData data = HundredRecords();
    const QString path = BenchFile("odt");
    for (auto _ : state) WriteCampaignReportOdt(Report(data), path);
    state.counters["bytes"] = double(QFileInfo(path).size());
    unlink(path.toLocal8Bit().constData());
}
BENCHMARK(BM_HundredRecordReportToOdt)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
