#include "presence/widgets/FloatWindowUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "core/OnlineStateValueUnit.h"
#include "platform/ProfileFileUnit.h"
#include "presence/OnlineUserModelUnit.h"
#include "text/UILangUnit.h"
#include "ui/AppImagesUnit.h"
#include "ui/OnlineStateMenuUnit.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace {

const QString kLeft = QStringLiteral("FloatWindowLeft");
const QString kTop = QStringLiteral("FloatWindowTop");
constexpr int kImageSize = 16;
constexpr int kImageLeft = 7;
constexpr int kTextGap = 3;
constexpr int kExtraWidth = 32;
constexpr int kExtraHeight = 13;

bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The list's rule: by id when the user has one, else by computer and address.
bool IsUser(const TRecipient& user, const TUserNodeData& node) {
    if (!node.UserId.isEmpty() || !user.UserId.isEmpty()) return Same(user.UserId, node.UserId);
    return Same(user.ComputerName, node.ComputerName) && Same(user.IPAddress, node.IPAddress);
}

TRecipient RecipientOf(const TUserNodeData& node) {
    return TRecipient{node.NickName, node.ComputerName, node.IPAddress, QString(), node.UserId};
}

QString PositionKey(const TRecipient& user) { return user.ComputerName + user.IPAddress; }

qint64 DistanceSquared(const QRect& area, const QPoint& p) {
    const qint64 dx = p.x() < area.left() ? area.left() - p.x() : (p.x() > area.right() ? p.x() - area.right() : 0);
    const qint64 dy = p.y() < area.top() ? area.top() - p.y() : (p.y() > area.bottom() ? p.y() - area.bottom() : 0);
    return dx * dx + dy * dy;
}

} // namespace

QPoint KeepTagOnDesktop(const QRect& tag, const QList<QRect>& screens) {
    if (screens.isEmpty()) return tag.topLeft();
    // The screen the tag stands on most, else the one nearest its corner.
    const QRect* area = nullptr;
    qint64 best = 0;
    for (const QRect& screen : screens) {
        const QRect common = screen.intersected(tag);
        const qint64 size = qint64(common.width()) * common.height();
        if (size > best) {
            best = size;
            area = &screen;
        }
    }
    if (!area) {
        qint64 nearest = std::numeric_limits<qint64>::max();
        for (const QRect& screen : screens) {
            const qint64 d = DistanceSquared(screen, tag.topLeft());
            if (d < nearest) {
                nearest = d;
                area = &screen;
            }
        }
    }
    int left = tag.left();
    int top = tag.top();
    if (top + tag.height() > area->top() + area->height()) top = area->top() + area->height() - tag.height();
    if (left + tag.width() > area->left() + area->width()) left = area->left() + area->width() - tag.width();
    left = std::max(left, area->left());
    top = std::max(top, area->top());
    return QPoint(left, top);
}

// ------------------------------------------------------------------ TFloatWindow

TFloatWindow::TFloatWindow(TOnlineFloatWindow& owner, const TRecipient& user)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      FOwner(owner), FUser(user) {
    setObjectName(QStringLiteral("FloatWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    setFont(owner.Context().Font);
}

void TFloatWindow::Refresh(const TUserNodeData& node) {
    FUser = RecipientOf(node);
    const std::optional<TOnlineState> state = OnlineStateFromWire(node.OnlineState);
    const QString image = state ? OnlineStateMenu::MenuImageName(*state) : QString();
    if (image != FStateImage) {
        FStateImage = image;
        setWindowIcon(TAppImages::Instance().Icon(image));
    }
    FText = Utils::DisplayName(!node.NickName.isEmpty(), node.NickName, node.ComputerName,
                               FOwner.Context().Params && (*FOwner.Context().Params)[bpOnlyUserNickname]);
    setWindowTitle(FText);
    const QList<QRect> areas = FOwner.DesktopAreas();
    const int widest = areas.isEmpty() ? 4096 : areas.first().width();
    const QFontMetrics metrics(font());
    const int textWidth = std::min(metrics.horizontalAdvance(FText), widest);
    resize(textWidth + kExtraWidth, metrics.height() + kExtraHeight);
    if (FOwner.Context().CanPlace) move(KeepTagOnDesktop(QRect(pos(), this->size()), areas));
    update();
}

void TFloatWindow::SetColors(const QColor& start, const QColor& end, const QColor& border) {
    FStart = start;
    FEnd = end;
    FBorder = border;
    update();
}

void TFloatWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, FStart);
    gradient.setColorAt(1, FEnd);
    painter.fillRect(rect(), gradient);
    painter.setPen(FBorder);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const int top = (height() - kImageSize) / 2;
    painter.drawPixmap(QRect(kImageLeft, top, kImageSize, kImageSize),
                       TAppImages::Instance().Pixmap(FStateImage, kImageSize, devicePixelRatioF()));
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect text(kImageLeft + kImageSize + kTextGap, 0, width() - kImageLeft - kImageSize - kTextGap, height());
    // A name's "&" is shown as itself.
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FText);
}

void TFloatWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // A Wayland client cannot place itself: the compositor moves it.
    if (!FOwner.Context().CanPlace) {
        if (QWindow* window = windowHandle()) window->startSystemMove();
        return;
    }
    FDragging = true;
    FDragOffset = event->globalPosition().toPoint() - pos();
}

void TFloatWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!FDragging || !event->buttons().testFlag(Qt::LeftButton)) return;
    const QRect wanted(event->globalPosition().toPoint() - FDragOffset, size());
    move(KeepTagOnDesktop(wanted, FOwner.DesktopAreas()));
}

void TFloatWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FDragging = false;
    if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint()))
        FOwner.TagMenuRequested(this, event->globalPosition().toPoint());
}

void TFloatWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FOwner.TagDoubleClicked(this);
}

void TFloatWindow::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
}

void TFloatWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    FOwner.TagFilesDropped(this, paths);
}

// ------------------------------------------------------------------ TOnlineFloatWindow

TOnlineFloatWindow::TOnlineFloatWindow(TFloatWindowContext context, QObject* parent)
    : QObject(parent), FContext(std::move(context)), FMenu(std::make_unique<QMenu>()) {
    FMenu->setObjectName(QStringLiteral("pmFloatWindow"));
    const struct {
        const char* Name;
        int Tag;
    } items[] = {{"miFloatSendMessage", TagSendMessage}, {"miFloatSendFile", TagSendFile}, {"N1", TagSeparator},
                 {"miFloatClose", TagClose}};
    for (const auto& item : items) {
        QAction* action = item.Tag == TagSeparator ? FMenu->addSeparator() : FMenu->addAction(QString());
        action->setObjectName(QString::fromLatin1(item.Name));
        action->setData(item.Tag);
        if (item.Tag != TagSeparator)
            connect(action, &QAction::triggered, this, [this, tag = item.Tag] { MenuCommand(tag); });
    }
    // Captions follow the interface language each time the menu opens.
    const auto translate = [this] {
        const QList<QAction*> actions = FMenu->actions();
        actions[TagSendMessage]->setText(Translate(QStringLiteral("Send Message...")));
        actions[TagSendFile]->setText(Translate(QStringLiteral("Send File(s)...")));
        actions[TagClose]->setText(Translate(QStringLiteral("Close Floating Window")));
    };
    translate();
    connect(FMenu.get(), &QMenu::aboutToShow, this, translate);

    if (TOnlineUserModel* model = FContext.Model) {
        connect(model, &QAbstractItemModel::dataChanged, this, &TOnlineFloatWindow::RowsChanged);
        connect(model, &TOnlineUserModel::UserRemoving, this, [this](const TUserNodeData& node) {
            if (TFloatWindow* tag = TagOf(node)) CloseFloatingWindow(tag);
        });
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &TOnlineFloatWindow::CloseAll);
    }
}

TOnlineFloatWindow::~TOnlineFloatWindow() {
    // Positions are kept; nobody is told about tags closing with the program.
    blockSignals(true);
    CloseAll();
}

QList<QRect> TOnlineFloatWindow::DesktopAreas() const {
    if (FContext.Desktop) return FContext.Desktop();
    QList<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen()) areas << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen()) areas << screen->availableGeometry();
    return areas;
}

QList<TFloatWindow*> TOnlineFloatWindow::Tags() const {
    QList<TFloatWindow*> tags;
    for (const QPointer<TFloatWindow>& tag : FTags)
        if (tag) tags << tag.data();
    return tags;
}

TFloatWindow* TOnlineFloatWindow::TagOf(const TUserNodeData& node) const {
    if (node.IsGroup) return nullptr;
    for (TFloatWindow* tag : Tags())
        if (IsUser(tag->User(), node)) return tag;
    return nullptr;
}

