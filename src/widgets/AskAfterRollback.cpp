#include "AskAfterRollback.h"

#include "Messages.h"

AskAfterRollback::AskAfterRollback(TKelvaraMg &manager)
    : m_manager(manager), m_previousRollover(manager.FConfirmRollover), m_previousUnusual(manager.FConfirmUnusual)
{
    m_manager.SetRolloverConfirmation([this](qint32 typed, qint32 previous) {
        return answer(RolloverQuestionText(typed, previous), QStringLiteral("提示"));
    });
    // A rollover has had its own question.
    m_manager.SetUnusualConfirmation([this](const UnusualReading &reading) {
        return reading.rollover || answer(UnusualQuestionText(reading), QStringLiteral("操作提示"));
    });
}

AskAfterRollback::~AskAfterRollback()
{
    m_manager.SetRolloverConfirmation(m_previousRollover);
    m_manager.SetUnusualConfirmation(m_previousUnusual);
}

bool AskAfterRollback::answer(const QString &text, const QString &caption)
{
    const auto known = m_answers.constFind(text);
    if (known != m_answers.constEnd())
        return *known;
    if (!m_pending)
        m_pending = qMakePair(text, caption);
    return false;
}

bool AskAfterRollback::ask(QWidget *owner)
{
    if (!m_pending)
        return false;
    const auto [text, caption] = *m_pending;
    m_pending.reset();
    const bool yes = ShowMessageBox(owner, text, caption, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No)
        == QMessageBox::Yes;
    m_answers.insert(text, yes);
    return yes;
}
