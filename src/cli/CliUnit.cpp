#include "cli/CliUnit.h"
#include "cli/CliExitUnit.h"

#include "cli/CliChatUnit.h"
#include "cli/CliConsoleUnit.h"
#include "cli/CliFileUnit.h"
#include "cli/CliLogUnit.h"
#include "cli/CliNetworkUnit.h"
#include "cli/CliNodeUnit.h"
#include "cli/CliUpdateUnit.h"

#include "core/ParamsUnit.h"
#include "core/UtilsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "text/MsgLangUnit.h"
#include "text/UILangUnit.h"

#include <QDir>
#include <optional>
#include <variant>

namespace {

using namespace CliExit;

const char* const kUsage =
    "usage: quillmate-cli [--home DIR] COMMAND\n"
    "  --version                 print the program version\n"
    "  settings get KEY          print one setting as the program loads it\n"
    "  settings set KEY VALUE    change one setting and save it as the program does\n"
    "  languages                 list the interface languages found\n"
    "  listen [--json] [--nickname NAME] [--state online|busy|away] [--no-auto-files [--accept-files]]\n"
    "         [--full-bodies]    run a node on the LAN and print every event it handles (message\n"
    "                            bodies and texts cut at 256 KiB unless --full-bodies)\n"
    "  send --to HOST[,HOST...] [--nickname NAME] [--json] (TEXT | --rtf FILE) [--image FILE]...\n"
    "                            send a message to each host in turn\n"
    "  broadcast [--nickname NAME] [--json] TEXT\n"
    "                            send a message to everybody\n"
    "  sendfile --to HOST [--nickname NAME] [--json] PATH...\n"
    "                            offer files and folders to HOST and send them once accepted\n"
    "  who [--wait SECONDS] [--nickname NAME]\n"
    "                            join the LAN, wait (default 3 s), print the online list\n";

using TSetting = std::variant<TIntegerParams, TBooleanParams, TStringParams>;

std::optional<TSetting> FindSetting(const QString& key) {
    for (int i = 0; i < ipCount; ++i)
        if (TApplicationParams::Key(TIntegerParams(i)).compare(key, Qt::CaseInsensitive) == 0) return TIntegerParams(i);
    for (int i = 0; i < bpCount; ++i)
        if (TApplicationParams::Key(TBooleanParams(i)).compare(key, Qt::CaseInsensitive) == 0) return TBooleanParams(i);
    for (int i = 0; i < spCount; ++i)
        if (TApplicationParams::Key(TStringParams(i)).compare(key, Qt::CaseInsensitive) == 0) return TStringParams(i);
    return std::nullopt;
}

QString ValueOf(const TApplicationParams& p, const TSetting& setting) {
    if (auto* i = std::get_if<TIntegerParams>(&setting)) return QString::number(p[*i]);
    if (auto* b = std::get_if<TBooleanParams>(&setting)) return p[*b] ? QStringLiteral("1") : QStringLiteral("0");
    return p[std::get<TStringParams>(setting)];
}

int SavedBy(const TSetting& setting) {
    return std::visit([](auto s) { return TApplicationParams::SavedBy(s); }, setting);
}

// Stores value into the setting and saves it the way the program would.
// Returns an error text, empty on success.
QString SetSetting(TApplicationParams& p, const TSetting& setting, const QString& value) {
    if (auto* i = std::get_if<TIntegerParams>(&setting)) {
        int n = 0;
        if (!TryStrToInt(value, &n)) return QStringLiteral("not an integer: %1").arg(value);
        if (*i == ipNetworkLanguage && n != 0 && !TMessageLang::IsKnownLanguageId(n))
            return QStringLiteral("not a known language identifier (0 for the desktop's): %1").arg(value);
        p[*i] = n;
    } else if (auto* b = std::get_if<TBooleanParams>(&setting)) {
        const QString v = value.trimmed().toLower();
        if (v == QLatin1String("true") || v == QLatin1String("yes") || v == QLatin1String("on")) p[*b] = true;
        else if (v == QLatin1String("false") || v == QLatin1String("no") || v == QLatin1String("off")) p[*b] = false;
        else {
            int n = 0;
            if (!TryStrToInt(v, &n)) return QStringLiteral("not a Boolean (1/0, true/false): %1").arg(value);
            p[*b] = n != 0;
        }
    } else {
        const TStringParams s = std::get<TStringParams>(setting);
        // The program keeps no list of its own while it detects the interfaces.
        if (s == spLocalInterfaceList && p[bpAutoDetectInterfaces])
            return QStringLiteral("LocalInterfaceList is not stored while AutoDetectInterfaces is on");
        p[s] = s == spNickname ? TApplicationParams::CleanNickname(value) : value;
    }
    const int savedBy = SavedBy(setting);
    bool ok = true;
    if (savedBy & TApplicationParams::sbAtOnce) ok = p.SaveSetting(std::get<TStringParams>(setting));
    else if (savedBy & TApplicationParams::sbOptions) ok = p.SaveOptions();
    else ok = p.SaveWindowState();
    return ok ? QString() : QStringLiteral("cannot write %1").arg(QDir::toNativeSeparators(p.ConfigFile()));
}

// No command or an unknown one: the line and the list of commands.
int FullUsage(QTextStream& err, const QString& problem) {
    err << "quillmate-cli: " << problem << "\n" << kUsage << kConsoleUsage << kNetworkUsage << kLogUsage << kUpdateUsage;
    err.flush();
    return kExitUsage;
}

} // namespace

