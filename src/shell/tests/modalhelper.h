// Drives modal windows from a test: the action runs once the next modal window is up.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace kestrune::test {

// Waits (at most `timeoutMs`) for a modal window other than `previous` and runs `action` on
// it. Sets `*timedOut` when none came, so the test can fail afterwards.
inline void whenModal(std::function<void(QWidget *)> action, bool *timedOut,
                      QWidget *previous = nullptr, int timeoutMs = 10000) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    // The pending timer holds the poll alive; the poll itself holds only a weak reference, so
    // it is freed once it stops rescheduling (a strong one would keep it for good).
    auto poll = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> self = poll;
    QPointer<QWidget> prev(previous);
    *poll = [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != prev.data() && modal->isVisible()) {
            action(modal);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            *timedOut = true;
            return;
        }
        if (const auto next = self.lock())
            QTimer::singleShot(10, [next] { (*next)(); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

} // namespace kestrune::test
