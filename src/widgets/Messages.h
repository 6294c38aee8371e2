// Messages.h: every message box of the program passes through one replaceable function,
// so that a test can read each box and answer it.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

struct MessageBoxRequest
{
    QWidget *owner = nullptr;
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // The button Enter presses; NoButton leaves the choice to the box.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest &)>;

// Replaces the real boxes; an empty handler restores them.
void SetMessageBoxHandler(MessageBoxHandler handler);

// Shows a box and returns the button pressed. Once the end of the program has been
// requested nothing is shown and the answer is NoButton.
QMessageBox::StandardButton ShowMessageBox(QWidget *owner, const QString &text, const QString &caption,
                                           QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The application's title as caption, no icon, one OK button.
void ShowPlainMessage(QWidget *owner, const QString &text);

// The general error box for a failure no handler caught: the failure's text, with "." added
// when its last character sorts after ".", the application's title, a stop icon and OK.
void ShowErrorBox(QWidget *owner, const QString &text);

// Routes the data manager's ShowMessageText to a box owned by the application:
// caption "错误提示", information icon, OK.
void InstallStandardMessageSink();
