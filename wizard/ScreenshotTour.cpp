// Walks the wizard through a run over a folder of photos, as a user would,
// and saves a picture of each page: `make screenshots` runs it under Xvfb.
//     tessary-screenshots OUTPUT_FOLDER PHOTO_FOLDER

#include "ConfigPage.h"
#include "Dialogs.h"
#include "FolderPicker.h"
#include "IntroPage.h"
#include "ProgressPage.h"
#include "Wizard.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// Lets the windows lay out and paint.
void Settle() {
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Shoot(QWidget& window, const QDir& folder, const QString& name) {
    Settle();
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "tessary-screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

template <typename Control>
Control& Find(QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(QLatin1String(name));
    if (!control) {
        std::fprintf(stderr, "tessary-screenshots: no control %s\n", name);
        std::exit(1);
    }
    return *control;
}

// Answers the wizard's dialogs the way the tour's user would.
class TourDialogs : public Dialogs {
public:
    TourDialogs(QDir shots, QString photos)
        : shots_(std::move(shots)), photos_(std::move(photos)) {}

    QMessageBox::StandardButton Message(QWidget*, const MessageRequest& request) override {
        std::fprintf(stderr, "tessary-screenshots: message \"%s\": %s\n",
                     qPrintable(request.caption), qPrintable(request.text));
        ++messages;
        return QMessageBox::Ok;
    }
    std::optional<QString> ChooseFile(QWidget*, const FileRequest&) override {
        return std::nullopt;
    }
    void RunModal(QDialog& dialog) override {
        // The picker is opened on the photo folder's parent; the user then
        // opens the photo folder with a double click and presses OK.
        auto& picker = static_cast<FolderPicker&>(dialog);
        picker.show();
        picker.OpenFolder(photos_);
        shotsOk = Shoot(picker, shots_, QStringLiteral("folder-picker")) && shotsOk;
        Find<QPushButton>(picker, "cmdOK").click();
    }
    void OpenDocument(QWidget*, const QUrl&, std::function<void()>) override {}
    void EndProgram(bool) override {}

    int messages = 0;
    bool shotsOk = true;

private:
    QDir shots_;
    QString photos_;
};

bool WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tessary-screenshots OUTPUT_FOLDER PHOTO_FOLDER\n");
        return 2;
    }
    const QDir shots(QString::fromLocal8Bit(argv[1]));
    const QDir samples(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(shots.path()) || !samples.exists()) {
        std::fprintf(stderr, "tessary-screenshots: bad folders\n");
        return 2;
    }

    // A tidy demo folder, so that the pictures show short paths.
    QDir demo(QDir::temp().filePath(QStringLiteral("tessary-tour")));
    demo.removeRecursively();
    demo.mkpath(QStringLiteral("photos"));
    for (const QString& photo : samples.entryList({QStringLiteral("*.jpg")}, QDir::Files))
        QFile::copy(samples.filePath(photo), demo.filePath(QStringLiteral("photos/") + photo));
    const bool fragments =
        WriteText(demo.filePath(QStringLiteral("header.htm")),
                  "<html><head><title>Sample gallery</title></head><body>\n<h1>Sample "
                  "gallery</h1>\n") &&
        WriteText(demo.filePath(QStringLiteral("footer.htm")), "</body></html>\n");
    if (!fragments) {
        std::fprintf(stderr, "tessary-screenshots: cannot write the fragments\n");
        return 1;
    }
    QDir::setCurrent(demo.path());

    TourDialogs dialogs(shots, demo.filePath(QStringLiteral("photos")));
    Wizard wizard(dialogs);
    wizard.Start();
    bool ok = Shoot(wizard.Intro(), shots, QStringLiteral("intro"));

    Find<QPushButton>(wizard.Intro(), "cmdNext").click();
    ConfigPage& config = wizard.Config();
    Find<QLineEdit>(config, "txtNavHeader").setText(demo.filePath(QStringLiteral("header.htm")));
    Find<QLineEdit>(config, "txtNavFooter").setText(demo.filePath(QStringLiteral("footer.htm")));
    Find<QPlainTextEdit>(config, "txtDescription")
        .setPlainText(QStringLiteral("<p>Ten photos from the <i>sample</i> collection.</p>"));
    Find<QPushButton>(config, "cmdFindPhotoDir").click();
    Find<QLineEdit>(config, "txtOutputDir").setText(demo.filePath(QStringLiteral("gallery")));
    Find<QLineEdit>(config, "txtOutputFile").setText(QStringLiteral("index.htm"));
    Find<QLineEdit>(config, "txtRows").setText(QStringLiteral("2"));
    ok = Shoot(config, shots, QStringLiteral("config")) && ok;

    Find<QPushButton>(config, "cmdNext").click();
    ProgressPage& progress = wizard.Progress();
    ok = Shoot(progress, shots, QStringLiteral("progress")) && ok;
    Find<QPushButton>(progress, "cmdFinish").click();
    ok = Shoot(progress, shots, QStringLiteral("progress-done")) && ok;

    if (dialogs.messages != 0) {
        std::fprintf(stderr, "tessary-screenshots: the run was not clean\n");
        ok = false;
    }
    std::printf("gallery: %s\n", qPrintable(demo.filePath(QStringLiteral("gallery"))));
    return ok && dialogs.shotsOk ? 0 : 1;
}
