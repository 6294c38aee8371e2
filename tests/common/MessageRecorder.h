// MessageRecorder.h: stands in for every message box while it lives: records each box and
// answers it with the next queued answer.
#pragma once

#include "Messages.h"

#include <QList>
#include <QQueue>

class MessageRecorder
{
public:
    struct Box
    {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QWidget *owner;
        QMessageBox::StandardButton defaultButton;
    };

    MessageRecorder();
    ~MessageRecorder();

    // Answers for the coming boxes, in order; a box with no queued answer gets its default button
    // (as Enter would), else OK, or Yes when it has no OK button.
    void answer(QMessageBox::StandardButton button) { m_answers.enqueue(button); }
    // Runs when a box is shown (after it is recorded), for example to check the window's state.
    void onShow(std::function<void(const Box &)> hook) { m_hook = std::move(hook); }

    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;
    // Each box as "caption|text|icon|buttons", e.g. "提示|你无权使用本系统！|information|Ok",
    // so that one comparison checks everything the operator sees.
    QStringList summaries() const;
    const Box &last() const { return m_boxes.constLast(); }
    void clear() { m_boxes.clear(); }
    int pendingAnswers() const { return int(m_answers.size()); }

private:
    QList<Box> m_boxes;
    QQueue<QMessageBox::StandardButton> m_answers;
    std::function<void(const Box &)> m_hook;
};
