#include "app/ScrobbleBridge.h"

#include "app/SessionAdaptor.h"
#include "platform/Log.h"
#include "platform/SecretStore.h"
#include "service/SongRecord.h"

#include <QMetaObject>
#include <QPointer>

ScrobbleBridge::ScrobbleBridge(SessionAdaptor& session_, SessionSettings& stored_,
                               SecretStore* keyring_, std::string queuePath_, QObject* parent)
    : QObject(parent), session(session_), keyring(keyring_), queuePath(std::move(queuePath_)),
      stored(stored_), settings(ScrobbleSettings::Load(stored_)) {
    connect(&session, &SessionAdaptor::songStarted, this, &ScrobbleBridge::OnSongStarted);
    connect(&session, &SessionAdaptor::lengthChanged, this, &ScrobbleBridge::OnLengthChanged);
    connect(&session, &SessionAdaptor::playbackChanged, this, &ScrobbleBridge::OnPlaybackChanged);
    connect(&session, &SessionAdaptor::songLiked, this, [this] {
        if (scrobbler)
            scrobbler->Liked();
    });
    if (settings.on)
        Start();
}

ScrobbleBridge::~ScrobbleBridge() {
    scrobbler.reset();
}

bool ScrobbleBridge::SetEnabled(bool on) {
    const bool saved = ScrobbleSettings::SaveSwitch(stored, on);
    if (!saved)
        Log(Log::kSettings) << "config.ini did not take " << ScrobbleSettings::kSwitchKey;
    settings.on = on;
    if (on && !scrobbler)
        Start();
    else if (!on)
        scrobbler.reset(); // the queue stays on disk for when it is on again
    emit changed();
    return saved;
}

bool ScrobbleBridge::SetServer(const std::string& server) {
    const std::string usable = ScrobbleSettings::Usable(server);
    if (usable.empty())
        return false;
    const bool saved = ScrobbleSettings::SaveServer(stored, usable);
    if (!saved)
        Log(Log::kSettings) << "config.ini did not take " << ScrobbleSettings::kServerKey;
    if (usable != settings.server) {
        settings.server = usable;
        // A Scrobbler keeps its server: a new one takes up the queue. The song playing now is
        // counted as left.
        if (scrobbler) {
            scrobbler.reset();
            Start();
        }
    }
    emit changed();
    return saved;
}

void ScrobbleBridge::SetToken(const std::string& newToken) {
    token = newToken;
    if (scrobbler)
        scrobbler->SetToken(token);
    const unsigned write = ++tokenWrites;
    const auto answered = [self = QPointer<ScrobbleBridge>(this), write](SecretStore::Answer a) {
        if (!self || write != self->tokenWrites)
            return;
        if (a.outcome == SecretStore::Outcome::kUnavailable) {
            Log(Log::kSettings) << "no keyring took the scrobbling token (" << a.why
                                << "): it holds for this run only";
            self->tokenPlace = self->token.empty() ? TokenPlace::kNoKeyring : TokenPlace::kThisRun;
        } else {
            self->tokenPlace = self->token.empty() ? TokenPlace::kNone : TokenPlace::kKeyring;
        }
        emit self->changed();
    };
    tokenPlace = TokenPlace::kAsking;
    if (!keyring)
        answered({SecretStore::Outcome::kUnavailable, {}, "none in this build"});
    else if (token.empty())
        keyring->Remove(ScrobbleSettings::kTokenEntry, answered);
    else
        keyring->Write(ScrobbleSettings::kTokenEntry, token, answered);
    emit changed();
}

void ScrobbleBridge::Start() {
    Scrobbler::Config config;
    config.server = settings.server;
    config.token = token;
    config.queuePath = queuePath;
    // Called on the worker with no lock held; the Scrobbler ends before this object does.
    config.observer = [this](const Scrobbler::Status& now) {
        QMetaObject::invokeMethod(
            this, [this, now] { OnStatus(now); }, Qt::QueuedConnection);
    };
    status = {};
    scrobbler = std::make_unique<Scrobbler>(std::move(config));
    scrobbler->Start();
    // The song playing now started before: the next one is the first this Scrobbler hears of.
    playback = static_cast<int>(RadioSession::Playback::kStopped);
    if (!tokenRead)
        ReadToken();
}

void ScrobbleBridge::ReadToken() {
    tokenRead = true;
    if (!keyring) {
        tokenPlace = TokenPlace::kNoKeyring;
        return;
    }
    tokenPlace = TokenPlace::kAsking;
    const unsigned write = tokenWrites;
    keyring->Read(ScrobbleSettings::kTokenEntry,
                  [self = QPointer<ScrobbleBridge>(this), write](SecretStore::Answer a) {
                      // A token entered meanwhile is newer than the stored one.
                      if (!self || write != self->tokenWrites)
                          return;
                      if (a.outcome == SecretStore::Outcome::kDone &&
                          ListenBrainzClient::IsWellFormedToken(a.secret)) {
                          self->token = std::move(a.secret);
                          self->tokenPlace = TokenPlace::kKeyring;
                          if (self->scrobbler)
                              self->scrobbler->SetToken(self->token);
                      } else if (a.outcome == SecretStore::Outcome::kUnavailable) {
                          Log(Log::kSettings) << "no keyring for the scrobbling token: " << a.why;
                          self->tokenPlace = TokenPlace::kNoKeyring;
                      } else {
                          if (a.outcome == SecretStore::Outcome::kDone)
                              Log(Log::kSettings) << "the keyring's scrobbling token is not "
                                                     "well-formed: not used";
                          self->tokenPlace = TokenPlace::kNone;
                      }
                      emit self->changed();
                  });
}

void ScrobbleBridge::OnStatus(const Scrobbler::Status& now) {
    if (!scrobbler)
        return; // from a Scrobbler switched off meanwhile
    if (now.state == Scrobbler::State::kTokenRefused &&
        status.state != Scrobbler::State::kTokenRefused)
        session.Session().ShowNotice(tr("令牌被拒绝!").toStdString());
    status = now;
    emit changed();
}

std::int64_t ScrobbleBridge::LengthMs() const {
    return static_cast<std::int64_t>(session.Snapshot().length * 1000.0);
}

void ScrobbleBridge::OnSongStarted() {
    SongRecord song;
    if (!scrobbler || !session.Session().PlayingRecord(song))
        return;
    scrobbler->SongStarted({song.artist, song.title, song.albumtitle, LengthMs()});
    playback = static_cast<int>(RadioSession::Playback::kPlaying);
    OnPlaybackChanged(); // started while the window shows paused
}

void ScrobbleBridge::OnLengthChanged() {
    if (scrobbler)
        scrobbler->LengthKnown(LengthMs());
}

void ScrobbleBridge::OnPlaybackChanged() {
    const auto now = session.Session().PlaybackNow();
    if (!scrobbler || static_cast<int>(now) == playback)
        return;
    playback = static_cast<int>(now);
    switch (now) {
    case RadioSession::Playback::kPaused:
        scrobbler->Paused();
        break;
    case RadioSession::Playback::kPlaying:
        scrobbler->Resumed();
        break;
    case RadioSession::Playback::kStopped:
        scrobbler->SongLeft(); // a channel switch, a decoder failure, the close
        break;
    }
}
