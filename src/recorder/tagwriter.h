// Gives a finished recording its ID3v1 tag.
#pragma once

#include <QString>

namespace kestrune {

// Appends an ID3v1 tag to the closed file `mp3File`: title and artist from `title` and
// `artist`, album "Unknown", `year`, `comment`, and the genre number of `genre` (see
// GenreNumber). First an empty tag (genre 255) is placed after the length measured on
// opening, then the real tag is written over it, so a failure in the second step still leaves
// a valid tag. Never looks for an existing tag: tagging twice leaves two.
//
// Returns true when the tag was written. False, with the file as it was, when it is missing
// (never created here), is not a regular file, cannot be opened, or is empty (an empty
// recording stays empty); false too when the empty tag could not be written whole, and then
// the file is cut back to its measured length so no partial tag remains and no byte before
// it is touched.
bool SaveMP3Info(const QString &mp3File, const QString &genre, const QString &artist,
                 const QString &title, const QString &year, const QString &comment);

} // namespace kestrune
