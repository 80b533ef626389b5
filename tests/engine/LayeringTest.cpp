// Keeps the folders of src/ in one direction. The order and the library of
// each folder come from src/Layers.txt, the table the build reads as well.

#include "support/CaseName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>

namespace {

enum class TLayerKind { Engine, Kit, Cli, App };

struct TLayerTable {
    QHash<QString, int> Rank; // folder -> position in the table
    QHash<QString, TLayerKind> Kind;
};

std::optional<TLayerTable> ParseLayers(const QString& text) {
    TLayerTable table;
    static const QHash<QString, TLayerKind> kinds{{QStringLiteral("engine"), TLayerKind::Engine},
                                                  {QStringLiteral("kit"), TLayerKind::Kit},
                                                  {QStringLiteral("cli"), TLayerKind::Cli},
                                                  {QStringLiteral("app"), TLayerKind::App}};
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList parts = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (parts.size() != 2 || !kinds.contains(parts[1])) return std::nullopt;
        table.Rank.insert(parts[0], int(table.Rank.size()));
        table.Kind.insert(parts[0], kinds.value(parts[1]));
    }
    return table;
}

// Where a path under src/ sits: its folder and whether it is a widgets/ file.
struct TPlace {
    QString Folder;
    bool Widgets = false;
};

TPlace PlaceOf(const QString& relativePath) {
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    return TPlace{parts.value(0), parts.size() > 2 && parts.value(1) == QLatin1String("widgets")};
}

using TIsGuiHeader = std::function<bool(const QString& header)>;

// The complaint about one include line, empty when it is allowed.
QString CheckInclude(const TLayerTable& table, const TPlace& from, const QString& included, bool angle,
                     const TIsGuiHeader& isGuiHeader) {
    const TLayerKind fromKind = table.Kind.value(from.Folder, TLayerKind::App);
    const bool fromEngine = table.Kind.contains(from.Folder) && fromKind == TLayerKind::Engine && !from.Widgets;
    if (angle) {
        if (fromEngine && isGuiHeader(included)) return QStringLiteral("engine file includes Qt Gui/Widgets header <%1>").arg(included);
        return {};
    }
    if (!included.contains(QLatin1Char('/'))) return {}; // same folder, generated or moc file
    const TPlace to = PlaceOf(included);
    if (!table.Kind.contains(to.Folder)) return QStringLiteral("\"%1\" names no folder of the layer table").arg(included);
    const TLayerKind toKind = table.Kind.value(to.Folder);
    const int fromRank = table.Rank.value(from.Folder);
    const int toRank = table.Rank.value(to.Folder);
    const QString against = QStringLiteral("\"%1\" runs against the layer order (%2 may not use %3)")
                                .arg(included, from.Folder + (from.Widgets ? QStringLiteral("/widgets") : QString()),
                                     to.Folder + (to.Widgets ? QStringLiteral("/widgets") : QString()));
    if (toKind == TLayerKind::Cli || toKind == TLayerKind::App)
        return to.Folder == from.Folder ? QString() : against;
    const bool toEngine = toKind == TLayerKind::Engine && !to.Widgets;
    switch (fromKind) {
    case TLayerKind::Engine:
        if (from.Widgets) {
            // Any engine folder but the node (a window gets the services it uses, not the
            // node that owns them), the kit, and the widgets of this or an earlier area.
            if (toEngine && to.Folder == QLatin1String("node")) return against;
            if (toEngine || toKind == TLayerKind::Kit) return {};
            if (to.Widgets && toRank <= fromRank) return {};
            return against;
        }
        if (!toEngine || toRank > fromRank) return against;
        return {};
    case TLayerKind::Kit:
        // Below every window: engine folders and itself only.
        return toEngine || toKind == TLayerKind::Kit ? QString() : against;
    case TLayerKind::Cli:
        return toEngine ? QString() : against;
    case TLayerKind::App:
        return {};
    }
    return against;
}

// Every complaint about one file, as "path:line: text".
QStringList CheckFile(const TLayerTable& table, const QString& relativePath, const QString& content,
                      const TIsGuiHeader& isGuiHeader) {
    static const QRegularExpression kInclude(QStringLiteral("^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"));
    QStringList problems;
    const TPlace from = PlaceOf(relativePath);
    if (!table.Kind.contains(from.Folder)) {
        problems << QStringLiteral("%1: folder is missing from src/Layers.txt").arg(relativePath);
        return problems;
    }
    if (from.Widgets && table.Kind.value(from.Folder) != TLayerKind::Engine)
        problems << QStringLiteral("%1: only area folders have a widgets/ subfolder").arg(relativePath);
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = kInclude.match(lines[i]);
        if (!m.hasMatch()) continue;
        const QString problem = CheckInclude(table, from, m.captured(2), m.captured(1) == QLatin1String("<"), isGuiHeader);
        if (!problem.isEmpty()) problems << QStringLiteral("%1:%2: %3").arg(relativePath).arg(i + 1).arg(problem);
    }
    return problems;
}

