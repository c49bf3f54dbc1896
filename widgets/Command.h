#pragma once
// Runs a command's body; a failed statement stops the command and shows the engine's
// own text in an error box, and the window stays usable.
#include <functional>

class QWidget;

namespace Command {

// Returns false when the body stopped on an error.
bool run(QWidget *parent, const std::function<void()> &body);

} // namespace Command
