#include "SaveFileDialog.h"

#include <QFileDialog>

namespace {

SaveFileHandler &handler()
{
    static SaveFileHandler h;
    return h;
}

}

void SetSaveFileHandler(SaveFileHandler h)
{
    handler() = std::move(h);
}

SaveFileAnswer AskSaveFileName(const SaveFileRequest &request)
{
    if (handler())
        return handler()(request);
    QFileDialog dialog(request.owner, request.caption, request.directory);
    dialog.setObjectName(request.name);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(request.filters);
    SaveFileAnswer answer;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return answer;
    answer.path = dialog.selectedFiles().constFirst();
    answer.selectedFilter = dialog.selectedNameFilter();
    return answer;
}
