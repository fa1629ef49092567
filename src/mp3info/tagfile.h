// The ID3v1 tag of a file on disk: read, add an empty one, remove, save. Each operation opens
// the file anew, measures it then, and either succeeds or leaves the file as it was; none of
// them ever rewrites or moves the audio. A failure carries a plain sentence for the user.
#pragma once

#include "mp3info/id3v1.h"

#include <QString>

#include <optional>

namespace kestrune {

struct TagResult {
    bool ok = false;
    QString reason; // why not, for the user; empty when ok
};

struct TagLookup {
    bool readable = false; // the file could be opened and measured
    QString reason;        // why not, for the user
    qint64 fileLength = 0; // bytes
    // The tag in the last 128 bytes ("tag" in any case), fields trimmed; nothing when the
    // file has none (or is shorter than a tag).
    std::optional<Id3v1Fields> tag;
};

TagLookup ReadTagFile(const QString &path);

// Appends an empty tag ("TAG", 124 zero bytes, genre 255). Refused when the file already
// ends in a tag. A short write is undone.
TagResult AddEmptyTag(const QString &path);

// Cuts the last 128 bytes off, in place, after checking that they are a tag.
TagResult RemoveTag(const QString &path);

// Writes `fields` over the last 128 bytes, after checking that they are a tag.
TagResult SaveTag(const QString &path, const Id3v1Fields &fields);

} // namespace kestrune
