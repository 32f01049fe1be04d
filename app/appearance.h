#pragma once

// The look every window of the client shares: Qt's own translations of standard buttons and
// dialogs for the system's locale (Chinese when the locale has none), a CJK sans face for the
// interface, and disabled inputs whose text stays legible. Call once the application exists.
void applyAppearance();
