#include "ui/MainUnit.h"
#include "core/ParamsUnit.h"
#include "platform/ProfileFileUnit.h"
#include "ui/DesktopAppUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTest>
#include <optional>

namespace {

// The window reads and saves the process-wide settings; each test starts from
// the same values and leaves them as it found them.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        TApplicationParams& p = Params();
        FIntegers = p.Integers;
        FBooleans = p.Booleans;
        FStrings = p.Strings;
        p[bpMainFormMaximized] = false;
        p[bpMinimizeAfterStart] = false;
        p[bpClickCloseToMinimize] = true;
        p[bpMainWindowAlwaysOnTop] = false;
        p[ipMainFormLeft] = 330;
        p[ipMainFormTop] = 110;
        p[ipMainFormWidth] = 310;
        p[ipMainFormHeight] = 460;
        QFile::remove(p.ConfigFile());
    }
    void TearDown() override {
        TApplicationParams& p = Params();
        p.Integers = FIntegers;
        p.Booleans = FBooleans;
        p.Strings = FStrings;
        QFile::remove(p.ConfigFile());
    }
    static QByteArray Config() {
        QFile file(Params().ConfigFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static std::optional<QString> ConfigValue(const char* key) {
        const TProfileFile file(Params().ConfigFile());
        const QString section = QString::fromLatin1(TApplicationParams::SectionName);
        if (!file.ValueExists(section, QString::fromLatin1(key))) return std::nullopt;
        return file.ReadString(section, QString::fromLatin1(key));
    }
    static void ShowAt(TMainForm& form, const QRect& bounds) {
        form.move(bounds.topLeft());
        form.resize(bounds.size());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QApplication::processEvents();
    }

private:
    std::array<int, ipCount> FIntegers;
    std::array<bool, bpCount> FBooleans;
    std::array<QString, spCount> FStrings;
};

TEST_F(MainFormTest, CaptionIsTitleAndNickname) {
    Params()[spNickname] = QStringLiteral("Ann");
    TMainForm form(false);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Quillmate - Ann"));
}

TEST_F(MainFormTest, RestoresTheSavedBounds) {
    TApplicationParams& p = Params();
    p[ipMainFormLeft] = 40;
    p[ipMainFormTop] = 50;
    p[ipMainFormWidth] = 300;
    p[ipMainFormHeight] = 420;
    TMainForm form(false);
    EXPECT_EQ(form.pos(), QPoint(40, 50));
    EXPECT_EQ(form.size(), QSize(300, 420));
}

TEST_F(MainFormTest, CloseWithCloseToMinimizeHidesAndSavesNothing) {
    TMainForm form(false);
    ShowAt(form, QRect(60, 70, 320, 400));
    EXPECT_FALSE(form.close());
    QApplication::processEvents();
    EXPECT_FALSE(form.ExitRequested());
    // Hidden in the tray, or minimised where the desktop has none.
    EXPECT_TRUE(!form.isVisible() || form.isMinimized());
    EXPECT_TRUE(Config().isEmpty()) << Config().toStdString();
}

TEST_F(MainFormTest, CloseWithoutCloseToMinimizeSaves) {
    Params()[bpClickCloseToMinimize] = false;
    TMainForm form(false);
    ShowAt(form, QRect(61, 71, 321, 401));
    EXPECT_TRUE(form.close());
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("61"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("401"));
}

TEST_F(MainFormTest, ExitSavesTheWindowState) {
    TMainForm form(false);
    ShowAt(form, QRect(80, 90, 350, 410));
    form.ExitApplicationExecute();
    EXPECT_TRUE(form.ExitRequested());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("80"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("90"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("350"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("410"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("0"));
    // The whole window-state group goes with it, options do not.
    EXPECT_EQ(ConfigValue("ColorScheme"), Params()[spColorScheme]);
    EXPECT_EQ(ConfigValue("ListeningPort"), std::nullopt);
}

TEST_F(MainFormTest, MaximizedWindowSavesItsBoundsBeforeMaximizing) {
    TMainForm form(false);
    ShowAt(form, QRect(123, 134, 420, 330));
    form.showMaximized();
    QApplication::processEvents();
    ASSERT_TRUE(form.isMaximized());
    form.ExitApplicationExecute();
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("123"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("134"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("420"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("330"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("1"));
}

TEST_F(MainFormTest, StartedMaximizedSavesTheStoredBounds) {
    TApplicationParams& p = Params();
    p[bpMainFormMaximized] = true;
    p[ipMainFormLeft] = 111;
    p[ipMainFormTop] = 122;
    p[ipMainFormWidth] = 333;
    p[ipMainFormHeight] = 444;
    TMainForm form(false);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::processEvents();
    ASSERT_TRUE(form.isMaximized());
    form.ExitApplicationExecute();
    EXPECT_EQ(ConfigValue("MainFormLeft"), QStringLiteral("111"));
    EXPECT_EQ(ConfigValue("MainFormTop"), QStringLiteral("122"));
    EXPECT_EQ(ConfigValue("MainFormWidth"), QStringLiteral("333"));
    EXPECT_EQ(ConfigValue("MainFormHeight"), QStringLiteral("444"));
    EXPECT_EQ(ConfigValue("MainFormMaximized"), QStringLiteral("1"));
}

TEST_F(MainFormTest, StartsHiddenWithSwitchOrSetting) {
    EXPECT_TRUE(TMainForm(true).StartsHidden());
    EXPECT_FALSE(TMainForm(false).StartsHidden());
    Params()[bpMinimizeAfterStart] = true;
    EXPECT_TRUE(TMainForm(false).StartsHidden());
}

// ------------------------------------------------------- minimised start

struct TSwitchCase {
    const char* Name;
    QStringList Arguments; // with the program name first
    bool Minimized;
};

void PrintTo(const TSwitchCase& c, std::ostream* os) { *os << c.Name; }

class MinimizedSwitch : public ::testing::TestWithParam<TSwitchCase> {};

TEST_P(MinimizedSwitch, OnlyTheFirstParameterCounts) {
    EXPECT_EQ(StartMinimizedSwitch(GetParam().Arguments), GetParam().Minimized);
}

const QString kProgram = QStringLiteral("quillmate");

INSTANTIATE_TEST_SUITE_P(
    Cases, MinimizedSwitch,
    ::testing::Values(TSwitchCase{"LowerCase", {kProgram, QStringLiteral("-min")}, true},
                      TSwitchCase{"UpperCase", {kProgram, QStringLiteral("-MIN")}, true},
                      TSwitchCase{"MixedCase", {kProgram, QStringLiteral("-mIn")}, true},
                      TSwitchCase{"FirstOfTwo", {kProgram, QStringLiteral("-min"), QStringLiteral("x")}, true},
                      TSwitchCase{"SecondParameter", {kProgram, QStringLiteral("x"), QStringLiteral("-min")}, false},
                      TSwitchCase{"NoParameter", {kProgram}, false},
                      TSwitchCase{"NoArgumentsAtAll", {}, false},
                      TSwitchCase{"WithoutDash", {kProgram, QStringLiteral("min")}, false},
                      TSwitchCase{"Longer", {kProgram, QStringLiteral("-minimized")}, false},
                      TSwitchCase{"SlashForm", {kProgram, QStringLiteral("/min")}, false}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
