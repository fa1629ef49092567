#include "stream/socketlowwater.h"

#if defined(Q_OS_LINUX) || defined(Q_OS_MACOS) || defined(Q_OS_FREEBSD)
#include <sys/socket.h>
#define KESTRUNE_HAVE_RCVLOWAT 1
#endif

namespace kestrune {

bool setReceiveLowWater(qintptr descriptor, int bytes) {
#ifdef KESTRUNE_HAVE_RCVLOWAT
    if (descriptor < 0 || bytes < 1)
        return false;
    return ::setsockopt(int(descriptor), SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) == 0;
#else
    Q_UNUSED(descriptor);
    Q_UNUSED(bytes);
    return false;
#endif
}

} // namespace kestrune
