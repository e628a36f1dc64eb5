#include "Rig.h"

namespace parlova::test {

bool rigPresent() {
    return qEnvironmentVariableIsSet("PARLOVA_RIG");
}

} // namespace parlova::test
