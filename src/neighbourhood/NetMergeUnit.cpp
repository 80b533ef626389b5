#include "neighbourhood/NetMergeUnit.h"

#include "text/UILangUnit.h"

#include <QHash>

#include <algorithm>

namespace NetMerge {

namespace {

void SortByRank(QList<TSourceAnswer>& answers) {
    std::stable_sort(answers.begin(), answers.end(),
                     [](const TSourceAnswer& a, const TSourceAnswer& b) { return a.Source < b.Source; });
}

bool UsableAddress(const QHostAddress& a) {
    bool ok = false;
    a.toIPv4Address(&ok);
    return ok && !a.isNull() && a != QHostAddress(QHostAddress::AnyIPv4) && a != QHostAddress::Broadcast;
}

TNetItem Container(const QString& key, const QString& name) {
    TNetItem item;
    item.Key = key;
    item.ParentKey = QString();
    item.HasChildren = true;
    if (key == kOtherKey) {
        item.Kind = TNetKind::nkOther;
        item.DisplayName = Translate(QStringLiteral("Other Computers"));
    } else {
        item.Kind = TNetKind::nkDomain;
        item.DisplayName = name;
    }
    return item;
}

} // namespace

QString ContainerKey(const QString& name) {
    return name.trimmed().toUpper();
}

QString ComputerKey(const QString& containerKey, const QString& name) {
    return containerKey + QLatin1Char('/') + name.trimmed().toUpper();
}

QString CleanName(const QString& name) {
    const QString t = name.trimmed();
    if (t.isEmpty() || t.size() > 63 || t.contains(QLatin1Char('/'))) return {};
    for (const QChar c : t)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) return {};
    return t;
}

QList<TFlatComputer> MergeFlat(QList<TSourceAnswer> answers, int maxRowsPerSource) {
    SortByRank(answers);
    QList<TFlatComputer> out;
    QHash<QString, int> byName;
    for (const TSourceAnswer& answer : answers) {
        const auto& computers = answer.Result.Computers;
        const int n = int(std::min<qsizetype>(computers.size(), qMax(0, maxRowsPerSource)));
        for (int i = 0; i < n; ++i) {
            const QString name = CleanName(computers[i].ComputerName);
            if (name.isEmpty()) continue;
            const QString workgroup = CleanName(computers[i].Workgroup);
            const QString key = name.toUpper();
            auto it = byName.constFind(key);
            if (it == byName.constEnd()) {
                TFlatComputer c;
                c.Name = name;
                it = byName.insert(key, int(out.size()));
                out.append(c);
            }
            TFlatComputer& c = out[*it];
            c.Sources |= answer.Source;
            if (c.Workgroup.isEmpty() && workgroup != kOtherKey) c.Workgroup = workgroup;
            if (c.Hint.isNull() && UsableAddress(computers[i].Address)) c.Hint = computers[i].Address;
        }
    }
    return out;
}

TRootMerge MergeRoot(QList<TSourceAnswer> answers, int maxRowsPerSource) {
    SortByRank(answers);
    TRootMerge merge;
    QHash<QString, int> byKey;
    auto add = [&](const QString& key, const QString& name, TNetSources source) {
        auto it = byKey.constFind(key);
        if (it == byKey.constEnd()) {
            it = byKey.insert(key, int(merge.Containers.size()));
            merge.Containers.append(Container(key, name));
        }
        merge.Containers[*it].Sources |= source;
    };
    for (const TSourceAnswer& answer : answers) {
        const QStringList& names = answer.Result.Containers;
        const int n = int(std::min<qsizetype>(names.size(), qMax(0, maxRowsPerSource)));
        for (int i = 0; i < n; ++i) {
            const QString name = CleanName(names[i]);
            if (name.isEmpty() || name == kOtherKey) continue;
            add(ContainerKey(name), name, answer.Source);
        }
    }
    merge.Flat = MergeFlat(answers, maxRowsPerSource);
    for (const TFlatComputer& c : merge.Flat)
        add(c.Workgroup.isEmpty() ? kOtherKey : ContainerKey(c.Workgroup), c.Workgroup, c.Sources);
    SortRows(merge.Containers);
    return merge;
}

QList<TMergedComputer> MergeContainer(const QString& containerKey, QList<TSourceAnswer> treeAnswers,
                                      const QList<TFlatComputer>& flat, const QSet<QString>& placedElsewhere,
                                      int maxRowsPerSource) {
    SortByRank(treeAnswers);
    QList<TMergedComputer> out;
    QHash<QString, int> byName;
    auto add = [&](const QString& name, TNetSources source, const QHostAddress& address) {
        const QString upper = name.toUpper();
        auto it = byName.constFind(upper);
        if (it == byName.constEnd()) {
            TMergedComputer c;
            c.Item.Key = ComputerKey(containerKey, name);
            c.Item.ParentKey = containerKey;
            c.Item.Kind = TNetKind::nkServer;
            c.Item.DisplayName = name;
            c.Item.ComputerName = name;
            it = byName.insert(upper, int(out.size()));
            out.append(c);
        }
        TMergedComputer& c = out[*it];
        c.Item.Sources |= source;
        if (c.Hint.isNull() && UsableAddress(address)) c.Hint = address;
    };
    for (const TSourceAnswer& answer : treeAnswers) {
        const auto& computers = answer.Result.Computers;
        const int n = int(std::min<qsizetype>(computers.size(), qMax(0, maxRowsPerSource)));
        for (int i = 0; i < n; ++i) {
            const QString name = CleanName(computers[i].ComputerName);
            if (!name.isEmpty()) add(name, answer.Source, computers[i].Address);
        }
    }
    // Flat computers join a row a tree source made (adding their bits) or
    // make their own where no tree source put them elsewhere.
    for (const TFlatComputer& c : flat) {
        const QString upper = c.Name.toUpper();
        const bool here = byName.contains(upper) ||
            (containerKey == kOtherKey ? c.Workgroup.isEmpty() : ContainerKey(c.Workgroup) == containerKey);
        if (!here || (!byName.contains(upper) && placedElsewhere.contains(upper))) continue;
        add(c.Name, c.Sources, c.Hint);
    }
    std::sort(out.begin(), out.end(), [](const TMergedComputer& a, const TMergedComputer& b) {
        const int c = QString::compare(a.Item.DisplayName, b.Item.DisplayName, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.Item.Key < b.Item.Key;
    });
    return out;
}

void SortRows(QList<TNetItem>& rows) {
    std::sort(rows.begin(), rows.end(), [](const TNetItem& a, const TNetItem& b) {
        const int c = QString::compare(a.DisplayName, b.DisplayName, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.Key < b.Key;
    });
}

} // namespace NetMerge
