#include "Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

#include <cstdio>
#include <cstdlib>

QMessageBox::StandardButton Dialogs::Message(QWidget* parent, const MessageRequest& request) {
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, parent);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> Dialogs::ChooseFile(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent);
    const bool save = request.mode == FileRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Any name may be typed, as in the boxes themselves.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void Dialogs::RunModal(QDialog& dialog) {
    dialog.exec();
}

bool Dialogs::OpenDocument(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void Dialogs::EndProgram(bool duringRun) {
    if (duringRun) {
        // Unwinding through the engine is not an option from inside its
        // progress callback; what it wrote so far stays on disk.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QApplication::exit(0);
}
