// The receive low-water mark of a connected socket: the system wakes the reader only once this
// many bytes wait (or the connection ends), so a steady stream arriving in small segments
// costs one wake-up per mark instead of one per segment. Where the system has no such option
// this does nothing and every segment wakes the reader, as before.
#pragma once

#include <QtGlobal>

namespace kestrune {

// Sets the mark on the socket descriptor; false when the system refused it or has no mark.
bool setReceiveLowWater(qintptr descriptor, int bytes);

} // namespace kestrune
