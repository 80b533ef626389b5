#include "update/widgets/CheckUpdateUnit.h"

#include "core/ParamsUnit.h"
#include "protocol/CommClientUnit.h"
#include "protocol/CommLocalUnit.h"
#include "support/TestSupport.h"
#include "text/MsgLangUnit.h"
#include "update/UpdateManifestUnit.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

// A check window over an update service of version 1.0.0.0 whose sends go
// to a loopback port nobody reads; the test plays the listener by emitting
// the service's signals, and answers every box.
class CheckUpdateFixture : public ::testing::Test {
protected:
    CheckUpdateFixture() {
        Config.Port = FreePort();
        Config.UseMulticast = false;
        Config.BroadcastList = {QStringLiteral("127.0.0.1")};
    }
    ~CheckUpdateFixture() override { delete TCheckUpdateForm::OpenWindow(); }

    TCheckUpdateContext Context(const QString& key = {}) {
        TCheckUpdateContext c;
        c.Service = &Service;
        c.ComputerName = QStringLiteral("OLDPC");
        c.UserId = QStringLiteral("{OLD}");
        c.PublicKey = key;
        c.InstallFolder = Home.Path() + QStringLiteral("program/");
        c.StartUpdater = [this](const QString& version, const QString& list) {
            Started << version;
            StartedList = list;
            return true;
        };
        c.OpenFolder = [this](const QString& folder) { Opened << folder; };
        c.MessageBox = [this](QWidget*, Utils::TMessageBoxKind kind, const QString& text) {
            Boxes << text;
            if (kind != Utils::TMessageBoxKind::Question) return Utils::TMessageBoxResult::Ok;
            return Answers.isEmpty() ? Utils::TMessageBoxResult::No : Answers.takeFirst();
        };
        return c;
    }
    TUpdateAnswer Answer(const QString& nick = QStringLiteral("Admin")) const {
        TUpdateAnswer a;
        a.NickName = nick;
        a.ComputerName = QStringLiteral("NEWPC");
        a.IPAddress = QStringLiteral("127.0.0.1");
        a.Version = QStringLiteral("2.0.0.0");
        a.Files = QStringList{"quillmate", "Languages\\Chinese.lng", "Update.ini"};
        a.RawFiles = "quillmate\r\nLanguages\\Chinese.lng\r\nUpdate.ini\r\n";
        a.LanguageId = 1033;
        return a;
    }
    void Put(const QString& name, const QByteArray& bytes) const {
        const QString path = Service.UpdateFolder() + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Chooses the first row, fetches, and lets the given files arrive.
    void Fetch(TCheckUpdateForm& form, const QStringList& names) {
        emit Service.AnswerArrived(Answer());
        form.NewVersionList()->setCurrentItem(form.NewVersionList()->topLevelItem(0));
        form.btnUpdateClick();
        for (const QString& name : names) {
            Put(name, name.toUtf8() + " bytes");
            emit Service.FileReceived(name);
        }
        QSignalSpy checked(&form, &TCheckUpdateForm::SetChecked);
        emit Service.FilesDone(TUpdateFilesDone{int(names.size()), TUpdateStreamEnd::Complete, names, {}});
        if (!names.isEmpty()) {
            ASSERT_TRUE(checked.wait(5000));
        }
    }

    TLoopbackOnly Loopback;
    TTempHome Home;
    TApplicationParams Settings{Home.File(QStringLiteral("Config.ini")), Home.Path(),
                                TUserStore(Home.File(QStringLiteral("u.ini")), Home.File(QStringLiteral("a.desktop")))};
    TCommLocal Local{Settings, Home.Path(), QStringLiteral("1.0.0.0")};
    TMessageLang Lang{1033};
    TTransportConfig Config;
    TCommClient Client{[this] { return Config; }, [] { return TLocalIdentity(); }, Lang};
    TUpdateService Service{Client, Local, Lang};
    QStringList Boxes, Started, Opened;
    QString StartedList;
    QList<Utils::TMessageBoxResult> Answers;
};

TEST_F(CheckUpdateFixture, ShowsItsTextsAndIsOpenedOnce) {
    TCheckUpdateForm* form = TCheckUpdateForm::ShowCheckUpdate(Context());
    EXPECT_EQ(TCheckUpdateForm::ShowCheckUpdate(Context()), form);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Check Latest Version"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("lblNewVerList"))->text(), QStringLiteral("&New Version List:"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("lblCurrentVer"))->text(), QStringLiteral("Current Version: 1.0.0.0"));
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("lblFileList"))->text(), QStringLiteral("&Files Need to Update:"));
    QTreeWidgetItem* header = form->NewVersionList()->headerItem();
    EXPECT_EQ(header->text(0) + header->text(1) + header->text(2), QStringLiteral("NicknameComputerVer."));
    EXPECT_TRUE(form->FileList()->isReadOnly());
    EXPECT_EQ(form->Button(QStringLiteral("btnCheck"))->text(), QStringLiteral("C&heck"));
    EXPECT_EQ(form->Button(QStringLiteral("btnUpdate"))->text(), QStringLiteral("&Get Update Files"));
    EXPECT_EQ(form->Button(QStringLiteral("btnCallUpdateApp"))->text(), QStringLiteral("&Update Now"));
    EXPECT_EQ(form->Button(QStringLiteral("btnClose"))->text(), QStringLiteral("&Close"));
    EXPECT_FALSE(form->Button(QStringLiteral("btnUpdate"))->isEnabled());
    EXPECT_FALSE(form->Button(QStringLiteral("btnCallUpdateApp"))->isEnabled());
}

