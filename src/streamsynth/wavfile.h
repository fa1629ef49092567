// WAV files of made-up sound, for tests and benchmarks that hand audio to outside encoders.
#pragma once

#include <QByteArray>

namespace kestrune::testsupport {

// A 16-bit PCM WAV file, `frames` samples per channel long: two tones with a little noise, so
// that a VBR encoder has something to vary over. The seed picks the pitch and the noise; the
// channels differ in loudness.
QByteArray ToneWav(int rate, int channels, qint64 frames, quint32 seed = 1);

} // namespace kestrune::testsupport
