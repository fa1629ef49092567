// A file's last 128 bytes as the tag readers see them, and what the tag editor writes back
// from what it read.
#include "fuzzsupport.h"
#include "mp3info/id3v1.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray block(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<Id3v1Fields> own = ReadId3v1Tag(block);
    const std::optional<Id3v1Fields> any = ReadAnyId3v1Tag(block);
    fuzz::check(any.has_value() == IsId3v1Tag(block), "a tag is read exactly when it is one");
    fuzz::check(!own || any, "our own tag is a tag for everybody");
    if (any) {
        const QByteArray written = BuildId3v1Tag(*any);
        fuzz::check(written.size() == Id3v1Size, "a written tag is 128 bytes");
        const std::optional<Id3v1Fields> again = ReadAnyId3v1Tag(written);
        fuzz::check(again && again->genre == any->genre, "a written tag reads back");
    }
    return 0;
}
