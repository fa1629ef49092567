// Times reading one large directory page: the page is laid out by the station simulator (the
// same rows a user's directory sends), joined as a download would join it, and read by the
// page reader several times. Prints the page size, the rows found and the median time.
//
// Usage: kestrune-bench-pageparse [MEGABYTES] [RUNS] [PAGE_FILE]   (default 1.3 MB, 5 runs;
// with PAGE_FILE the page's bytes are also written there, for a reference tool to read)
#include "directory/directoryquery.h"
#include "directory/pageparser.h"
#include "stationsim/catalogue.h"
#include "stationsim/pages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace kestrune;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const double megabytes = args.size() > 1 ? args.at(1).toDouble() : 1.3;
    const int runs = args.size() > 2 ? qMax(1, args.at(2).toInt()) : 5;
    const qint64 target = qint64(megabytes * 1000 * 1000);

    stationsim::Catalogue catalogue;
    const QList<stationsim::Station> &stations = catalogue.stations(QStringLiteral("TopTen"));
    // Rows repeat until the page has the size asked for; the page is one long table with
    // paging links on both sides, as the directory sends it.
    stationsim::DirectoryPage layout;
    layout.genre = QStringLiteral("TopTen");
    layout.startAt = 25;
    layout.port = 8000;
    while (true) {
        for (const stationsim::Station &s : stations)
            layout.listing.append(&s);
        layout.pageSize = int(layout.listing.size()) - 1;
        if (stationsim::directoryPage(layout).size() >= target)
            break;
    }
    const QByteArray bytes = stationsim::directoryPage(layout);
    const QString page = JoinPageLines(bytes);
    if (args.size() > 3) {
        QFile out(args.at(3));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            QTextStream(stderr) << "cannot write " << args.at(3) << "\n";
            return 1;
        }
    }

    std::vector<qint64> times;
    qsizetype rows = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const ParsedPage parsed = ReadList(page, 999, QStringLiteral("http://127.0.0.1:8000"));
        times.push_back(timer.nsecsElapsed());
        rows = parsed.rows.size();
    }
    std::sort(times.begin(), times.end());
    QTextStream(stdout) << "page " << bytes.size() << " bytes, " << rows << " rows, median of "
                        << runs << " reads "
                        << QString::number(times[times.size() / 2] / 1e6, 'f', 2) << " ms\n";
    return 0;
}
