#include "update/UpdateNamesUnit.h"

#include "transfer/FileNamesUnit.h"

#include <QDir>
#include <QFileInfo>

namespace UpdateNames {

namespace {
// Deeper than any program folder goes.
constexpr int kMaxDepth = 16;
} // namespace

bool Normalise(const QString& name, QString* normal) {
    QString text = name;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // A folder is no file to fetch.
    if (text.endsWith(QLatin1Char('/'))) return false;
    QStringList parts;
    if (!FileNames::SafeEntryPath(text, &parts) || parts.size() > kMaxDepth) return false;
    *normal = parts.join(QLatin1Char('/'));
    return true;
}

QString ResolveInside(const QString& folder, const QString& normal) {
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty()) return {};
    const QFileInfo file(QDir(folder).filePath(normal));
    if (!file.exists()) return {};
    const QString real = file.canonicalFilePath();
    if (real.isEmpty() || !real.startsWith(root + QLatin1Char('/'))) return {};
    if (!QFileInfo(real).isFile()) return {};
    return real;
}

bool NoLinkOnTheWay(const QString& folder, const QString& normal) {
    QString path = QDir(folder).absolutePath();
    for (const QString& part : normal.split(QLatin1Char('/'))) {
        path += QLatin1Char('/') + part;
        const QFileInfo info(path);
        if (info.isSymLink()) return false;
        if (!info.exists()) return true;
    }
    return true;
}

} // namespace UpdateNames
