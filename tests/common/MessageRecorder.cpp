#include "MessageRecorder.h"

#include "UCommon.h"

MessageRecorder::MessageRecorder()
{
    InstallStandardMessageSink();
    SetMessageBoxHandler([this](const MessageBoxRequest &r) {
        m_boxes.append({ r.text, r.caption, r.icon, r.buttons, r.owner });
        if (m_hook)
            m_hook(m_boxes.constLast());
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        return r.buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::Yes;
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageBoxHandler({});
    SetMessageSink({});
}

QStringList MessageRecorder::texts() const
{
    QStringList t;
    for (const Box &b : m_boxes)
        t << b.text;
    return t;
}
