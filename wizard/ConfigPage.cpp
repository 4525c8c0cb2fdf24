#include "ConfigPage.h"

#include "Common.h"
#include "Dialogs.h"
#include "FolderPicker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <optional>
#include <variant>

namespace {

const QString kRequiredCaption = QStringLiteral("Required Information Missing");
const QString kThumbnailCaption =
    QStringLiteral("The                              of each thumbnail should be");

// The largest thumbnail side the engine takes.
constexpr int kMaxPixels = 32767;

// Limits typing to five characters, enough for any size the engine takes; text
// set by the program is not limited, so a larger number from a template shows
// as it is and is refused by Next.
class AtMostFiveCharacters : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return input.size() <= 5 ? Acceptable : Invalid;
    }
};

// Label1 keeps its caption whole; the Width/Height list sits over the run of
// blanks in it, which widens itself when the list needs more room.
class CaptionWithList : public QWidget {
public:
    CaptionWithList(QLabel* label, QComboBox* list, QWidget* parent)
        : QWidget(parent), label_(label), list_(list) {
        label_->setParent(this);
        list_->setParent(this);
        list_->raise();
        const int blanks = BlankRun().second - BlankRun().first;
        const int needed = list_->sizeHint().width() + Padding() * 2;
        const int available = Advance(BlankRun().second) - Advance(BlankRun().first);
        if (needed > available) {
            QFont font = label_->font();
            font.setWordSpacing(qreal(needed - available) / blanks + 1);
            label_->setFont(font);
        }
    }

    QSize sizeHint() const override {
        const QSize text = label_->sizeHint();
        return {text.width(), std::max(text.height(), list_->sizeHint().height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override {
        const QSize text = label_->sizeHint();
        label_->setGeometry(0, (height() - text.height()) / 2, text.width(), text.height());
        const int left = Advance(BlankRun().first) + Padding();
        const int right = Advance(BlankRun().second) - Padding();
        const int listHeight = list_->sizeHint().height();
        list_->setGeometry(left, (height() - listHeight) / 2, right - left, listHeight);
    }

private:
    std::pair<int, int> BlankRun() const {
        const QString text = label_->text();
        const int first = int(text.indexOf(QLatin1Char(' ')));
        int last = first;
        while (last < text.size() && text[last] == QLatin1Char(' '))
            ++last;
        return {first, last};
    }
    int Advance(int characters) const {
        return label_->fontMetrics().horizontalAdvance(label_->text().left(characters)) +
               label_->contentsMargins().left();
    }
    int Padding() const { return label_->fontMetrics().averageCharWidth() / 2; }

    QLabel* label_;
    QComboBox* list_;
};

QLineEdit* NewBox(QWidget* parent, const char* name, const QString& text = {}) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setMinimumWidth(box->fontMetrics().averageCharWidth() * 34);
    return box;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setObjectName(QLatin1String(name));
    return label;
}

QPushButton* NewBrowseButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) * 2);
    return button;
}

// A row of label, box and optional "..." button in a grid.
void AddRow(QGridLayout* grid, QLabel* label, QWidget* box, QPushButton* button = nullptr) {
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    if (button)
        grid->addWidget(button, row, 2);
}

std::optional<std::int16_t> WholeNumber(const QString& text, int lowest, int highest) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

std::int16_t NumberOf(const QLineEdit* box) {
    return static_cast<std::int16_t>(box->text().trimmed().toInt());
}

// A setting shown in its control, by the setting's type.
void Show(QWidget& control, const std::string& value) {
    if (auto* box = qobject_cast<QLineEdit*>(&control))
        box->setText(QString::fromStdString(value));
    else if (auto* text = qobject_cast<QPlainTextEdit*>(&control))
        text->setPlainText(QString::fromStdString(value));
}
void Show(QWidget& control, std::int16_t value) {
    if (auto* box = qobject_cast<QLineEdit*>(&control))
        box->setText(QString::number(value));
}
void Show(QWidget& control, bool value) {
    if (auto* box = qobject_cast<QCheckBox*>(&control))
        box->setChecked(value);
}
void Show(QWidget& control, vantrel::PageStyle value) {
    if (auto* list = qobject_cast<QComboBox*>(&control))
        list->setCurrentIndex(static_cast<int>(value));
}

