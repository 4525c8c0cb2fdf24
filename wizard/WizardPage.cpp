#include "WizardPage.h"

#include "Dialogs.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

// The banner's right edge, continued when the window is wider than the picture.
static const QColor kBannerEdge(0x1f, 0x4e, 0x6b);
static const QSize kBannerSize(640, 64);

QPixmap Picture(const QString& name, QSize logicalSize, const QWidget* widget) {
    const QIcon icon(QStringLiteral(":/pictures/%1.png").arg(name));
    return icon.pixmap(logicalSize, widget ? widget->devicePixelRatioF() : 1.0);
}

namespace {

// Asks whether to quit; true when the user answers No (the quit is cancelled).
bool CancelQuit(Dialogs& dialogs, QWidget* parent) {
    MessageRequest request;
    request.text = QStringLiteral("Are you sure you wish to quit Tessary?");
    request.caption = QStringLiteral("Closing Tessary");
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    request.defaultButton = QMessageBox::Yes;
    return dialogs.Message(parent, request) == QMessageBox::No;
}

} // namespace

WizardPage::WizardPage(Dialogs& dialogs, WizardSettings& settings, const QString& caption)
    : QDialog(nullptr, Qt::Window), dialogs_(dialogs), settings_(settings) {
    setWindowTitle(caption);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* banner = new QLabel(this);
    banner->setObjectName(QStringLiteral("imgBanner"));
    banner->setPixmap(Picture(QStringLiteral("banner"), kBannerSize, this));
    banner->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, kBannerEdge);
    banner->setPalette(palette);
    outer->addWidget(banner);

    body_ = new QWidget(this);
    bodyLayout_ = new QVBoxLayout(body_);
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    bodyLayout_->setContentsMargins(margin * 2, margin * 2, margin * 2, margin);
    outer->addWidget(body_, 1);

    auto* rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("linRule"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    outer->addWidget(rule);

    buttonRow_ = new QHBoxLayout;
    buttonRow_->setContentsMargins(margin, margin, margin, margin);
    buttonRow_->addStretch(1);
    outer->addLayout(buttonRow_);
}

QPushButton* WizardPage::AddButton(const QString& name, const QString& text) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    // Wide enough for "<< Back" and its neighbours to line up.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 12);
    buttonRow_->addWidget(button);
    return button;
}

void WizardPage::AddButtonGap() {
    buttonRow_->addSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 3);
}

void WizardPage::QuitUnlessCancelled() {
    if (!CancelQuit(dialogs_, this))
        emit QuitConfirmed();
}

void WizardPage::closeEvent(QCloseEvent* event) {
    if (CancelQuit(dialogs_, this)) {
        event->ignore();
        CloseRefused();
        return;
    }
    event->accept();
    emit QuitConfirmed();
}

void WizardPage::reject() {
    // Escape: the Close or Cancel button, when it can be pressed.
    if (cancelButton_ && cancelButton_->isEnabled() && cancelButton_->isVisible())
        cancelButton_->click();
}
