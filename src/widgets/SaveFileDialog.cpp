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
    SaveFileAnswer answer;
    answer.selectedFilter = request.filters.value(0);
    answer.path = QFileDialog::getSaveFileName(request.owner, request.caption, request.directory,
                                               request.filters.join(QStringLiteral(";;")), &answer.selectedFilter,
                                               QFileDialog::DontConfirmOverwrite);
    return answer;
}
