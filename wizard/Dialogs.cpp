#include "Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QProcess>
#include <QStandardPaths>

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

void Dialogs::OpenDocument(QWidget* parent, const QUrl& url, std::function<void()> failed) {
    // Qt starts xdg-open too, but does not wait for its answer: with no viewer
    // for the document it fails after Qt has reported success. Run it here and
    // watch how it ends.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            failed();
        return;
    }
    // Not owned by the page: a viewer run in the foreground may outlive it.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({url.toString()});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, parent,
                     [failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             failed();
                     });
    QObject::connect(process, &QProcess::errorOccurred, parent,
                     [failed](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             failed();
                     });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             process->deleteLater();
                     });
    process->start();
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
