#pragma once
// The engine's temporary files (sorts, the tables behind DISTINCT, IN and WITH, statement
// journals), counted. The engine has no bound of its own for them: the page limit of a
// store does not reach them, and a statement that sorts or collects without end fills the
// disk. The program opens every connection through a thin file layer that passes all files
// to the system's own, and counts the temporary ones opened on a thread that holds a
// Budget; a write that would take them past it fails as a full disk does.
#include <QtGlobal>

namespace TempStorage {

// Puts the layer in place for connections opened from now on; called before the first one.
void install();

// While it lives, the temporary files the engine opens on this thread may hold at most
// `bytes` together (the ones already open are not counted).
class Budget
{
public:
    explicit Budget(qint64 bytes);
    ~Budget();
    Budget(const Budget &) = delete;
    Budget &operator=(const Budget &) = delete;

    // Whether a write has been refused for going past the budget.
    bool exceeded() const;

    struct State;

private:
    State *m_state;
    State *m_outer;
};

} // namespace TempStorage
