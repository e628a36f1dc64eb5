#pragma once

namespace parlova::app {

// The desktop program lives in a module of its own (parlova-bureau.so), so
// that a command-line run never loads widgets, the display, sound or the
// encoder. It is looked for beside the executable (the build tree), then in
// the program's library folder (an installation).
class DesktopModule {
public:
    // Loads the module and hands it the process; answers its exit status, or
    // 1 after a French line on standard error when it cannot be loaded.
    static int run(int argc, char** argv);
};

} // namespace parlova::app
