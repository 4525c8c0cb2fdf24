#include "IntroPage.h"

#include "Common.h"
#include "Dialogs.h"

#include <vantrel/Generator.h>

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <exception>

static QLabel* AddText(QWidget* parent, QVBoxLayout* layout, const char* name,
                       const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    // A comfortable line length, whatever the font and scaling.
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 80);
    layout->addWidget(label);
    return label;
}

IntroPage::IntroPage(Dialogs& dialogs, WizardSettings& settings)
    : WizardPage(dialogs, settings, QStringLiteral("Tessary :: Introduction")) {
    setObjectName(QStringLiteral("frmIntro"));
    QWidget* body = Body();
    QVBoxLayout* layout = BodyLayout();

    QLabel* welcome = AddText(body, layout, "lblWelcome",
                              QStringLiteral("\"... for those who are vain AND anal.\""));
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPointSizeF(welcome->font().pointSizeF() * 1.4);
    verdana.setItalic(true);
    welcome->setFont(verdana);
    welcome->setAlignment(Qt::AlignCenter);
    layout->addSpacing(welcome->fontMetrics().height() / 2);

    AddText(body, layout, "lblIntro",
            QStringLiteral("Tessary isn't for those who just want to click a few buttons and be "
                           "satisfied with whatever the result is (though I suppose those people "
                           "could use the built-in templates and also be happy).  "));
    AddText(body, layout, "Label2",
            QStringLiteral("This tool was written for those who know exactly what they want and "
                           "won't settle for anything else.  Tessary creates online photo albums "
                           "how YOU want them.  If you are a little familiar with HTML and you "
                           "plan on posting a lot of photos to the web, I think you'll find this "
                           "tool very helpful."));
    AddText(body, layout, "Label3",
            QStringLiteral("Before you proceed, you should have a single folder that contains all "
                           "of the photos you want to be in this gallery and a header and a footer "
                           "file to use when creating the pages.  You should also know where you "
                           "want the gallery to end up (the ultimate folder will be created for "
                           "you if it doesn't exist yet)."));
    layout->addSpacing(welcome->fontMetrics().height() / 2);

    auto* choice = new QHBoxLayout;
    auto* frames = new QGroupBox(body);
    frames->setObjectName(QStringLiteral("fraFrames"));
    auto* framesLayout = new QVBoxLayout(frames);
    auto* group = new QButtonGroup(this);
    const QString optionTexts[2] = {QStringLiteral("Create a gallery without frames"),
                                    QStringLiteral("Create a gallery with frames")};
    for (int index = 0; index < 2; ++index) {
        optFrames_[index] = new QRadioButton(optionTexts[index], frames);
        optFrames_[index]->setObjectName(QStringLiteral("optFrames"));
        optFrames_[index]->setProperty("index", index);
        group->addButton(optFrames_[index], index);
        framesLayout->addWidget(optFrames_[index]);
    }
    optFrames_[0]->setChecked(true);
    choice->addWidget(frames, 1);

    auto* orLabel = new QLabel(QStringLiteral("OR"), body);
    orLabel->setTextFormat(Qt::PlainText);
    orLabel->setObjectName(QStringLiteral("Label1"));
    orLabel->setAlignment(Qt::AlignCenter);
    QFont bold = orLabel->font();
    bold.setBold(true);
    orLabel->setFont(bold);
    orLabel->setMargin(orLabel->fontMetrics().averageCharWidth() * 2);
    choice->addWidget(orLabel);

    auto* templates = new QGroupBox(body);
    templates->setObjectName(QStringLiteral("fraTemplate"));
    auto* templateLayout = new QVBoxLayout(templates);
    auto* loadLabel = new QLabel(QStringLiteral("Load existing gallery template"), templates);
    loadLabel->setTextFormat(Qt::PlainText);
    loadLabel->setObjectName(QStringLiteral("lblLoadTemplate"));
    templateLayout->addWidget(loadLabel);
    auto* templateRow = new QHBoxLayout;
    txtTemplate_ = new QLineEdit(templates);
    txtTemplate_->setObjectName(QStringLiteral("txtTemplate"));
    templateRow->addWidget(txtTemplate_, 1);
    auto* cmdTemplate = new QPushButton(QStringLiteral("..."), templates);
    cmdTemplate->setObjectName(QStringLiteral("cmdTemplate"));
    cmdTemplate->setAutoDefault(false);
    cmdTemplate->setFixedWidth(
        cmdTemplate->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 2);
    templateRow->addWidget(cmdTemplate);
    templateLayout->addLayout(templateRow);
    choice->addWidget(templates, 1);
    layout->addLayout(choice);
    layout->addStretch(1);

    QPushButton* cmdReadme = AddButton(QStringLiteral("cmdReadme"), QStringLiteral("Read Me"));
    AddButtonGap();
    QPushButton* cmdClose = AddButton(QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    QPushButton* cmdBack = AddButton(QStringLiteral("cmdBack"), QStringLiteral("<< &Back"));
    QPushButton* cmdNext = AddButton(QStringLiteral("cmdNext"), QStringLiteral("&Next >>"));
    cmdBack->setEnabled(false);
    cmdNext->setDefault(true);
    SetCancelButton(cmdClose);

    connect(cmdTemplate, &QPushButton::clicked, this, &IntroPage::TemplatePressed);
    connect(cmdReadme, &QPushButton::clicked, this, &IntroPage::ReadmePressed);
    connect(cmdClose, &QPushButton::clicked, this, &IntroPage::QuitUnlessCancelled);
    connect(cmdNext, &QPushButton::clicked, this, &IntroPage::NextRequested);
}

bool IntroPage::StoreSettings() {
    const QString templatePath = txtTemplate_->text();
    if (templatePath.isEmpty()) {
        settings_.useFrames = optFrames_[1]->isChecked();
        return false;
    }
    try {
        Generator generator;
        generator.LoadTemplate(templatePath.toStdString());
        settings_ = generator.Settings();
        return true;
    } catch (const GeneratorError& error) {
        ShowError(dialogs_, this, error.Source(), error.Description());
    } catch (const std::exception& error) {
        ShowError(dialogs_, this, "Generator::LoadTemplate()", error.what());
    }
    return false;
}

#ifndef TESSARY_INSTALLED_README
#define TESSARY_INSTALLED_README "../share/tessary/readme.txt"
#endif

QString IntroPage::ReadmePath(const QString& programDir) {
    const QString beside = programDir + QStringLiteral("/readme.txt");
    const QString installed =
        QFileInfo(programDir + QStringLiteral("/" TESSARY_INSTALLED_README)).absoluteFilePath();
    return !QFileInfo(beside).isFile() && QFileInfo(installed).isFile() ? installed : beside;
}

static void ShowReadmeProblem(Dialogs& dialogs, QWidget* parent, const QString& problem) {
    MessageRequest request;
    request.text = problem;
    request.caption = QStringLiteral("Read Me");
    dialogs.Message(parent, request);
}

void IntroPage::ReadmePressed() {
    const QString path = ReadmePath(QCoreApplication::applicationDirPath());
    if (!QFileInfo(path).isFile()) {
        ShowReadmeProblem(dialogs_, this,
                          QStringLiteral("The file %1 could not be found.").arg(path));
        return;
    }
    dialogs_.OpenDocument(this, QUrl::fromLocalFile(path), [this, path] { ShowReadme(path); });
}

void IntroPage::ShowReadme(const QString& path) {
    // A readme is a few pages; anything far larger is not ours.
    constexpr qint64 kMaxReadmeBytes = 1 << 20;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) ||
        file.size() > kMaxReadmeBytes) {
        ShowReadmeProblem(dialogs_, this,
                          QStringLiteral("The file %1 could not be read.").arg(path));
        return;
    }
    const QString text = QString::fromUtf8(file.read(kMaxReadmeBytes));
    if (!frmReadme_) {
        frmReadme_ = new QDialog(this);
        frmReadme_->setObjectName(QStringLiteral("frmReadme"));
        frmReadme_->setWindowTitle(QStringLiteral("Tessary :: Read Me"));
        auto* layout = new QVBoxLayout(frmReadme_);
        txtReadme_ = new QPlainTextEdit(frmReadme_);
        txtReadme_->setObjectName(QStringLiteral("txtReadme"));
        txtReadme_->setReadOnly(true);
        // Long lines wrap.
        txtReadme_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Laid out for a fixed-width font, as a text viewer shows it.
        txtReadme_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        layout->addWidget(txtReadme_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, frmReadme_);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::rejected, frmReadme_, &QDialog::hide);
        // Room for 80 columns and 30 lines beside the scroll bar.
        const QFontMetrics metrics(txtReadme_->font());
        const int frame = txtReadme_->frameWidth() * 2 + 8;
        txtReadme_->setMinimumSize(metrics.horizontalAdvance(QString(80, QLatin1Char('x'))) +
                                       frame + txtReadme_->verticalScrollBar()->sizeHint().width(),
                                   metrics.lineSpacing() * 30 + frame);
    }
    txtReadme_->setPlainText(text);
    frmReadme_->show();
    frmReadme_->raise();
    frmReadme_->activateWindow();
}

void IntroPage::TemplatePressed() {
    FileRequest request;
    request.mode = FileRequest::Mode::Open;
    request.filters = {QStringLiteral("Tessary Templates [*.cfg] (*.cfg)")};
    request.fileName = templateDialogName_;
    if (const std::optional<QString> chosen = dialogs_.ChooseFile(this, request))
        templateDialogName_ = *chosen;
    // However the dialog was closed, the box gets the dialog's current name.
    txtTemplate_->setText(templateDialogName_);
}
