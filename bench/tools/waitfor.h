// Event-driven waiting for the benchmark drivers: no polling, so the wait itself costs nothing
// that would show in their CPU figures.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>

namespace kestrune::bench {

// Runs the event loop until `done` says so (checked whenever `signal` fires) or `ms` pass.
template <typename Sender, typename Signal>
bool waitFor(const Sender *sender, Signal signal, const std::function<bool()> &done, int ms) {
    if (done())
        return true;
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Runs the event loop for `ms`.
inline void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kestrune::bench
