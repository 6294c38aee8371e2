#include "MessageRecorder.h"

#include "UCommon.h"

MessageRecorder::MessageRecorder()
{
    InstallStandardMessageSink();
    SetMessageBoxHandler([this](const MessageBoxRequest &r) {
        m_boxes.append({ r.text, r.caption, r.icon, r.buttons, r.owner, r.defaultButton });
        if (m_hook)
            m_hook(m_boxes.constLast());
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        if (r.defaultButton != QMessageBox::NoButton)
            return r.defaultButton;
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

QStringList MessageRecorder::summaries() const
{
    static const QList<QPair<QMessageBox::StandardButton, const char *>> names = {
        { QMessageBox::Ok, "Ok" }, { QMessageBox::Cancel, "Cancel" }, { QMessageBox::Yes, "Yes" },
        { QMessageBox::No, "No" },
    };
    QStringList out;
    for (const Box &b : m_boxes) {
        const char *icon = b.icon == QMessageBox::Information ? "information"
                         : b.icon == QMessageBox::Warning     ? "warning"
                         : b.icon == QMessageBox::Critical    ? "critical"
                         : b.icon == QMessageBox::Question    ? "question"
                                                              : "none";
        QStringList buttons;
        for (const auto &[button, name] : names)
            if (b.buttons.testFlag(button))
                buttons << QString::fromLatin1(name);
        out << QStringList{ b.caption, b.text, QString::fromLatin1(icon), buttons.join(u'+') }.join(u'|');
    }
    return out;
}
