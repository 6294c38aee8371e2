#include "Messages.h"

#include "UCommon.h"

#include <QCoreApplication>
#include <QPushButton>

namespace {

MessageBoxHandler &handler()
{
    static MessageBoxHandler h;
    return h;
}

QMessageBox::StandardButton showReal(const MessageBoxRequest &request)
{
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.owner);
    if (request.defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(request.defaultButton);
        // Escape gives the same careful answer as Enter.
        box.setEscapeButton(request.defaultButton);
    }
    return QMessageBox::StandardButton(box.exec());
}

}

void SetMessageBoxHandler(MessageBoxHandler h)
{
    handler() = std::move(h);
}

QMessageBox::StandardButton ShowMessageBox(QWidget *owner, const QString &text, const QString &caption,
                                           QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton)
{
    if (TerminateRequested())
        return QMessageBox::NoButton;
    const MessageBoxRequest request{ owner, text, caption, icon, buttons, defaultButton };
    return handler() ? handler()(request) : showReal(request);
}

void ShowPlainMessage(QWidget *owner, const QString &text)
{
    ShowMessageBox(owner, text, QCoreApplication::applicationName(), QMessageBox::NoIcon, QMessageBox::Ok);
}

void ShowErrorBox(QWidget *owner, const QString &text)
{
    QString shown = text;
    if (!shown.isEmpty() && shown.back() > u'.')
        shown += u'.';
    ShowMessageBox(owner, shown, QCoreApplication::applicationName(), QMessageBox::Critical, QMessageBox::Ok);
}

void InstallStandardMessageSink()
{
    SetMessageSink([](const QString &text) {
        ShowMessageBox(nullptr, text, QStringLiteral("错误提示"), QMessageBox::Information, QMessageBox::Ok);
    });
}