// A setting taken from its control, as typed or chosen.
void Take(const QWidget& control, std::string& value) {
    if (const auto* box = qobject_cast<const QLineEdit*>(&control))
        value = box->text().toStdString();
    else if (const auto* text = qobject_cast<const QPlainTextEdit*>(&control))
        value = text->toPlainText().toStdString();
}
void Take(const QWidget& control, std::int16_t& value) {
    if (const auto* box = qobject_cast<const QLineEdit*>(&control))
        value = NumberOf(box);
}
void Take(const QWidget& control, bool& value) {
    if (const auto* box = qobject_cast<const QCheckBox*>(&control))
        value = box->checkState() != Qt::Unchecked;
}
void Take(const QWidget& control, vantrel::PageStyle& value) {
    if (const auto* list = qobject_cast<const QComboBox*>(&control))
        value = static_cast<vantrel::PageStyle>(list->currentIndex());
}

} // namespace

ConfigPage::ConfigPage(Dialogs& dialogs, WizardSettings& settings)
    : WizardPage(dialogs, settings, QStringLiteral("Tessary :: Configuration")) {
    setObjectName(QStringLiteral("frmConfig"));
    QWidget* body = Body();
    QVBoxLayout* layout = BodyLayout();

    auto* fraWithFrames = new QWidget(body);
    fraWithFrames->setObjectName(QStringLiteral("fraWithFrames"));
    auto* frameGrid = new QGridLayout(fraWithFrames);
    frameGrid->setContentsMargins(0, 0, 0, 0);
    frameGrid->setColumnStretch(0, 1);
    frameGrid->setColumnStretch(1, 1);

    auto* navGroup = new QGroupBox(QStringLiteral("Navigation/Thumbnail page"), fraWithFrames);
    navGroup->setObjectName(QStringLiteral("fraNavPage"));
    auto* navGrid = new QGridLayout(navGroup);
    txtNavHeader_ = NewBox(navGroup, "txtNavHeader");
    txtNavFooter_ = NewBox(navGroup, "txtNavFooter");
    QPushButton* cmdFindNavHeader = NewBrowseButton(navGroup, "cmdFindNavHeader");
    QPushButton* cmdFindNavFooter = NewBrowseButton(navGroup, "cmdFindNavFooter");
    AddRow(navGrid, NewLabel(navGroup, "lblHeader", QStringLiteral("Header file:")), txtNavHeader_,
           cmdFindNavHeader);
    AddRow(navGrid, NewLabel(navGroup, "lblFooter", QStringLiteral("Footer file:")), txtNavFooter_,
           cmdFindNavFooter);
    frameGrid->addWidget(navGroup, 0, 0);

    auto* mainGroup = new QGroupBox(QStringLiteral("Main/Photo page"), fraWithFrames);
    mainGroup->setObjectName(QStringLiteral("fraMainPage"));
    auto* mainGrid = new QGridLayout(mainGroup);
    txtMainHeader_ = NewBox(mainGroup, "txtMainHeader");
    txtMainFooter_ = NewBox(mainGroup, "txtMainFooter");
    QPushButton* cmdFindMainHeader = NewBrowseButton(mainGroup, "cmdFindMainHeader");
    QPushButton* cmdFindMainFooter = NewBrowseButton(mainGroup, "cmdFindMainFooter");
    AddRow(mainGrid, NewLabel(mainGroup, "Label5", QStringLiteral("Header file:")), txtMainHeader_,
           cmdFindMainHeader);
    AddRow(mainGrid, NewLabel(mainGroup, "Label4", QStringLiteral("Footer file:")), txtMainFooter_,
           cmdFindMainFooter);
    frameGrid->addWidget(mainGroup, 0, 1);

    auto* descriptionBox = new QVBoxLayout;
    descriptionBox->addWidget(NewLabel(fraWithFrames, "lblDescription",
                                       QStringLiteral("Description (Supports Well-formed HTML):")));
    txtDescription_ = new QPlainTextEdit(fraWithFrames);
    txtDescription_->setObjectName(QStringLiteral("txtDescription"));
    txtDescription_->setTabChangesFocus(true);
    txtDescription_->setFixedHeight(txtDescription_->fontMetrics().lineSpacing() * 4 +
                                    txtDescription_->frameWidth() * 2 +
                                    int(txtDescription_->document()->documentMargin() * 2));
    descriptionBox->addWidget(txtDescription_);
    frameGrid->addLayout(descriptionBox, 1, 0, 1, 2);

    auto* folderGrid = new QGridLayout;
    txtPhotoDir_ = NewBox(fraWithFrames, "txtPhotoDir");
    txtPhotoDir_->setToolTip(QStringLiteral(
        "This is the directory where the photos you're making the gallery for are located"));
    txtOutputDir_ = NewBox(fraWithFrames, "txtOutputDir");
    txtOutputDir_->setToolTip(QStringLiteral("Everything will end up in this directory"));
    txtOutputFile_ = NewBox(fraWithFrames, "txtOutputFile", QStringLiteral("Default.htm"));
    QPushButton* cmdFindPhotoDir = NewBrowseButton(fraWithFrames, "cmdFindPhotoDir");
    QPushButton* cmdFindOutputDir = NewBrowseButton(fraWithFrames, "cmdFindOutputDir");
    AddRow(folderGrid, NewLabel(fraWithFrames, "lblPhotsDir", QStringLiteral("Photo folder:")),
           txtPhotoDir_, cmdFindPhotoDir);
    AddRow(folderGrid, NewLabel(fraWithFrames, "lblOutputDir", QStringLiteral("Output folder:")),
           txtOutputDir_, cmdFindOutputDir);
    AddRow(folderGrid, NewLabel(fraWithFrames, "lblOutputFile", QStringLiteral("Output file:")),
           txtOutputFile_);
    frameGrid->addLayout(folderGrid, 2, 0, 1, 2);

    auto* layoutGroup = new QGroupBox(QStringLiteral("Thumbnail layout"), fraWithFrames);
    layoutGroup->setObjectName(QStringLiteral("fraLayout"));
    auto* layoutRow = new QHBoxLayout(layoutGroup);
    txtColumns_ = NewBox(layoutGroup, "txtColumns", QStringLiteral("5"));
    txtRows_ = NewBox(layoutGroup, "txtRows", QStringLiteral("5"));
    for (QLineEdit* box : {txtColumns_, txtRows_})
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) +
                           box->fontMetrics().averageCharWidth() * 2);
    layoutRow->addWidget(NewLabel(layoutGroup, "lblColumns", QStringLiteral("Columns")));
    layoutRow->addWidget(txtColumns_);
    layoutRow->addSpacing(txtRows_->fontMetrics().averageCharWidth() * 2);
    layoutRow->addWidget(NewLabel(layoutGroup, "lblRows", QStringLiteral("Rows")));
    layoutRow->addWidget(txtRows_);
    layoutRow->addStretch(1);
    frameGrid->addWidget(layoutGroup, 3, 0);

    auto* optionsGroup = new QGroupBox(QStringLiteral("Other options"), fraWithFrames);
    optionsGroup->setObjectName(QStringLiteral("fraOptions"));
    auto* optionsColumn = new QVBoxLayout(optionsGroup);
    chkPagePerPhoto_ =
        new QCheckBox(QStringLiteral("Create an individual page for each photo"), optionsGroup);
    chkPagePerPhoto_->setObjectName(QStringLiteral("chkPagePerPhoto"));
    chkPagePerPhoto_->setChecked(true);
    chkUseButtons_ =
        new QCheckBox(QStringLiteral("Use previous and next buttons on page"), optionsGroup);
    chkUseButtons_->setObjectName(QStringLiteral("chkUseButtons"));
    chkUseButtons_->setChecked(true);
    chkStripLocation_ =
        new QCheckBox(QStringLiteral("Remove locations from published copies"), optionsGroup);
    chkStripLocation_->setObjectName(QStringLiteral("chkStripLocation"));
    auto* styleRow = new QHBoxLayout;
    styleRow->addWidget(NewLabel(optionsGroup, "lblPageStyle", QStringLiteral("Page style:")));
    cboPageStyle_ = new QComboBox(optionsGroup);
    cboPageStyle_->setObjectName(QStringLiteral("cboPageStyle"));
    for (const char* name : vantrel::kPageStyleNames) {
        QString shown = QString::fromLatin1(name);
        cboPageStyle_->addItem(shown.left(1).toUpper() + shown.mid(1));
    }
    styleRow->addWidget(cboPageStyle_);
    styleRow->addStretch(1);
    optionsColumn->addWidget(chkPagePerPhoto_);
    optionsColumn->addWidget(chkUseButtons_);
    optionsColumn->addWidget(chkStripLocation_);
    optionsColumn->addLayout(styleRow);
    frameGrid->addWidget(optionsGroup, 3, 1);
    layout->addWidget(fraWithFrames);

    auto* sizeRow = new QHBoxLayout;
    cboHeightWidth_ = new QComboBox;
    cboHeightWidth_->setObjectName(QStringLiteral("cboHeightWidth"));
    cboHeightWidth_->addItems({QStringLiteral("Width"), QStringLiteral("Height")});
    auto* caption = new QLabel(kThumbnailCaption);
    caption->setTextFormat(Qt::PlainText);
    caption->setObjectName(QStringLiteral("Label1"));
    sizeRow->addWidget(new CaptionWithList(caption, cboHeightWidth_, body));
    txtPixels_ = NewBox(body, "txtPixels", QStringLiteral("120"));
    txtPixels_->setValidator(new AtMostFiveCharacters(txtPixels_));
    txtPixels_->setFixedWidth(txtPixels_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) +
                              txtPixels_->fontMetrics().averageCharWidth() * 2);
    sizeRow->addWidget(txtPixels_);
    sizeRow->addStretch(1);
    layout->addLayout(sizeRow);
    layout->addStretch(1);

    QPushButton* cmdCancel = AddButton(QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    QPushButton* cmdBack = AddButton(QStringLiteral("cmdBack"), QStringLiteral("<< &Back"));
    QPushButton* cmdNext = AddButton(QStringLiteral("cmdNext"), QStringLiteral("&Next >>"));
    cmdNext->setDefault(true);
    SetCancelButton(cmdCancel);

    connect(cmdCancel, &QPushButton::clicked, this, &ConfigPage::QuitUnlessCancelled);
    connect(cmdBack, &QPushButton::clicked, this, &ConfigPage::BackRequested);
    connect(cmdNext, &QPushButton::clicked, this, &ConfigPage::NextRequested);
    connect(chkPagePerPhoto_, &QCheckBox::toggled, this, &ConfigPage::PagePerPhotoChanged);
    const std::pair<QPushButton*, QLineEdit*> fragmentButtons[] = {
        {cmdFindNavHeader, txtNavHeader_},
        {cmdFindNavFooter, txtNavFooter_},
        {cmdFindMainHeader, txtMainHeader_},
        {cmdFindMainFooter, txtMainFooter_}};
    for (const auto& [button, box] : fragmentButtons)
        connect(button, &QPushButton::clicked, this, [this, box = box] { ChooseFragment(box); });
    connect(cmdFindPhotoDir, &QPushButton::clicked, this, [this] { ChooseFolder(txtPhotoDir_); });
    connect(cmdFindOutputDir, &QPushButton::clicked, this, [this] { ChooseFolder(txtOutputDir_); });

    // First load.
    cboHeightWidth_->setCurrentIndex(0);
    if (settings_.useFrames) {
        txtColumns_->setText(QStringLiteral("1"));
        txtRows_->setText(QStringLiteral("25"));
        chkUseButtons_->setChecked(false);
    } else {
        txtColumns_->setText(QStringLiteral("5"));
        txtRows_->setText(QStringLiteral("5"));
        chkUseButtons_->setChecked(true);
    }
}

