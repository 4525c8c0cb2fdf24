#pragma once

// Drives the real wizard windows headless: a Dialogs seam that records every
// message and file dialog and answers from a queue, and helpers that find
// controls by their object names.

#include "Dialogs.h"
#include "FolderPicker.h"

#include <QDialog>
#include <QList>
#include <QWidget>

#include <functional>

class TestDialogs : public Dialogs {
public:
    QMessageBox::StandardButton Message(QWidget*, const MessageRequest& request) override {
        messages << request;
        return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
    }
    std::optional<QString> ChooseFile(QWidget*, const FileRequest& request) override {
        fileRequests << request;
        return files.isEmpty() ? std::nullopt : files.takeFirst();
    }
    void RunModal(QDialog& dialog) override {
        dialog.show();
        if (inPicker)
            inPicker(static_cast<FolderPicker&>(dialog));
        pickerLeftOpen = dialog.isVisible();
        dialog.hide();
    }
    bool OpenDocument(const QUrl& url) override {
        opened << url;
        return viewerWorks;
    }
    void EndProgram(bool) override { ++ends; }

    QList<MessageRequest> messages;
    QList<QMessageBox::StandardButton> answers; // taken in order; OK when none is left
    QList<FileRequest> fileRequests;
    QList<std::optional<QString>> files; // taken in order; cancelled when none is left
    std::function<void(FolderPicker&)> inPicker;
    bool pickerLeftOpen = false;
    QList<QUrl> opened;
    bool viewerWorks = true;
    int ends = 0;
};

// The control of that name in the window; a missing one ends the test run.
template <typename Control>
Control& Get(const QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(QLatin1String(name));
    if (!control)
        qFatal("%s has no control %s", qPrintable(window.objectName()), name);
    return *control;
}