TEST_F(CheckUpdateFixture, AnswersBecomeRowsAndASelectionShowsItsFiles) {
    TCheckUpdateForm form(Context());
    emit Service.AnswerArrived(Answer(QStringLiteral("First")));
    emit Service.AnswerArrived(Answer(QStringLiteral("Second")));
    ASSERT_EQ(form.NewVersionList()->topLevelItemCount(), 2);
    EXPECT_EQ(form.NewVersionList()->topLevelItem(1)->text(0), QStringLiteral("Second"));
    EXPECT_EQ(form.NewVersionList()->topLevelItem(1)->text(2), QStringLiteral("2.0.0.0"));
    form.NewVersionList()->setCurrentItem(form.NewVersionList()->topLevelItem(1));
    EXPECT_TRUE(form.Button(QStringLiteral("btnUpdate"))->isEnabled());
    EXPECT_EQ(form.FileList()->toPlainText(), QStringLiteral("quillmate\nLanguages\\Chinese.lng\nUpdate.ini"));
    form.btnCheckClick();
    EXPECT_EQ(form.NewVersionList()->topLevelItemCount(), 0) << "a new check empties the list";
    EXPECT_TRUE(Service.Checking());
}

TEST_F(CheckUpdateFixture, TheQuestionNamesTheNodeAndTheFilesAndYesStartsOurUpdater) {
    TCheckUpdateForm form(Context());
    Fetch(form, {"quillmate", "Languages/Chinese.lng", "Update.ini"});
    EXPECT_EQ(form.FileList()->toPlainText(), QStringLiteral("quillmate\tok\nLanguages\\Chinese.lng\tok\nUpdate.ini\tok"));
    ASSERT_EQ(Boxes.size(), 1);
    const QString& q = Boxes[0];
    EXPECT_TRUE(q.startsWith(QStringLiteral("Update files from Admin (NEWPC, 127.0.0.1), version 2.0.0.0:"))) << q.toStdString();
    EXPECT_TRUE(q.contains(QStringLiteral("Languages/Chinese.lng  27  SHA-256 ") +
                           QString::fromLatin1(QCryptographicHash::hash("Languages/Chinese.lng bytes", QCryptographicHash::Sha256).toHex())));
    EXPECT_TRUE(q.contains(QStringLiteral("The files are not signed")));
    EXPECT_TRUE(q.endsWith(QStringLiteral("All update files are saved in folder: %1. \nNow the application will be closed, continue to update?")
                               .arg(QDir::toNativeSeparators(Service.UpdateFolder()))));
    // No: Update Now asks the same again; Yes starts the updater with the version.
    EXPECT_TRUE(Started.isEmpty());
    ASSERT_TRUE(form.Button(QStringLiteral("btnCallUpdateApp"))->isEnabled());
    Answers << Utils::TMessageBoxResult::Yes;
    form.btnCallUpdateAppClick();
    ASSERT_EQ(Boxes.size(), 2);
    EXPECT_EQ(Boxes[1], Boxes[0]);
    EXPECT_EQ(Started, QStringList{"2.0.0.0"});
    QFile list(StartedList);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(ParseInstallList(list.readAll()).size(), 3);
}

TEST_F(CheckUpdateFixture, ASetThatIsNotSignedIsRefusedWhenAKeyIsSet) {
    QByteArray pub, secret;
    ASSERT_TRUE(UpdateManifest::GenerateKeyPair(&pub, &secret));
    TCheckUpdateForm form(Context(QString::fromLatin1(pub)));
    Answers << Utils::TMessageBoxResult::Yes;
    Fetch(form, {"quillmate", "Update.ini"});
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_EQ(Boxes[0], QStringLiteral("The update files are not signed, but this computer installs signed updates only. "
                                       "Nothing was installed."));
    EXPECT_TRUE(Started.isEmpty());
    EXPECT_FALSE(form.Button(QStringLiteral("btnCallUpdateApp"))->isEnabled());
}

TEST_F(CheckUpdateFixture, AProgramFolderThatCannotBeWrittenOffersTheFolderAndNamesThePackage) {
    TCheckUpdateContext context = Context();
    context.InstallFolderWritable = false;
    TCheckUpdateForm form(context);
    Answers << Utils::TMessageBoxResult::Yes;
    Fetch(form, {"quillmate_2.0.0.0_amd64.deb", "Update.ini"});
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].contains(QStringLiteral("cannot be written")));
    EXPECT_TRUE(Boxes[0].contains(QStringLiteral("Install %1 with the system's package manager.")
                                      .arg(QDir::toNativeSeparators(Service.UpdateFolder() + "quillmate_2.0.0.0_amd64.deb"))));
    EXPECT_EQ(Opened, QStringList{Service.UpdateFolder()});
    EXPECT_TRUE(Started.isEmpty());
}

TEST_F(CheckUpdateFixture, NoFileOrNoVersionIsAnError) {
    TCheckUpdateForm form(Context());
    Fetch(form, {});
    EXPECT_EQ(Boxes, QStringList{"Error to get update files."});
    EXPECT_TRUE(form.Button(QStringLiteral("btnUpdate"))->isEnabled());

    TCommLocal noVersion{Settings, Home.Path(), QString()};
    TUpdateService service{Client, noVersion, Lang};
    TCheckUpdateContext context = Context();
    context.Service = &service;
    TCheckUpdateForm other(context);
    other.btnCheckClick();
    EXPECT_EQ(Boxes.last(), QStringLiteral("Error to get local version."));
}

} // namespace
