#pragma once
// The window a dialog should stay above. Hosts give the editor a window that
// lies inside their own; window managers tie dialogs only to the top-level
// window they manage, so a dialog is tied to that one.

// The managed top-level window that holds window (the window itself when it
// is one, or when the display cannot be asked). Opens a display connection
// of its own for the question.
unsigned long topLevelWindow(unsigned long window);
