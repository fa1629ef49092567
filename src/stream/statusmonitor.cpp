#include "stream/statusmonitor.h"

#include "core/numbertext.h"
#include "stream/intake.h"
#include "stream/statusformat.h"

namespace kestrune {

QString RequestingCaption(int server, int count, const QString &joiner) {
    return QStringLiteral("Status: Requesting from server") + SignedNumber(server) + joiner +
           SignedNumber(count);
}

Timer1View Timer1Rules(const StatusSnapshot &state) {
    Timer1View view;
    view.bufferText = StreamIntake::bufferText(state.ringHeld);
    const int server = state.server + 1;

    if (state.phase == PlayerPhase::Playing) {
        view.stopWatchdog = true;
        const QString servers = SignedNumber(server) + QStringLiteral(" of") +
                                SignedNumber(state.serverCount) + QStringLiteral(")");
        // A search started while playing shows its own progress until it is done.
        if (!state.directoryBusy)
            view.caption = state.isRecording
                               ? QStringLiteral(" Playing & recording stream. (Server ") + servers
                               : QStringLiteral(" Playing stream (Server") + servers;
        view.startEnabled = false;
        if (!state.isRecording) {
            view.recordEnabled = true;
            view.recSizeText = QStringLiteral("None");
            view.ledVisible = false;
        }
        view.stationInfoEnabled = true;
        view.downloadedText = DownloadedText(state.downloaded);
        if (state.isRecording) {
            view.blinkLed = true;
            view.recSizeText =
                RecordedText(state.recordElapsed, state.downloaded - state.recordStartBytes);
            view.ledVisible = true;
            view.refreshFreeSpace = true;
        }
        return view;
    }

    view.startEnabled = state.stationSelected;
    if (state.phase == PlayerPhase::Requesting && !state.directoryBusy) {
        view.caption = RequestingCaption(server, state.serverCount, QStringLiteral(" of"));
    } else if (state.stationSelected && !state.caption.contains(QLatin1String("Prebuffering")) &&
               !state.caption.contains(QLatin1String("Loading stations"))) {
        view.caption = SignedNumber(state.stationRows) + QStringLiteral(" stations found");
    }
    // Not playing (prebuffering and resyncing included): nothing to record or describe yet.
    view.recordEnabled = false;
    view.stationInfoEnabled = false;
    return view;
}

Timer2View Timer2Rules(PlayerPhase phase) {
    Timer2View view;
    const bool playing = phase == PlayerPhase::Playing;
    view.pollSong = playing;
    view.stationInfoEnabled = playing;
    view.nextSpectrumLook = playing;
    return view;
}

} // namespace kestrune
