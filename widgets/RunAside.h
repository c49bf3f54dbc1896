#pragma once
// Runs work on a thread of its own while this one keeps painting the window, and returns
// when it is done. The work must not touch widgets; it reaches them through queued calls.
#include <functional>

namespace RunAside {

enum class Input {
    Held,     // user input waits until the work is done, as for a dialog that blocks
    Allowed,  // the window takes input meanwhile (a stop button); the caller disables the rest
};

void run(const std::function<void()> &work, Input input = Input::Held);

} // namespace RunAside
