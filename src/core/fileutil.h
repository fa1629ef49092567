// Small text and file-system helpers shared across the program.
#pragma once

#include <QString>

namespace kestrune {

// True when `path` names an existing folder. `path` is meant to end with the separator; a
// path without one is taken, as it always was, as a name prefix: true when any entry of the
// parent folder starts with it.
bool FolderExists(const QString &path);

// "True" when `path` names an existing file (hidden ones included), else "False".
QString FileExists(const QString &path);

// Replaces `find` by `replacement` in one left-to-right pass over the positions the text had
// at the start. The scan goes on at the next position of the changed text, so characters of
// an inserted replacement can match again, the character that moves into a position after a
// removal is not looked at again, and positions beyond the starting length are never looked
// at: "&amp;&amp;" with find "&amp;" and an empty replacement gives "&amp;". Station names
// from the directory are cleaned by exactly this rule (the page parser has a one-pass copy of
// it for that one case). `text` is changed in place and also returned.
QString ReplaceText(QString &text, const QString &find, const QString &replacement);

// The platform's path separator as text ("/" here, "\" on Windows).
QString pathSeparator();

// `path` with a trailing separator added when it has none.
QString withTrailingSeparator(const QString &path);

} // namespace kestrune
