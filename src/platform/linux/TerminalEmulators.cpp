#include "platform/linux/TerminalEmulators.h"

namespace parlova::platform {

const QStringList& TerminalEmulators::classes() {
    // xterm and urxvt are left out: they do not paste the clipboard with
    // Ctrl+Shift+V, so Ctrl+V is as good as anything there.
    static const QStringList list{
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("tilix"),
        QStringLiteral("com.gexperts.tilix"),
        QStringLiteral("terminator"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("foot"),
        QStringLiteral("footclient"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("stterm"),
        QStringLiteral("stterm-256color"),
        QStringLiteral("qterminal"),
        QStringLiteral("terminology"),
        QStringLiteral("sakura"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("kgx"),
        QStringLiteral("org.gnome.console"),
        QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("deepin-terminal"),
        QStringLiteral("io.elementary.terminal"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("contour"),
        QStringLiteral("com.mitchellh.ghostty"),
    };
    return list;
}

bool TerminalEmulators::isTerminal(QStringView instance, QStringView windowClass) {
    const auto known = [](QStringView name) {
        return !name.isEmpty() && classes().contains(name.toString().toLower());
    };
    return known(instance) || known(windowClass);
}

} // namespace parlova::platform