ConfigPage::~ConfigPage() = default;

QWidget* ConfigPage::Control(const vantrel::Setting& setting) const {
    return *setting.control ? findChild<QWidget*>(QLatin1String(setting.control)) : nullptr;
}

void ConfigPage::LoadSettings() {
    const WizardSettings& settings = settings_;
    {
        // The coupling of the per-photo pages would clear the template's buttons choice;
        // that choice wins, also in a box the coupling disables.
        const QSignalBlocker coupling(chkPagePerPhoto_);
        for (const vantrel::Setting& setting : vantrel::kSettings) {
            if (QWidget* control = Control(setting))
                std::visit([&](auto field) { Show(*control, settings.*field); }, setting.field);
        }
    }
    chkUseButtons_->setEnabled(chkPagePerPhoto_->isChecked());

    if (settings.maxWidth < settings.maxHeight) {
        cboHeightWidth_->setCurrentIndex(1);
        txtPixels_->setText(QString::number(settings.maxHeight));
    } else {
        cboHeightWidth_->setCurrentIndex(0);
        txtPixels_->setText(QString::number(settings.maxWidth));
    }
}

void ConfigPage::PagePerPhotoChanged(bool set) {
    if (set) {
        chkUseButtons_->setEnabled(true);
        chkUseButtons_->setChecked(true);
    } else {
        chkUseButtons_->setChecked(false);
        chkUseButtons_->setEnabled(false);
    }
}

