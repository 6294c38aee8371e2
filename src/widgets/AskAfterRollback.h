// AskAfterRollback.h: the questions a write needs answered (a rollover, an unusual reading), asked
// with no transaction open, so that no box waits for the operator while the database is held.
#pragma once

#include "UCommon.h"

#include <QHash>
#include <QString>
#include <optional>

class QWidget;

// Installs itself as the manager's rollover and unusual-reading confirmation while it lives. A
// write that meets a question not asked yet takes No for an answer and is refused; the caller
// rolls its transaction back, asks (ask()), and runs the write again, which then finds the
// operator's answer. A usual reading asks nothing and is written in one run.
class AskAfterRollback
{
public:
    explicit AskAfterRollback(TKelvaraMg &manager);
    ~AskAfterRollback();
    AskAfterRollback(const AskAfterRollback &) = delete;
    AskAfterRollback &operator=(const AskAfterRollback &) = delete;

    // Whether the last run met a question that has not been asked.
    bool hasQuestion() const { return m_pending.has_value(); }
    // Asks it in a box owned by owner, question icon, Yes and No with No the default (Enter and
    // Escape answer No); true for Yes.
    bool ask(QWidget *owner);

private:
    bool answer(const QString &text, const QString &caption);

    TKelvaraMg &m_manager;
    RolloverConfirmation m_previousRollover;
    UnusualConfirmation m_previousUnusual;
    QHash<QString, bool> m_answers;
    std::optional<QPair<QString, QString>> m_pending;   // text, caption
};
