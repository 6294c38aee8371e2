// ButtonKeys.h: Enter on a focused push button presses it, as Space does.
#pragma once

class QWidget;

// Gives every push button below the window this key: the operator who tabs to a button presses
// it with Enter. Only a button that has the focus reacts; Enter in an edit box is left to the
// window, so no button becomes a default button by this.
void EnterPressesFocusedButton(QWidget *window);
