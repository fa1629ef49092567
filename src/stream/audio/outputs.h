// The audio outputs: the sound device (a module, loaded when first used, fed on our own timer), a
// null output that takes sound in real time and plays nothing, and a WAV file writer, also paced in
// real time.
#pragma once

#include "stream/audiooutput.h"

#include <QString>

#include <memory>

namespace kestrune {

// The output KESTRUNE_AUDIO asks for ("null", or "wav:PATH"), or the default sound device
// when it is not set. `choice` overrides the environment when not empty; "device" asks for
// the sound device explicitly. Anything else unknown gives the sound device.
std::unique_ptr<AudioOutput> createAudioOutput(const QString &choice = QString());

std::unique_ptr<AudioOutput> createDeviceOutput();
// True when the system has a default sound output (asks the sound server each time).
bool soundDeviceAvailable();
std::unique_ptr<AudioOutput> createNullOutput();
std::unique_ptr<AudioOutput> createWavFileOutput(const QString &path);

} // namespace kestrune
