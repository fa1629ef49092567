// The hook through which the stream client hands every received block to the recording in
// progress. The recorder implements it; the client appends while IsRecording() is true, so
// the recorded bytes are exactly the bytes received.
#pragma once

#include <QByteArray>

namespace kestrune {

class RecordingSink {
public:
    virtual ~RecordingSink() = default;
    virtual bool IsRecording() const = 0;
    // Appends at the current position of the open recording file. Failures are the
    // recorder's to note; the client delivers the block to the player regardless.
    virtual void AppendToRecording(const QByteArray &block) = 0;
};

} // namespace kestrune
