// What the rest of the program may know about the recording in progress. The recorder owns
// it; the stream client appends through it while IsRecording is set.
#pragma once

#include <QDateTime>
#include <QString>

namespace kestrune {

struct RecordingState {
    bool IsRecording = false;         // a recording file is open
    QString RecFileName;              // full path of the current (or last) recording file
    qint64 RecordStartBytes = 0;      // the stream's byte count when the file was opened
    QDateTime RecordStartTime;        // local time when the file was opened
    QString RecSongTitle;             // title the file's tag will carry
    bool RecWarningCancelled = false; // the answer of the last recording warning
};

} // namespace kestrune
