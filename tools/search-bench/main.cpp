// Measures the channel search on a catalogue as the radio window uses it: builds the index,
// then types a set of queries key by key and times each keystroke from the text to the result
// tree repainted (the search, up to 500 results, the tree filled and painted), offscreen.
// Prints one JSON object: wavelark-search-bench ARCHIVE.
#include "app/InterfaceArchive.h"
#include "directory/CatalogueSearch.h"
#include "directory/ChannelListText.h"
#include "directory/ChannelDirectory.h"
#include "directory/ChannelTree.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <algorithm>
#include <ctime>
#include <vector>

namespace {

// What people type: single words, two words across fields (a genre and a country), other
// scripts, accents left out, and a query that finds nothing.
const char* const kQueries[] = {
    "radio",        "rock chile",   "jazz", "pop news",  "радио 12", "country 04",     "ラジオ 7",
    "rádio cao 19", "classic rock", "zzz",  "ραδιοφωνο", "news",     "country 1 jazz",
};

// This thread's processor time in ms: on a loaded machine the wall-clock figures include time
// the process waited for a processor, which this leaves out.
double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: wavelark-search-bench ARCHIVE\n";
        return 2;
    }
    const InterfaceArchive archive = LoadInterfaceArchive(QString::fromLocal8Bit(argv[1]));
    Catalogue catalogue;
    ParseChannelList(catalogue, archive);
    if (catalogue.RadioChannelList.records.empty()) {
        err << "no channels in " << argv[1] << '\n';
        return 1;
    }

    CatalogueSearch search(catalogue);
    QElapsedTimer clock;
    clock.start();
    const qsizetype indexBytes = search.Index().MemoryBytes();
    const double buildMs = double(clock.nsecsElapsed()) / 1e6;

    ChannelDirectory directory;
    directory.SetCatalogue(catalogue);
    CMediaView tree(directory);
    tree.resize(285, 102);
    tree.SetupImages();
    tree.show();
    // In the window the tree has been painted before the first keystroke: so here, with the
    // fonts and icons loaded by one uncounted round.
    tree.AddChannels(tree.AddRoot(), {catalogue.RadioChannelList.records.front().name});
    QCoreApplication::processEvents();
    tree.viewport()->repaint();

    std::vector<double> keystrokes;
    std::vector<double> searchOnly;
    std::vector<double> keystrokesCpu;
    for (const char* query : kQueries) {
        const QString text = QString::fromUtf8(query);
        for (qsizetype typed = 1; typed <= text.size(); ++typed) {
            const QString prefix = text.left(typed);
            clock.restart();
            const double cpuStart = ThreadCpuMs();
            const std::vector<SearchHit> hits = search.Find(prefix, StationSearch::kWindowResults);
            searchOnly.push_back(double(clock.nsecsElapsed()) / 1e6);
            std::vector<QByteArray> names;
            names.reserve(hits.size());
            for (const SearchHit& hit : hits)
                names.push_back(catalogue.RadioChannelList.records[size_t(hit.record)].name);
            tree.clear();
            tree.AddChannels(tree.AddRoot(), names);
            tree.scrollToTop();
            QCoreApplication::processEvents();
            tree.viewport()->repaint();
            keystrokes.push_back(double(clock.nsecsElapsed()) / 1e6);
            keystrokesCpu.push_back(ThreadCpuMs() - cpuStart);
        }
    }

    const QJsonObject report{
        {QStringLiteral("channels"), int(catalogue.RadioChannelList.records.size())},
        {QStringLiteral("index_bytes"), double(indexBytes)},
        {QStringLiteral("build_ms"), buildMs},
        {QStringLiteral("keystrokes"), int(keystrokes.size())},
        {QStringLiteral("median_ms"), Median(keystrokes)},
        {QStringLiteral("max_ms"), *std::max_element(keystrokes.begin(), keystrokes.end())},
        {QStringLiteral("cpu_median_ms"), Median(keystrokesCpu)},
        {QStringLiteral("cpu_max_ms"),
         *std::max_element(keystrokesCpu.begin(), keystrokesCpu.end())},
        {QStringLiteral("search_median_ms"), Median(searchOnly)},
        {QStringLiteral("search_max_ms"), *std::max_element(searchOnly.begin(), searchOnly.end())},
    };
    QTextStream(stdout) << QJsonDocument(report).toJson(QJsonDocument::Compact) << '\n';
    return 0;
}