void ConfigPage::ChooseFragment(QLineEdit* box) {
    FileRequest request;
    request.mode = FileRequest::Mode::Open;
    request.filters = {QStringLiteral("Text files [*.txt] (*.txt)"),
                       QStringLiteral("Web pages [*.htm*] (*.htm *.html)")};
    request.fileName = fragmentDialogName_;
    if (const std::optional<QString> chosen = dialogs_.ChooseFile(this, request))
        fragmentDialogName_ = *chosen;
    // However the dialog was closed, the box gets the dialog's current name.
    box->setText(fragmentDialogName_);
}

void ConfigPage::ChooseFolder(QLineEdit* box) {
    if (!folder_)
        folder_ = std::make_unique<FolderPicker>();
    FolderPicker& picker = *folder_;
    if (!picker.property("placed").toBool()) {
        picker.setProperty("placed", true);
        picker.adjustSize();
        QRect area = picker.frameGeometry();
        area.moveCenter(frameGeometry().center());
        picker.move(area.topLeft());
    }
    dialogs_.RunModal(picker);
    if (picker.UsePath())
        box->setText(picker.StrPath());
}

bool ConfigPage::RequiredFieldsPresent() {
    const std::pair<QLineEdit*, QString> required[] = {
        {txtNavHeader_, QStringLiteral("The header file location is mandatory")},
        {txtNavFooter_, QStringLiteral("The footer file location is mandatory")},
        {txtOutputFile_, QStringLiteral("The output filename is mandatory")},
        {txtRows_, QStringLiteral("The number of rows is mandatory")},
        {txtColumns_, QStringLiteral("The number of columns is mandatory")},
        {txtOutputDir_, QStringLiteral("The output directory location is mandatory")},
        {txtPhotoDir_, QStringLiteral("The photo directory location is mandatory")},
        {txtPixels_,
         QStringLiteral("You must define the thumbnail specifications before proceeding")}};
    // Modern pages come with fragments of their own for those left empty.
    const bool classic = cboPageStyle_->currentIndex() == int(vantrel::PageStyle::Classic);
    const auto classicOnly = [](const QLineEdit* box) {
        return std::any_of(std::begin(vantrel::kSettings), std::end(vantrel::kSettings),
                           [&](const vantrel::Setting& setting) {
                               return setting.required ==
                                          vantrel::Setting::Required::ClassicStyle &&
                                      box->objectName() == QLatin1String(setting.control);
                           });
    };
    for (const auto& [box, message] : required) {
        if (box->text().isEmpty() && (classic || !classicOnly(box))) {
            Refuse(box, message);
            return false;
        }
    }
    return true;
}

