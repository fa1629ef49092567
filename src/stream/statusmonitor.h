// The status monitor's rules: once a second (Timer1) and every five seconds (Timer2) the
// figures, the caption and the availability of the buttons follow the player's state. Both
// are pure functions from a snapshot of that state to what the window shows, so the rules are
// tested without a window; the window applies the result and the model does the rest
// (switching the watchdog off, asking for the free space, polling the song).
#pragma once

#include "stream/playerstatus.h"

#include <QString>

#include <optional>

namespace kestrune {

struct StatusSnapshot {
    PlayerPhase phase = PlayerPhase::Stopped;
    // A directory page is being downloaded: its progress owns the caption meanwhile.
    bool directoryBusy = false;
    QString caption;              // the grid caption as it reads now
    bool stationSelected = false; // a row of the station grid is selected
    int stationRows = 0;          // rows in the station grid
    int server = -1;              // the selected server's index in the server list, -1: none
    int serverCount = 0;
    qsizetype ringHeld = 0; // bytes in the ring
    qint64 downloaded = 0;  // the stream client's byte count
    bool isRecording = false;
    qint64 recordStartBytes = 0;
    QString recordElapsed; // TimeDiff(RecordStartTime, LastTickTime), "hh:mm:ss"
};

// What one Timer1 tick changes. An empty optional leaves that part as it is.
struct Timer1View {
    QString bufferText; // status panel 2, always rewritten
    std::optional<QString> caption;
    bool startEnabled = false;
    std::optional<bool> recordEnabled;     // the Record button and menu entry
    bool stationInfoEnabled = false;       // the Station info button and menu entry
    std::optional<QString> downloadedText; // status panel 4
    std::optional<QString> recSizeText;    // lblRecSize
    std::optional<bool> ledVisible;
    bool blinkLed = false;         // the recording LED changes colour
    bool stopWatchdog = false;     // playing: the connect watchdog has nothing more to do
    bool refreshFreeSpace = false; // recording: ask for the free space where the file goes
    // The free space beside the recording: "1,234.57 Gb (42%)", filled in by whoever asked.
    std::optional<QString> freeSpaceText;
};

// What one Timer2 tick changes.
struct Timer2View {
    bool pollSong = false; // run the now-playing poll
    bool stationInfoEnabled = false;
    bool nextSpectrumLook = false; // the spectrum moves to its next look (0 to 5, cycling)
};

Timer1View Timer1Rules(const StatusSnapshot &state);
Timer2View Timer2Rules(PlayerPhase phase);

// "Status: Requesting from server 1 of 3"; `joiner` is " of" or " from", each number after
// one blank.
QString RequestingCaption(int server, int count, const QString &joiner);

} // namespace kestrune
