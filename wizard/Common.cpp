#include "Common.h"

#include "Dialogs.h"

void ShowError(Dialogs& dialogs, QWidget* parent, const std::string& source,
               const std::string& description) {
    MessageRequest request;
    request.text = QString::fromStdString(description);
    request.caption = QString::fromStdString(source);
    request.icon = QMessageBox::Critical;
    request.buttons = QMessageBox::Ok;
    dialogs.Message(parent, request);
}
