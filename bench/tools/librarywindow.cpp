// The library window opened on a folder of recordings, timed as a user sees it: from the
// click on the folder to the list painted with its rows, over several runs, with the peak
// memory of the whole program. Run by bench/library after the list's own stages.
//
//   kestrune-bench-librarywindow FOLDER [RUNS]
#include "library/ui/librarywindow.h"

#include "cputime.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTreeView>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kestrune;

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    QString folder = args[1];
    const int runs = std::max(1, args.value(2, QStringLiteral("7")).toInt());

    QElapsedTimer opening;
    opening.start();
    LibraryWindow window(folder, [] { return QString(); });
    window.show();
    QCoreApplication::processEvents();
    const double openMs = double(opening.nsecsElapsed()) / 1e6;

    auto *progress = window.findChild<QProgressBar *>(QStringLiteral("folderProgress"));
    std::vector<double> shown;
    bool progressSeen = false;
    int rows = 0;
    const double cpuBefore = bench::cpuSeconds();
    for (int r = 0; r < runs; ++r) {
        QSignalSpy done(&window, &LibraryWindow::folderShown);
        QElapsedTimer timer;
        timer.start();
        window.showFolder(QString()); // the root node: the files lying in FOLDER
        while (done.isEmpty()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            progressSeen = progressSeen || progress->isVisible();
            if (timer.elapsed() > 120000) {
                std::fprintf(stderr, "the folder was not shown within two minutes\n");
                return 1;
            }
        }
        window.fileList()->viewport()->repaint(); // the rows on screen, painted
        shown.push_back(double(timer.nsecsElapsed()) / 1e6);
        rows = window.fileList()->model()->rowCount();
    }
    const double cpu = bench::cpuSeconds() - cpuBefore;
    std::sort(shown.begin(), shown.end());
    const double median = shown.size() % 2
                              ? shown[shown.size() / 2]
                              : (shown[shown.size() / 2 - 1] + shown[shown.size() / 2]) / 2;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("window: opened in %.1f ms; %d rows shown: min %.1f ms, median %.1f ms over %d "
                "runs; progress shown: %s; cpu %.2f s; peak memory %.1f MiB\n",
                openMs, rows, shown.front(), median, runs, progressSeen ? "yes" : "no", cpu,
                double(usage.ru_maxrss) / 1024.0);
    return rows > 0 ? 0 : 1;
}
