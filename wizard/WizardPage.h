#pragma once

// The frame the three pages share: the banner across the top, a rule, the
// page's own controls, and the row of buttons at the bottom right. Escape
// presses the page's Close or Cancel button; the window's close command asks
// the quit confirmation.

#include <QDialog>
#include <QPixmap>

class QHBoxLayout;
class QVBoxLayout;
class QPushButton;
class Wizard;

// A picture compiled into the program, at the widget's pixel density.
QPixmap Picture(const QString& name, QSize logicalSize, const QWidget* widget);

class WizardPage : public QDialog {
    Q_OBJECT
public:
    WizardPage(Wizard& wizard, const QString& caption);

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

    Wizard& wizard_;

private:
    QWidget* body_ = nullptr;
    QVBoxLayout* bodyLayout_ = nullptr;
    QHBoxLayout* buttonRow_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
