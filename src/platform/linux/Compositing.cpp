#include "platform/Compositing.h"

#include "platform/linux/X11Display.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>

#include <X11/Xlib.h>

namespace parlova::platform {

bool windowsCanBeTranslucent() {
    // Wayland compositors always blend; only X11 may lack a compositor.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    static const X11Display display;
    if (!display)
        return true;
    Display* d = display.get();
    // A compositing manager owns this selection for as long as it runs.
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(d));
    const Atom selection = XInternAtom(d, name.constData(), False);
    return XGetSelectionOwner(d, selection) != None;
}

} // namespace parlova::platform
