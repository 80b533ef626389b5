#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <QStringList>

class QPlainTextEdit;
class TUserInterfaceLang;

// A label that acts as a link: underlined while the mouse is over it, a
// pointing hand, Clicked on a left click released inside it.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr);
    bool Hot() const { return FHot; }

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetHot(bool hot);

    bool FHot = false;
    bool FPressed = false;
};

// The about box: logo, program name, version, a line on what the program is,
// the notices of the libraries it uses, and a "[Close]" link. Modal, fixed
// size; Esc closes it too.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int LogoSize = 64;

    // lang: the language table to show the texts in; the process-wide one
    // when null.
    explicit TAboutForm(QWidget* parent = nullptr, const TUserInterfaceLang* lang = nullptr);

    // One paragraph per library, as shown in the notices box.
    QStringList Notices() const;

    QLabel* LogoLabel() const { return FLogo; }
    QLabel* TitleLabel() const { return FTitle; }
    QLabel* VersionLabel() const { return FVersion; }
    QLabel* DescriptionLabel() const { return FDescription; }
    QPlainTextEdit* NoticesView() const { return FNotices; }
    TLinkLabel* CloseLabel() const { return FClose; }

private:
    QString VersionText() const;

    const TUserInterfaceLang* FLang;
    QLabel* FLogo = nullptr;
    QLabel* FTitle = nullptr;
    QLabel* FVersion = nullptr;
    QLabel* FDescription = nullptr;
    QLabel* FNoticesLabel = nullptr;
    QPlainTextEdit* FNotices = nullptr;
    TLinkLabel* FClose = nullptr;
};
