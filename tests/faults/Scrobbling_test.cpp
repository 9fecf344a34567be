// Scrobbling through the whole program: the demo station plays, a fake listening-history server
// takes the listens, and the preferences page checks and keeps tokens.
#include "app/CMainDlg.h"
#include "app/ScrobbleBridge.h"
#include "app/ScrobblePage.h"
#include "platform/CodePage.h"
#include "platform/SecretStore.h"
#include "service/SongRecord.h"
#include "session/FolderSettings.h"
#include "tests/support/FakeListenBrainz.h"
#include "tests/support/TestStation.h"
#include "tests/support/qt/ProgramUnderTest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

namespace {

constexpr int kPatienceMs = 90000;

// The keyring in memory; answers come from the event loop, as the real one's do.
class MemoryKeyring : public SecretStore {
public:
    void Read(const std::string& key, Done done) override {
        Answer(done, entries.count(key) ? Outcome::kDone : Outcome::kNotFound, entries[key]);
    }
    void Write(const std::string& key, const std::string& secret, Done done) override {
        if (available)
            entries[key] = secret;
        Answer(done, Outcome::kDone, {});
    }
    void Remove(const std::string& key, Done done) override {
        Answer(done, entries.erase(key) ? Outcome::kDone : Outcome::kNotFound, {});
    }
    std::map<std::string, std::string> entries;
    bool available = true;

private:
    void Answer(Done& done, Outcome outcome, std::string secret) {
        SecretStore::Answer a{available ? outcome : Outcome::kUnavailable, std::move(secret),
                              available ? "" : "no Secret Service"};
        QTimer::singleShot(0, [done = std::move(done), a] { done(a); });
    }
};

class Scrobbling : public ::testing::Test {
protected:
    Scrobbling() : station(TestStationOptions(2)), program((station.Start(0), station.BaseUrl())) {
        ScrobbleSettings::SaveServer(stored, listens.Base());
    }
    FolderSettings stored; // the program's folder, which it runs in
    DemoStation station;
    ProgramUnderTest program;
    FakeListenBrainz listens;
    MemoryKeyring keyring;
};

TEST_F(Scrobbling, TwentySongsWithTheServerDownForTheMiddleTenArriveOnceInOrder) {
    ASSERT_TRUE(ScrobbleSettings::SaveSwitch(stored, true));
    keyring.entries[ScrobbleSettings::kTokenEntry] = "good-token";
    CMainDlg& window = program.Open();
    struct Started {
        std::string title;
        std::int64_t at;
    };
    std::vector<Started> started;
    // Connected before the bridge: the server changes before it hears of the song.
    QObject scope;
    QObject::connect(&window.Adaptor(), &SessionAdaptor::songStarted, &scope, [&] {
        SongRecord song;
        ASSERT_TRUE(window.PlayingRecord(song));
        started.push_back({CodePage::AnsiToUtf8(song.title),
                           std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count()});
        listens.SetDown(started.size() > 5 && started.size() <= 15);
    });
    ScrobbleBridge bridge(window.Adaptor(), stored, &keyring);
    ASSERT_TRUE(
        ProgramUnderTest::PumpUntil([&] { return listens.Listens().size() >= 20; }, kPatienceMs))
        << listens.Listens().size() << " listens; " << program.Describe();

    const auto got = listens.Listens();
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(got[i].track, started[i].title) << i;
        EXPECT_NEAR(got[i].listenedAt, started[i].at, 1) << i;
    }
    EXPECT_EQ(listens.Repeats(), 0u);
    EXPECT_TRUE(listens.Problems().empty());
    std::set<std::string> upTitles;
    for (std::size_t i = 0; i < 20; ++i)
        if (i < 5 || i >= 15)
            upTitles.insert(started[i].title);
    EXPECT_FALSE(listens.PlayingNow().empty());
    for (const auto& notice : listens.PlayingNow())
        EXPECT_TRUE(upTitles.count(notice.track)) << notice.track << " announced while down";
}

TEST_F(Scrobbling, ARefusedTokenIsSaidInTheStatusLineAndOnThePage) {
    ASSERT_TRUE(ScrobbleSettings::SaveSwitch(stored, true));
    keyring.entries[ScrobbleSettings::kTokenEntry] = "other-token";
    CMainDlg& window = program.Open();
    ScrobbleBridge bridge(window.Adaptor(), stored, &keyring);
    ScrobblePage page(bridge);
    const QString said = "令牌被拒绝!";
    EXPECT_TRUE(ProgramUnderTest::PumpUntil(
        [&] { return std::count(program.Statuses().begin(), program.Statuses().end(), said); },
        kPatienceMs))
        << program.Describe();
    EXPECT_TRUE(page.StatusLine()->text().startsWith("服务器拒绝了令牌"));
    EXPECT_TRUE(listens.Listens().empty() && listens.PlayingNow().empty());
}

TEST_F(Scrobbling, TokenCheck) {
    CMainDlg window;
    struct Case {
        std::string token;
        bool keyring, down;
        QString said;
        bool kept; // in the keyring
        QString placeholder;
    } cases[] = {
        {"other-token", true, false, "令牌被拒绝: Token invalid.", false, ""},
        {"good-token", true, true, "无法检查令牌, 没有保存: unexpected answer (HTTP 503)", false,
         ""},
        {"good-token", false, false, "令牌有效, 用户: listener", false, "本次运行有效"},
        {"good-token", true, false, "令牌有效, 用户: listener", true, "已保存在钥匙环中"},
    };
    for (const Case& c : cases) {
        keyring.available = c.keyring;
        listens.SetDown(c.down);
        ScrobbleBridge bridge(window.Adaptor(), stored, &keyring);
        ScrobblePage page(bridge);
        std::set<QWidget*> buddies; // what the labels' mnemonics lead to
        for (const QLabel* label : page.findChildren<QLabel*>())
            buddies.insert(label->buddy());
        EXPECT_EQ(buddies, (std::set<QWidget*>{nullptr, page.ServerField(), page.TokenField()}));
        page.ServerField()->setText(QString::fromStdString(listens.Base()));
        page.TokenField()->setText(QString::fromStdString(c.token));
        page.CheckButton()->click();
        EXPECT_TRUE(ProgramUnderTest::PumpUntil([&] { return page.Result()->text() == c.said; },
                                                kPatienceMs))
            << page.Result()->text().toStdString();
        ProgramUnderTest::PumpUntil(
            [&] { return bridge.Token() != ScrobbleBridge::TokenPlace::kAsking; }, kPatienceMs);
        EXPECT_EQ(keyring.entries.count(ScrobbleSettings::kTokenEntry) == 1, c.kept) << c.token;
        EXPECT_EQ(page.TokenField()->placeholderText(), c.placeholder);
        EXPECT_EQ(page.KeyringNote()->text().startsWith("没有可用的钥匙环"), !c.keyring);
    }
    EXPECT_EQ(ScrobbleSettings::Load(stored).server, listens.Base()) << "kept with the valid token";
    std::ostringstream ini;
    ini << std::ifstream(program.Folder() / "config.ini").rdbuf();
    EXPECT_EQ(ini.str().find("good-token"), std::string::npos);
}

} // namespace
