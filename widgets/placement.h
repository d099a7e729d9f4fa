#pragma once

class QWidget;

// Centres a window on the screen that shows `reference` (the window's own screen
// when there is none), not over the reference: a window opened from a main window
// near a screen edge would otherwise hang off the screen. The title bar stays on
// the screen when the window is taller than it.
void CentreOnScreen(QWidget &window, const QWidget *reference);
