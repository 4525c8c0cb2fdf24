// Tessary, the wizard that makes a photo gallery through three pages.

#include "Dialogs.h"
#include "Wizard.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    // Pages are hidden, never closed, as the user moves between them; only the
    // quit confirmation ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Dialogs dialogs;
    Wizard wizard(dialogs);
    wizard.Start();
    return app.exec();
}
