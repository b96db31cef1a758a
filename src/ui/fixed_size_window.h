#pragma once

class QWidget;

namespace quorvel {

// Keeps a fixed-size top-level window at its size, whatever the window manager or compositor
// makes of it.
//
// Where the platform lets a program say so, the window is offered neither resizing nor maximizing:
// on X11 the Motif hints say so (Qt writes them with resizing always allowed). Not every manager
// listens: some maximize a fixed-size window, make it full screen, or resize it when another
// program asks. The window then grows with its controls where they were, and returns to exactly
// its fixed size once the manager lets go of it, also where the manager says so by deleting the
// window's state (fluxbox leaving full screen), which Qt alone would not take for the normal state.
// A Wayland compositor holding a window maximized even requires it to be exactly the configured
// size (keeping its size would be a protocol error, which ends the program); a window may be
// smaller than the screen in full screen.
//
// After every change of state the window is painted again: a Wayland compositor applies a new
// state only with the next frame, and a window whose size did not change would send none.
void keepFixedSizeWhenMaximized(QWidget& window);

} // namespace quorvel
