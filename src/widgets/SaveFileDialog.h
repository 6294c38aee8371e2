// SaveFileDialog.h: the save-file dialog behind one replaceable function, so that a test can
// choose the file instead of the operator.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

struct SaveFileRequest
{
    QWidget *owner = nullptr;
    QString name;                 // the dialog's objectName
    QString caption;
    QString directory;
    QStringList filters;          // "文本文件(Text File) (*.txt)", ...
};

struct SaveFileAnswer
{
    QString path;                 // empty when the operator cancelled
    QString selectedFilter;
};

using SaveFileHandler = std::function<SaveFileAnswer(const SaveFileRequest &)>;

// Replaces the real dialog; an empty handler restores it.
void SetSaveFileHandler(SaveFileHandler handler);

// Asks for a file name. The dialog never asks about overwriting: the caller does.
SaveFileAnswer AskSaveFileName(const SaveFileRequest &request);
