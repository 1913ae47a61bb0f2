// Tracing: short ASCII texts of object lifetimes and of the management
// object's steps, sent synchronously to a window titled "Receiver".
//
// Each text makes a fresh window look-up, so a receiver opened or closed at
// any time is picked up at the next text; with no receiver nothing is sent.
// Holds no lock; callable from any thread, also while holding object locks.
#pragma once

namespace calyra {

// Sends text (without its terminating NUL) as WM_COPYDATA with dwData 0.
// Returns whether a receiver was found; no caller needs the answer.
bool SendTrace(const char* text);

}  // namespace calyra
