#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace parlova::platform {

// The permissions help page shipped with the program (autorisations.html),
// which stands in for the system settings pages.
class HelpPage {
public:
    // Sections of the page.
    static constexpr char keyboardSection[] = "clavier";
    static constexpr char microphoneSection[] = "micro";

    // Looks in `folders`, or, without folders, beside the executable, in
    // ../share/parlova from it, then in the shared data folders.
    explicit HelpPage(QStringList folders = {});

    // The page at `section`; empty when the page is nowhere to be found.
    QUrl url(const char* section) const;

private:
    QString m_path;
};

} // namespace parlova::platform
