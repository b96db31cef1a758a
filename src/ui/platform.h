#pragma once

#include <QGuiApplication>

namespace quorvel {

// Which of Qt's platforms the program runs on: X11 and Wayland differ in what a window may ask
// of the window manager or compositor.
inline bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

inline bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace quorvel
