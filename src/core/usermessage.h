// The kinds of message box the program shows, so that logic code can say which one a message
// needs without knowing of widgets.
#pragma once

namespace kestrune {

enum class MessageIcon {
    None,        // a plain box with an OK button: most of the program's messages
    Information, // the "i" symbol
};

} // namespace kestrune
