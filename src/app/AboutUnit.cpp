#include "app/AboutUnit.h"

#include "VersionInfo.h"
#include "core/TextFormatUnit.h"
#include "core/UtilsUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QtGlobal>

namespace {

constexpr int kNoticesWidth = 420;
constexpr int kNoticesHeight = 150;
constexpr qreal kTitleScale = 1.8;

} // namespace

// ---------------------------------------------------------------------------
// TLinkLabel

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, linkPalette.color(QPalette::Link));
    setPalette(linkPalette);
}

void TLinkLabel::SetHot(bool hot) {
    if (hot == FHot) return;
    FHot = hot;
    QFont underlined = font();
    underlined.setUnderline(hot);
    setFont(underlined);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    SetHot(true);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    SetHot(false);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    FPressed = true;
    event->accept();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    // Like a button: pressing, moving off and letting go does nothing.
    const bool click = FPressed && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click) emit Clicked();
}

// ---------------------------------------------------------------------------
// TAboutForm

TAboutForm::TAboutForm(QWidget* parent, const TUserInterfaceLang* lang) : QDialog(parent), FLang(lang) {
    setObjectName(QStringLiteral("AboutForm"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setWindowTitle(Translate(FLang, QStringLiteral("About")));
    setWindowIcon(TAppImages::Instance().AppIcon());

    FLogo = new QLabel(this);
    FLogo->setObjectName(QStringLiteral("imgLogo"));
    FLogo->setFixedSize(LogoSize, LogoSize);
    FLogo->setPixmap(TAppImages::Instance().Pixmap(QStringLiteral("APP_LOGO"), LogoSize, devicePixelRatioF()));

    FTitle = new QLabel(QStringLiteral("Quillmate"), this);
    FTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = FTitle->font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0)
        titleFont.setPointSizeF(titleFont.pointSizeF() * kTitleScale);
    else
        titleFont.setPixelSize(qRound(titleFont.pixelSize() * kTitleScale));
    FTitle->setFont(titleFont);

    FVersion = new QLabel(VersionText(), this);
    FVersion->setObjectName(QStringLiteral("lblVersion"));
    FVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    FDescription = new QLabel(Translate(FLang, QStringLiteral("A messenger for the computers of a local network, without a server.")), this);
    FDescription->setObjectName(QStringLiteral("lblDescription"));
    FDescription->setWordWrap(true);

    FNoticesLabel = new QLabel(Translate(FLang, QStringLiteral("Libraries used:")), this);
    FNoticesLabel->setObjectName(QStringLiteral("lblNotices"));
    FNotices = new QPlainTextEdit(this);
    FNotices->setObjectName(QStringLiteral("mmNotices"));
    FNotices->setReadOnly(true);
    FNotices->setTabChangesFocus(true);
    FNotices->setFixedSize(kNoticesWidth, kNoticesHeight);
    FNotices->setPlainText(Notices().join(QStringLiteral("\n\n")));
    FNoticesLabel->setBuddy(FNotices);

    FClose = new TLinkLabel(this);
    FClose->setObjectName(QStringLiteral("lblClose"));
    FClose->setText(FormatText(QStringLiteral("[%s]"), {Translate(FLang, QStringLiteral("Close"))}));
    connect(FClose, &TLinkLabel::Clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(FTitle);
    texts->addWidget(FVersion);
    texts->addSpacing(4);
    texts->addWidget(FDescription);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(FLogo, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(FClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(FNoticesLabel);
    layout->addWidget(FNotices);
    layout->addLayout(bottom);
    // The size follows the contents and cannot be changed.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QStringList TAboutForm::Notices() const {
    return {
        TranslateFormat(FLang, QStringLiteral("This program uses Qt %s, copyright (C) The Qt Company Ltd. and other "
                                           "contributors, under the terms of the GNU Lesser General Public License "
                                           "version 3 (LGPL v3). The license text is at "
                                           "https://www.gnu.org/licenses/lgpl-3.0.html, and the source code of Qt "
                                           "can be obtained from https://download.qt.io/."),
                            {QString::fromLatin1(qVersion())}),
        Translate(FLang, QStringLiteral("The chat log is stored with SQLite through the Qt SQL module. SQLite is in "
                                     "the public domain; see https://www.sqlite.org/copyright.html.")),
    };
}

QString TAboutForm::VersionText() const {
    return TranslateFormat(FLang, QStringLiteral("Version: %d.%d.%d.%d"),
                           {qint64(QLM_VERSION_MAJOR), qint64(QLM_VERSION_MINOR), qint64(QLM_VERSION_RELEASE),
                            qint64(QLM_VERSION_BUILD)});
}
