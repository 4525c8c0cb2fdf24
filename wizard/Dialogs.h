#pragma once

// Everything the wizard asks of the desktop that would block or end the
// process: message boxes, file dialogs, the modal folder picker, the viewer
// for readme.txt and the browser for the gallery, and ending the program. The base class does the
// real thing; tests derive from it and answer instead, so nothing waits on a modal dialog.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QDialog;
class QWidget;

struct MessageRequest {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

struct FileRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QStringList filters;   // "Text files [*.txt] (*.txt)": shown without the part in brackets
    QString defaultSuffix; // added to a typed name without one (save dialogs)
    QString fileName;      // the name the dialog starts on
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a message box and returns the button pressed.
    virtual QMessageBox::StandardButton Message(QWidget* parent, const MessageRequest& request);

    // Shows a file dialog; the chosen file, or nothing when the user cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& request);

    // Shows the dialog modally and returns once it is hidden again.
    virtual void RunModal(QDialog& dialog);

    // Opens a document in the desktop's viewer for it (a page in the browser)
    // and returns at once. `failed` is called, then or later, when no program
    // could be started or the desktop found none for the document; never
    // once `parent` is gone.
    virtual void OpenDocument(QWidget* parent, const QUrl& url, std::function<void()> failed);

    // Ends the process. The windows are already hidden. During a run the engine
    // is on the stack below the caller, so the process must end right here.
    virtual void EndProgram(bool duringRun);
};
