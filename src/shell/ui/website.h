// Opening addresses outside the program in the user's web browser or mail program, and the
// program's website behind Help > Kestrune website.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace kestrune {

// Hands an address to the desktop; false when nothing could be started for it.
using UrlOpener = std::function<bool(const QUrl &url)>;
// Tells the user something in plain text and returns at once.
using PlainMessage = std::function<void(QWidget *parent, const QString &text)>;

// QDesktopServices::openUrl.
UrlOpener desktopUrlOpener();
// A message box with an OK button that does not block (openMessage).
PlainMessage nonBlockingMessage();

// What the user reads when no browser (or, for a mailto: address, no mail program) could be
// started for `url`: the address is written out so that it can still be typed by hand.
QString noBrowserText(const QUrl &url);

// Opens ProgramWebsite through `opener`; if that fails, says so through `message`, naming the
// address. Empty functions mean the defaults above. Returns whether the opener succeeded.
bool openWebsite(QWidget *parent, const UrlOpener &opener = {}, const PlainMessage &message = {});

} // namespace kestrune
