#pragma once
#include "scrobble/Scrobbler.h"
#include "settings/ScrobbleSettings.h"

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class SecretStore;
class SessionAdaptor;
class SessionSettings;

// Scrobbling for the running program: feeds the session's song events (started, length,
// paused, resumed, left, liked) to a Scrobbler while the switch is on, keeps the switch and the
// server in config.ini and the token in the keyring. The token is read from the keyring once
// at the start (songs played meanwhile wait in the queue); without a keyring a token entered
// now holds for this run only. A refused token is said in the session's status line.
// UI thread only; the Scrobbler's reports are brought here.
class ScrobbleBridge : public QObject {
    Q_OBJECT
public:
    enum class TokenPlace {
        kNone,      // no token
        kAsking,    // the keyring has not answered yet
        kKeyring,   // stored in the keyring
        kThisRun,   // no keyring took it: held until the program ends
        kNoKeyring, // no keyring answers, and no token entered this run
    };

    // stored: where the switch and server are kept, outliving the bridge. keyring: null when
    // there is none. queuePath: the queue file, in the data folder.
    ScrobbleBridge(SessionAdaptor& session, SessionSettings& stored, SecretStore* keyring,
                   std::string queuePath = std::string(Scrobbler::kQueueFileName),
                   QObject* parent = nullptr);
    ~ScrobbleBridge() override; // ends the Scrobbler: the queue is saved

    const ScrobbleSettings& Settings() const { return settings; }
    TokenPlace Token() const { return tokenPlace; }
    bool Running() const { return scrobbler != nullptr; }
    // What the Scrobbler reported last; meaningless while not Running.
    const Scrobbler::Status& LastStatus() const { return status; }
    // The token stored or entered, "" when none; for checking it again, never for showing.
    const std::string& StoredToken() const { return token; }

    // Each stores and applies at once; false when config.ini did not take it (it applies for
    // this run all the same) or, for the server, when it is no usable one (nothing changes).
    bool SetEnabled(bool on);
    bool SetServer(const std::string& server);
    // Keeps a checked token: into the keyring, or for this run when none takes it. "" forgets
    // the token, deleting the keyring's entry.
    void SetToken(const std::string& newToken);

signals:
    // Anything the getters give may have changed.
    void changed();

private:
    void Start();
    void ReadToken();
    void OnStatus(const Scrobbler::Status& now);
    void OnSongStarted();
    void OnLengthChanged();
    void OnPlaybackChanged();
    std::int64_t LengthMs() const;

    SessionAdaptor& session;
    SecretStore* const keyring;
    const std::string queuePath;
    SessionSettings& stored;
    ScrobbleSettings settings;
    std::string token;
    TokenPlace tokenPlace = TokenPlace::kNone;
    bool tokenRead = false;   // the keyring was asked
    int playback = 0;         // RadioSession::Playback as last fed
    unsigned tokenWrites = 0; // only the latest keyring write decides where the token is
    Scrobbler::Status status;
    std::unique_ptr<Scrobbler> scrobbler; // while the switch is on; last: ends first
};
