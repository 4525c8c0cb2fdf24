#pragma once

// The frame the three pages share: the banner across the top, a rule, the
// page's own controls, and the row of buttons at the bottom right. Escape
// presses the page's Close or Cancel button; the window's close command asks
// the quit confirmation. Where Next and Back lead, and what a confirmed quit
// does, is the wizard's business: the page only signals them.

#include <QDialog>
#include <QPixmap>

class QHBoxLayout;
class QVBoxLayout;
class QPushButton;
class Dialogs;
namespace vantrel {
struct GallerySettings;
}
using WizardSettings = vantrel::GallerySettings;

// A picture compiled into the program, at the widget's pixel density.
QPixmap Picture(const QString& name, QSize logicalSize, const QWidget* widget);

class WizardPage : public QDialog {
    Q_OBJECT
public:
    WizardPage(Dialogs& dialogs, WizardSettings& settings, const QString& caption);

signals:
    void NextRequested();
    void BackRequested();
    void QuitConfirmed();

protected:
    // The area for the page's own controls.
    QWidget* Body() const { return body_; }
    QVBoxLayout* BodyLayout() const { return bodyLayout_; }
    // Adds a button to the row, left to right.
    QPushButton* AddButton(const QString& name, const QString& text);
    // Space between the page's extra button and the standard ones.
    void AddButtonGap();
    void SetCancelButton(QPushButton* button) { cancelButton_ = button; }

    // Close or Cancel pressed: the quit confirmation, then the end or nothing.
    void QuitUnlessCancelled();
    // The close command was refused.
    virtual void CloseRefused() {}

    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    Dialogs& dialogs_;
    WizardSettings& settings_; // the wizard's, shared by every page

private:
    QWidget* body_ = nullptr;
    QVBoxLayout* bodyLayout_ = nullptr;
    QHBoxLayout* buttonRow_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
