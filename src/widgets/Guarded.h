// Guarded.h: runs an event handler's work so that no exception crosses Qt's event loop.
#pragma once

#include "Database.h"
#include "Messages.h"

#include <exception>

// An AbortError ends the work silently; any other failure shows the general error box and
// the window keeps its state. Returns whether the work ran to its end.
template <typename Work>
bool Guarded(QWidget *owner, Work &&work)
{
    try {
        work();
        return true;
    } catch (const AbortError &) {
    } catch (const DatabaseError &e) {
        ShowErrorBox(owner, e.text());
    } catch (const std::exception &e) {
        ShowErrorBox(owner, QString::fromUtf8(e.what()));
    }
    return false;
}