// Qt's Gui-side modules, by the folders their headers live in.
bool IsQtGuiHeader(const QString& header) {
    static const QStringList kModules{QStringLiteral("QtGui"), QStringLiteral("QtWidgets"),
                                      QStringLiteral("QtMultimedia"), QStringLiteral("QtSvg"),
                                      QStringLiteral("QtOpenGL"), QStringLiteral("QtPrintSupport")};
    const QString module = header.section(QLatin1Char('/'), 0, 0);
    if (header.contains(QLatin1Char('/'))) return kModules.contains(module);
    for (const QString& m : kModules)
        if (QFileInfo::exists(QStringLiteral(QLM_QT_HEADERS_DIR "/") + m + QLatin1Char('/') + header)) return true;
    return false;
}

TLayerTable RealTable() {
    QFile file(SourceDir() + QStringLiteral("/src/Layers.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const std::optional<TLayerTable> table = ParseLayers(QString::fromUtf8(file.readAll()));
    EXPECT_TRUE(table.has_value());
    return table.value_or(TLayerTable{});
}

struct TIncludeCase {
    std::string Name;
    QString File;
    QString Line;
    bool Allowed;
};
void PrintTo(const TIncludeCase& c, std::ostream* os) { *os << c.Name; }

class LayeringRules : public ::testing::TestWithParam<TIncludeCase> {};

TEST_P(LayeringRules, IncludeAllowedOrNamed) {
    const TIncludeCase& c = GetParam();
    const QStringList problems = CheckFile(RealTable(), c.File, QStringLiteral("// first\n") + c.Line, IsQtGuiHeader);
    if (c.Allowed) {
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    } else {
        ASSERT_EQ(problems.size(), 1);
        // The complaint names the file and the line.
        EXPECT_TRUE(problems.first().startsWith(c.File + QStringLiteral(":2: "))) << problems.first().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayeringRules,
    ::testing::Values(
        TIncludeCase{"EngineUsesEarlierArea", "presence/A.cpp", "#include \"protocol/B.h\"", true},
        TIncludeCase{"EngineUsesOwnArea", "presence/A.cpp", "#include \"presence/B.h\"", true},
        TIncludeCase{"EngineUsesLaterArea", "core/A.cpp", "#include \"text/B.h\"", false},
        TIncludeCase{"AreaUsesNode", "presence/A.cpp", "#include \"node/NodeUnit.h\"", false},
        TIncludeCase{"LaterAreaUsesEarlierOne", "messaging/A.cpp", "#include \"chatlog/B.h\"", true},
        TIncludeCase{"EarlierAreaUsesLaterOne", "chatlog/A.cpp", "#include \"messaging/B.h\"", false},
        TIncludeCase{"EngineUsesUi", "presence/A.cpp", "#include \"ui/AppImagesUnit.h\"", false},
        TIncludeCase{"EngineUsesWidgets", "node/A.cpp", "#include \"presence/widgets/B.h\"", false},
        TIncludeCase{"EngineUsesQtWidgets", "presence/A.cpp", "#include <QWidget>", false},
        TIncludeCase{"EngineUsesQtGuiByModule", "text/A.cpp", "#include <QtGui/QColor>", false},
        TIncludeCase{"EngineUsesQtGuiLowerCase", "text/A.cpp", "#include <qdrawutil.h>", false},
        TIncludeCase{"EngineUsesQtCore", "text/A.cpp", "#include <QString>", true},
        TIncludeCase{"EngineUsesStandardHeader", "text/A.cpp", "#include <vector>", true},
        TIncludeCase{"WidgetsUseQtWidgets", "presence/widgets/A.cpp", "#include <QTreeView>", true},
        TIncludeCase{"WidgetsUseUi", "presence/widgets/A.cpp", "#include \"ui/AppImagesUnit.h\"", true},
        TIncludeCase{"WidgetsUseLaterEngineArea", "presence/widgets/A.cpp", "#include \"transfer/TransferServiceUnit.h\"", true},
        TIncludeCase{"WidgetsUseNode", "messaging/widgets/A.cpp", "#include \"node/NodeUnit.h\"", false},
        TIncludeCase{"ShellUsesNode", "app/A.cpp", "#include \"node/NodeUnit.h\"", true},
        TIncludeCase{"WidgetsUseEarlierWidgets", "messaging/widgets/A.cpp", "#include \"presence/widgets/B.h\"", true},
        TIncludeCase{"WidgetsUseLaterWidgets", "presence/widgets/A.cpp", "#include \"messaging/widgets/B.h\"", false},
        TIncludeCase{"WidgetsUseShell", "transfer/widgets/A.cpp", "#include \"app/MainUnit.h\"", false},
        TIncludeCase{"KitUsesEngine", "ui/A.cpp", "#include \"messaging/ServerQueueUnit.h\"", true},
        TIncludeCase{"KitUsesKit", "ui/A.cpp", "#include \"ui/AppImagesUnit.h\"", true},
        TIncludeCase{"KitUsesWidgets", "ui/A.cpp", "#include \"presence/widgets/B.h\"", false},
        TIncludeCase{"KitUsesShell", "ui/A.cpp", "#include \"app/MainUnit.h\"", false},
        TIncludeCase{"KitUsesCli", "ui/A.cpp", "#include \"cli/CliUnit.h\"", false},
        TIncludeCase{"ShellUsesWidgets", "app/A.cpp", "#include \"transfer/widgets/B.h\"", true},
        TIncludeCase{"ShellUsesKit", "app/A.cpp", "#include \"ui/AppImagesUnit.h\"", true},
        TIncludeCase{"ShellUsesCli", "app/A.cpp", "#include \"cli/CliUnit.h\"", false},
        TIncludeCase{"CliUsesNode", "cli/A.cpp", "#include \"node/NodeUnit.h\"", true},
        TIncludeCase{"CliUsesKit", "cli/A.cpp", "#include \"ui/AppImagesUnit.h\"", false},
        TIncludeCase{"CliUsesShell", "cli/A.cpp", "#include \"app/MainUnit.h\"", false},
        TIncludeCase{"CliUsesWidgets", "cli/A.cpp", "#include \"presence/widgets/B.h\"", false},
        TIncludeCase{"MainUsesShell", "app/main.cpp", "#include \"app/DesktopAppUnit.h\"", true},
        TIncludeCase{"UnknownFolder", "core/A.cpp", "#include \"misc/B.h\"", false},
        TIncludeCase{"GeneratedHeader", "core/A.cpp", "#include \"VersionInfo.h\"", true},
        TIncludeCase{"MocFile", "protocol/A.cpp", "#include \"CommServerUnit.moc\"", true}),
    TCaseName());

TEST(Layering, FolderMissingFromTheTableIsNamed) {
    const QStringList problems = CheckFile(RealTable(), QStringLiteral("misc/A.cpp"), QString(), IsQtGuiHeader);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.first().startsWith(QStringLiteral("misc/A.cpp:")));
}

TEST(Layering, TableRejectsUnknownKinds) {
    EXPECT_FALSE(ParseLayers(QStringLiteral("core engine\nui window\n")).has_value());
    EXPECT_FALSE(ParseLayers(QStringLiteral("core engine\nui gui\n")).has_value());
    const std::optional<TLayerTable> table = ParseLayers(QStringLiteral("# c\ncore engine\n\ntext engine\n"));
    ASSERT_TRUE(table.has_value());
    EXPECT_LT(table->Rank.value(QStringLiteral("core")), table->Rank.value(QStringLiteral("text")));
}

TEST(Layering, SourceTreeFollowsTheTable) {
    const TLayerTable table = RealTable();
    const QString root = SourceDir() + QStringLiteral("/src/");
    QStringList problems;
    int files = 0;
    QDirIterator it(root, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QString relative = path.mid(root.size());
        // Files directly in src/ belong to no layer (there are none today).
        if (!relative.contains(QLatin1Char('/'))) continue;
        problems << CheckFile(table, relative, QString::fromUtf8(file.readAll()), IsQtGuiHeader);
        ++files;
    }
    EXPECT_GT(files, 0);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
}

TEST(Layering, GuiFilesOutsideUiAndAppLiveInWidgets) {
    // A file that includes a Qt Gui/Widgets header is a GUI file; in an area
    // folder it must sit in widgets/ (the engine check above names the line).
    EXPECT_TRUE(IsQtGuiHeader(QStringLiteral("QWidget")));
    EXPECT_TRUE(IsQtGuiHeader(QStringLiteral("QColor")));
    EXPECT_FALSE(IsQtGuiHeader(QStringLiteral("QString")));
    EXPECT_FALSE(IsQtGuiHeader(QStringLiteral("QTcpSocket")));
}

} // namespace
