#pragma once

#include <QString>

namespace parlova::core {

// The texts of the application's screens, menus and pill, by name. A
// constant is looked up on its first use and then kept for the life of the
// process (a screen built later shows the same words as one built earlier);
// a function looks its entry up at every call.
class Texts {
public:
    Texts() = delete;

    // One member per entry of src/core/texts/catalog.json that names one,
    // generated at build time.
#include "core/TextsDeclarations.inc"

    // The three paragraphs of the account deletion warning (loss, refund,
    // kept), separated by a blank line.
    static const QString& deleteAccountWarning();
};

} // namespace parlova::core
