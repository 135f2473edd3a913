#pragma once
// The language of the command line's messages. The texts are written in Japanese, the
// windows' own language; tessaly-cli installs the English translation outside a
// Japanese locale, the windows never do.
#include <QLocale>

namespace tessaly {

// Installs the English translation built into the program (tessaly-cli) when the
// locale's messages are not Japanese. Returns whether the messages are English.
bool InstallMessageLanguage();
// Installs the English translation whatever the locale, for a child that speaks its
// parent's language. Returns whether the messages are English.
bool InstallEnglishMessages();
// Whether this process speaks English, which its children then speak too.
bool MessagesInEnglish();
// Numbers and dates in messages, in the messages' language.
QLocale MessageLocale();

}  // namespace tessaly