bool ConfigPage::NumbersInRange() {
    for (const vantrel::Setting& setting : vantrel::kSettings) {
        auto* box = qobject_cast<QLineEdit*>(Control(setting));
        if (!box || !std::holds_alternative<std::int16_t WizardSettings::*>(setting.field))
            continue;
        const int lowest = std::max<int>(setting.lowest, 1);
        if (!WholeNumber(box->text(), lowest, setting.highest)) {
            Refuse(box, QStringLiteral("The %1 must be a whole number from %2 to %3")
                            .arg(QLatin1String(setting.what))
                            .arg(lowest)
                            .arg(setting.highest));
            return false;
        }
    }
    if (!WholeNumber(txtPixels_->text(), 1, kMaxPixels)) {
        Refuse(txtPixels_, QStringLiteral("The thumbnail size must be a whole number of pixels "
                                          "from 1 to %1")
                               .arg(kMaxPixels));
        return false;
    }
    return true;
}

void ConfigPage::Refuse(QWidget* box, const QString& message) {
    MessageRequest request;
    request.text = message;
    request.caption = kRequiredCaption;
    dialogs_.Message(this, request);
    box->setFocus(Qt::OtherFocusReason);
}

bool ConfigPage::StoreSettings() {
    if (!RequiredFieldsPresent() || !NumbersInRange())
        return false;
    WizardSettings& settings = settings_;
    for (const vantrel::Setting& setting : vantrel::kSettings) {
        if (const QWidget* control = Control(setting))
            std::visit([&](auto field) { Take(*control, settings.*field); }, setting.field);
    }
    // The side not chosen is 0, so that a value left from a template or an
    // earlier visit cannot override the user's choice.
    const bool byHeight = cboHeightWidth_->currentIndex() == 1;
    settings.maxWidth = byHeight ? 0 : NumberOf(txtPixels_);
    settings.maxHeight = byHeight ? NumberOf(txtPixels_) : 0;
    return true;
}
