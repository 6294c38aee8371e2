// Guarded.h: runs an event handler's work so that no exception crosses Qt's event loop.
#pragma once

#include "Database.h"
#include "Messages.h"

#include <QCoreApplication>
#include <exception>

// A database failure is told by its cause (damaged, locked, read-only, full) or the engine's text.
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
        if (e.kind() == DatabaseError::Damaged)
            Database::markDamaged();
        if (e.namesCause())
            ShowMessageBox(owner, e.operatorText(), QCoreApplication::applicationName(), QMessageBox::Critical);
        else
            ShowErrorBox(owner, e.text());
    } catch (const std::exception &e) {
        ShowErrorBox(owner, QString::fromUtf8(e.what()));
    }
    return false;
}
