#pragma once

#include <QString>
#include <QTest>

namespace parlova::test {

// True when scripts/rig.sh started the test rig (X11, keyring, sound, relay
// authority). Under the rig every piece must be there, so tests fail rather
// than skip; a developer's bare `ctest` skips what it cannot run.
bool rigPresent();

} // namespace parlova::test

#define PARLOVA_REQUIRE_RIG()                                                                      \
    do {                                                                                           \
        if (!parlova::test::rigPresent())                                                          \
            QSKIP("needs the test rig: run through scripts/rig.sh");                               \
    } while (false)

// main() for tests of what belongs to the X server (focus, clicks, clipboard,
// paste): only the rig has one; elsewhere the offscreen platform does for the rest.
#define PARLOVA_X11_TEST_MAIN(Application, TestObject)                                             \
    int main(int argc, char** argv) {                                                              \
        if (parlova::test::rigPresent())                                                           \
            qputenv("QT_QPA_PLATFORM", "xcb");                                                     \
        Application application(argc, argv);                                                       \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
