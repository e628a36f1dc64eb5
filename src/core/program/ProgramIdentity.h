#pragma once

namespace parlova::core {

// The program's names and texts, set once its application object exists:
// the command line and the desktop program are one program to the desktop,
// the keychain and the translations.
class ProgramIdentity {
public:
    static void install();
};

} // namespace parlova::core
