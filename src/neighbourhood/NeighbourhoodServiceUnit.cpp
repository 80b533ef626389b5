#include "neighbourhood/NeighbourhoodServiceUnit.h"

#include "text/UILangUnit.h"

#include <QMap>

// First cut: the tree's shape with no source behind it yet.
struct TNeighbourhoodService::TState {
    std::vector<std::shared_ptr<TNetBrowseSource>> Sources;
    TNetResolveFunction Resolver;
    TNetLimits Limits;
    QMap<QString, TNetItem> Items;
};

TNeighbourhoodService::TNeighbourhoodService(QObject* parent)
    : QObject(parent), F(std::make_unique<TState>())
{
    qRegisterMetaType<TNetItem>();
}

TNeighbourhoodService::~TNeighbourhoodService() = default;

std::vector<std::shared_ptr<TNetBrowseSource>> TNeighbourhoodService::DefaultSources()
{
    return {};
}

TNetResolveFunction TNeighbourhoodService::DefaultResolver()
{
    return [](const QString&, int, const std::atomic<bool>&) { return QHostAddress(); };
}

void TNeighbourhoodService::SetSources(std::vector<std::shared_ptr<TNetBrowseSource>> sources)
{
    F->Sources = std::move(sources);
}

void TNeighbourhoodService::SetResolver(TNetResolveFunction resolver)
{
    F->Resolver = std::move(resolver);
}

void TNeighbourhoodService::SetLimits(const TNetLimits& limits)
{
    F->Limits = limits;
}

TNetItem TNeighbourhoodService::Root() const
{
    TNetItem root;
    root.Kind = TNetKind::nkRoot;
    root.DisplayName = Translate(QStringLiteral("Network Neighborhood"));
    root.HasChildren = true;
    return root;
}

std::optional<TNetItem> TNeighbourhoodService::Item(const QString& key) const
{
    if (key.isEmpty())
        return Root();
    const auto it = F->Items.constFind(key);
    if (it == F->Items.constEnd())
        return std::nullopt;
    return *it;
}

QList<TNetItem> TNeighbourhoodService::Children(const QString& key) const
{
    QList<TNetItem> children;
    for (const TNetItem& item : F->Items)
        if (item.ParentKey == key && !item.Key.isEmpty())
            children.append(item);
    return children;
}

bool TNeighbourhoodService::IsBusy(const QString&) const
{
    return false;
}

void TNeighbourhoodService::Enumerate(const QString& key)
{
    emit ChildrenReplaced(key, Children(key));
    emit EnumerationFinished(key);
}

void TNeighbourhoodService::RefreshAll()
{
    F->Items.clear();
    Enumerate(QString());
}
