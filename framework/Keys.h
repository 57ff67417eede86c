#pragma once

class QWidget;

namespace kw {

// Enter (or the keypad's Enter) on a focused push or tool button presses it, as Space does, in
// every such button of `window` that exists when this is called. The window's other controls keep their own
// Enter.
void enterPressesFocusedButton(QWidget *window);

} // namespace kw
