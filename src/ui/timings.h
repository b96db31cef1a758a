#pragma once

// The few waits of the windows, in one place: each is how long the program gives another
// program (the window manager or compositor, or Qt reporting it) before it acts without it.
namespace quorvel::timings {

// How long a window shown anew may take to get the keyboard focus from the compositor: About,
// shown anew, is not shown anew again before, and is looked at again after it (a compositor may
// put it away at once, without saying so). A busy compositor answers within a few frames; a
// second is many.
constexpr int focusArrivalMs = 1000;

// How long the main window waits for About to become the active window before disabling itself
// all the same (a window manager may refuse to hand over the focus). Disabling it earlier makes
// screen readers read the disabled window into About. A manager that hands over the focus at all
// does so within a few frames; it was raised from half a second to this, to leave room to spare.
constexpr int focusHandoverMs = 1000;

// How long Qt may take to report the window state that came with a new size: until then a
// window larger than its fixed size may still be maximized to the compositor.
constexpr int stateSettleMs = 200;

} // namespace quorvel::timings
