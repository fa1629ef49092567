// The engine as the stream tests drive it: on a given output, noting the status texts as they
// change, the messages, and how often the intake asked for the stop it then gets.
#pragma once

#include "stream/engine.h"
#include "stream/playerstatus.h"

#include <QStringList>

#include <memory>

namespace kestrune::test {

struct TestPlayer {
    StreamEngine engine;
    QStringList statuses;
    QStringList messages;
    int stops = 0;

    explicit TestPlayer(std::unique_ptr<AudioOutput> output)
        : engine(std::move(output)) {
        QObject::connect(&engine.status(), &PlayerStatus::textChanged, [this](const QString &t) {
            if (statuses.isEmpty() || statuses.last() != t)
                statuses << t;
        });
        QObject::connect(&engine.intake(), &StreamIntake::message,
                         [this](const QString &t) { messages << t; });
        QObject::connect(&engine.intake(), &StreamIntake::stopRequested, [this] {
            ++stops;
            engine.stopPlayback();
        });
    }
    qint64 played() { return engine.output().bytesPlayed(); }
    double secondsPlayed() { return double(played()) / (PcmSampleRate * PcmBytesPerFrame); }
};

} // namespace kestrune::test
