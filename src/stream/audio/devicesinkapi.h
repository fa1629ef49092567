// What the sound-device module offers: a plain table of functions, so that programs which
// never play on a device do not load the sound server's client library, and nothing but C types
// crosses between the module and the program (each has its own copy of our static libraries).
#pragma once

#include <cstddef>
#include <cstdint>

class QObject;

extern "C" {

struct KestruneDeviceSinkApi {
    int version; // KestruneDeviceSinkApiVersion
    // True when the system has a default sound output.
    bool (*hasDevice)();
    // The default output's name in UTF-8, cut to `size` - 1 bytes and ended by a zero byte;
    // returns the bytes the whole name needs. Empty when there is none.
    std::size_t (*description)(char *text, std::size_t size);
    // Opens a 16-bit stream on the default output with a buffer of `bufferBytes`, in push
    // mode. `failed(context)` is called (from the event loop) if the device stops by itself.
    // Null when the device cannot be opened. The stream's Qt objects are one child of `owner`
    // (deleting it closes the stream at once).
    void *(*open)(QObject *owner, int sampleRate, int channels, int bufferBytes,
                  void (*failed)(void *), void *context);
    std::int64_t (*bytesFree)(void *sink);
    std::int64_t (*bufferSize)(void *sink);
    // Hands PCM to the device; returns the bytes it took.
    std::int64_t (*write)(void *sink, const char *data, std::int64_t bytes);
    // Stops the stream and frees it (its Qt objects once control is back in the event loop,
    // as they may be in one of their own signals).
    void (*close)(void *sink);
};

inline constexpr int KestruneDeviceSinkApiVersion = 1;
// The module's one exported function.
inline constexpr const char *KestruneDeviceSinkEntry = "kestrune_device_sink_api";
using KestruneDeviceSinkEntryFunction = const KestruneDeviceSinkApi *(*)();
}