int RunCli(QStringList arguments, QTextStream& out, QTextStream& err) {
    // --home may stand anywhere before the command.
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != QLatin1String("--home")) continue;
        if (i + 1 >= arguments.size()) return Usage(err, QStringLiteral("--home needs a folder"));
        QDir().mkpath(arguments[i + 1]);
        qputenv("QUILLMATE_HOME", QDir(arguments[i + 1]).absolutePath().toLocal8Bit());
        arguments.remove(i, 2);
        break;
    }
    if (arguments.isEmpty()) return FullUsage(err, QStringLiteral("no command given"));
    const QString command = arguments.takeFirst();

    if (command == QLatin1String("--version")) {
        out << "quillmate-cli " << Utils::VersionText() << "\n";
        return kExitOk;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out << kUsage << kConsoleUsage << kNetworkUsage << kLogUsage << kUpdateUsage;
        return kExitOk;
    }
    if (command == QLatin1String("settings")) {
        const QString verb = arguments.value(0);
        if (verb != QLatin1String("get") && verb != QLatin1String("set"))
            return Usage(err, QStringLiteral("settings needs get or set"));
        const qsizetype wanted = verb == QLatin1String("get") ? 2 : 3;
        if (arguments.size() != wanted) return Usage(err, QStringLiteral("settings %1: wrong number of arguments").arg(verb));
        const auto setting = FindSetting(arguments[1]);
        if (!setting) return Usage(err, QStringLiteral("unknown setting: %1").arg(arguments[1]));
        TApplicationParams& p = Params();
        if (verb == QLatin1String("get")) {
            out << ValueOf(p, *setting) << "\n";
            return kExitOk;
        }
        const QString error = SetSetting(p, *setting, arguments[2]);
        if (error.startsWith(QLatin1String("not "))) return Usage(err, error);
        if (!error.isEmpty()) {
            err << "quillmate-cli: " << error << "\n";
            return kExitFailed;
        }
        return kExitOk;
    }
    if (command == QLatin1String("languages")) {
        if (!arguments.isEmpty()) return Usage(err, QStringLiteral("languages takes no arguments"));
        for (const TLanguageEntry& entry : UserInterfaceLang().LanguageList())
            out << entry.LanguageName << "\t" << entry.LanguageFile << "\n";
        return kExitOk;
    }
    if (command == QLatin1String("listen")) return RunListen(arguments, out, err);
    if (command == QLatin1String("who")) return RunWho(arguments, out, err);
    if (const std::optional<int> status = RunChatCommand(command, arguments, out, err)) return *status;
    if (command == QLatin1String("sendfile")) return RunSendFile(arguments, out, err);
    if (command == QLatin1String("log")) return RunLog(arguments, out, err);
    if (command == QLatin1String("console")) return RunConsole(arguments, out, err);
    if (command == QLatin1String("network")) return RunNetwork(arguments, out, err);
    if (command == QLatin1String("update")) return RunUpdate(arguments, out, err);
    return FullUsage(err, QStringLiteral("unknown command: %1").arg(command));
}