QPoint TOnlineFloatWindow::SavedPosition(const TRecipient& user) const {
    const QList<QRect> areas = DesktopAreas();
    const QRect primary = areas.isEmpty() ? QRect() : areas.first();
    TProfileFile ini;
    ini.Load(FContext.PositionsFile);
    const QString key = PositionKey(user);
    // A user first seen has the tag's corner at the screen's centre.
    return QPoint(ini.ReadInteger(kLeft, key, primary.x() + primary.width() / 2),
                  ini.ReadInteger(kTop, key, primary.y() + primary.height() / 2));
}

void TOnlineFloatWindow::SavePosition(const TFloatWindow& tag) const {
    // Where the compositor places the windows, a client never learns where they are.
    if (!FContext.CanPlace || FContext.PositionsFile.isEmpty()) return;
    const QString key = PositionKey(tag.User());
    TProfileFile ini;
    ini.Load(FContext.PositionsFile);
    ini.WriteInteger(kLeft, key, tag.x());
    ini.WriteInteger(kTop, key, tag.y());
    ini.Save();
}

TFloatWindow* TOnlineFloatWindow::ShowFloatingWindow(const QModelIndex& user) {
    const TUserNodeData* node = FContext.Model ? FContext.Model->NodeData(user) : nullptr;
    if (!node || node->IsGroup) return nullptr;
    if (TFloatWindow* shown = TagOf(*node)) return shown;
    auto* tag = new TFloatWindow(*this, RecipientOf(*node));
    tag->SetColors(FStart, FEnd, FBorder);
    if (FContext.CanPlace) tag->move(SavedPosition(tag->User()));
    tag->Refresh(*node);
    FTags << tag;
    const QString key = TOnlineUserModel::UserKey(node->ComputerName, node->UserId);
    connect(tag, &QObject::destroyed, this, [this, key] {
        FTags.removeIf([](const QPointer<TFloatWindow>& t) { return t.isNull(); });
        emit TagClosed(key);
    });
    tag->show();
    emit TagShown(key, tag);
    return tag;
}

void TOnlineFloatWindow::CloseFloatingWindow(TFloatWindow* tag) {
    if (!tag) return;
    SavePosition(*tag);
    tag->hide();
    tag->deleteLater();
    FTags.removeAll(tag);
}

void TOnlineFloatWindow::CloseAll() {
    for (TFloatWindow* tag : Tags()) {
        SavePosition(*tag);
        delete tag;
    }
    FTags.clear();
}

void TOnlineFloatWindow::RefreshFloatingWindow(const QModelIndex& user) {
    const TUserNodeData* node = FContext.Model ? FContext.Model->NodeData(user) : nullptr;
    if (!node) return;
    if (TFloatWindow* tag = TagOf(*node)) tag->Refresh(*node);
}

void TOnlineFloatWindow::RowsChanged(const QModelIndex& first, const QModelIndex& last) {
    if (FTags.isEmpty() || first.parent() != last.parent()) return;
    for (int row = first.row(); row <= last.row(); ++row) RefreshFloatingWindow(first.siblingAtRow(row));
}

void TOnlineFloatWindow::SetFloatingWindowColors(const QString& scheme, const QColor& start, const QColor& end) {
    FStart = start;
    FEnd = end;
    FBorder = Same(scheme, QStringLiteral("Blue")) ? QColor(132, 172, 238) : QColor(160, 160, 160);
    for (TFloatWindow* tag : Tags()) tag->SetColors(FStart, FEnd, FBorder);
}

void TOnlineFloatWindow::TagDoubleClicked(TFloatWindow* tag) {
    if (tag && FContext.OpenMessage) FContext.OpenMessage(tag->User());
}

void TOnlineFloatWindow::TagMenuRequested(TFloatWindow* tag, const QPoint& globalPos) {
    FMenuTag = tag;
    FMenu->popup(globalPos);
}

void TOnlineFloatWindow::TagFilesDropped(TFloatWindow* tag, const QStringList& paths) {
    if (tag && !paths.isEmpty() && FContext.SendFiles) FContext.SendFiles(tag->User(), paths);
}

void TOnlineFloatWindow::MenuCommand(int tag) {
    TFloatWindow* target = FMenuTag.data();
    if (!target) return;
    switch (tag) {
    case TagSendMessage: TagDoubleClicked(target); break;
    case TagSendFile:
        if (FContext.SendFiles) FContext.SendFiles(target->User(), {});
        break;
    case TagClose: CloseFloatingWindow(target); break;
    default: break;
    }
}
