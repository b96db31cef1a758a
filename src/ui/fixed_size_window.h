#pragma once

class QWidget;

namespace quorvel {

// Lets a fixed-size top-level window survive being maximized on Wayland.
//
// A Wayland compositor may configure a window as maximized (Qt's own title bar offers it even for
// a fixed-size window, and some compositors grant it) and then requires the window to be exactly
// the configured size: a fixed-size window that keeps its size is a protocol error, which ends
// the program. While maximized, the window may grow; its controls keep their places, and the
// fixed size returns with the normal state, or when the window is hidden (it is shown again in the
// normal state). Full screen needs nothing: a window may be smaller than the screen there.
//
// Elsewhere (X11, the offscreen platform) it does nothing: the window manager keeps fixed-size
// windows at their size.
void keepFixedSizeWhenMaximized(QWidget& window);

} // namespace quorvel
