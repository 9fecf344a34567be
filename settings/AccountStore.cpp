#include "settings/AccountStore.h"

#include "platform/CodePage.h"
#include "platform/Log.h"
#include "session/SessionSettings.h"

#include <utility>

namespace {

using Outcome = SecretStore::Outcome;

std::string Why(const SecretStore::Answer& answer) {
    return answer.why.empty() ? "the keyring gave no reason" : answer.why;
}

// The keyring's answer to a deletion is only logged: nothing else depends on it.
SecretStore::Done LogFailedRemoval() {
    return [](SecretStore::Answer answer) {
        if (answer.outcome == Outcome::kUnavailable)
            Log(Log::kSettings) << "keyring: the old password could not be deleted: "
                                << Why(answer);
    };
}

} // namespace

AccountStore::AccountStore(SessionSettings& stored, SecretStore* keyring)
    : stored_(stored), keyring_(keyring), stores_(std::make_shared<unsigned>(0)) {}

AccountStore::Account AccountStore::Load() const {
    Account account;
    account.remember = stored_.LoadRememberState();
    if (!account.remember)
        return account;
    stored_.LoadAccount(account.email, account.password);
    account.autoLogin = stored_.LoadAutoLogin();
    account.passwordInKeyring = keyring_ && account.password.empty() && !account.email.empty();
    return account;
}

void AccountStore::ReadPassword(const std::string& email, PasswordDone done) {
    if (!keyring_) {
        done({});
        return;
    }
    std::weak_ptr<unsigned> alive = stores_;
    keyring_->Read(
        CodePage::AnsiToUtf8(email), [alive, done = std::move(done)](SecretStore::Answer answer) {
            if (!alive.lock())
                return;
            std::string password;
            if (answer.outcome == Outcome::kUnavailable)
                Log(Log::kSettings) << "keyring: no remembered password: " << Why(answer);
            else if (answer.outcome == Outcome::kDone &&
                     (answer.secret.size() > kMaxPasswordBytes * 2 ||
                      !CodePage::Utf8ToAnsiStrict(answer.secret, password) ||
                      password.size() > kMaxPasswordBytes)) {
                Log(Log::kSettings) << "keyring: the remembered password is not one the program "
                                       "stored, ignored";
                password.clear();
            }
            done(std::move(password));
        });
}

bool AccountStore::Store(bool remember, bool autoLogin, const std::string& email,
                         const std::string& password) {
    const unsigned mine = ++*stores_;
    std::string storedEmail, storedPassword;
    stored_.LoadAccount(storedEmail, storedPassword);
    if (!remember) {
        // The stored account, and whether it signs in by itself, stay as they were: they count
        // only while remembering is on.
        const bool saved = stored_.SaveRememberState(false);
        if (keyring_ && !storedEmail.empty())
            keyring_->Remove(CodePage::AnsiToUtf8(storedEmail), LogFailedRemoval());
        return saved;
    }
    const bool toKeyring = keyring_ && !password.empty();
    // config.ini's pass is emptied now, before the keyring answers, so that an older password
    // there can never outlive this one.
    const bool saved = stored_.SaveRememberState(true) &&
                       stored_.SaveAccount(email, toKeyring ? std::string() : password) &&
                       stored_.SaveAutoLogin(autoLogin);
    if (!saved || !toKeyring)
        return saved;
    if (!storedEmail.empty() && storedEmail != email) // one account is remembered
        keyring_->Remove(CodePage::AnsiToUtf8(storedEmail), LogFailedRemoval());
    std::weak_ptr<unsigned> stores = stores_;
    keyring_->Write(CodePage::AnsiToUtf8(email), CodePage::AnsiToUtf8(password),
                    [&stored = stored_, stores, mine, email, password](SecretStore::Answer answer) {
                        if (answer.outcome == Outcome::kDone)
                            return;
                        Log(Log::kSettings)
                            << "keyring: " << Why(answer) << "; the password is kept in config.ini";
                        const auto latest = stores.lock();
                        if (latest && *latest == mine && !stored.SaveAccount(email, password))
                            Log(Log::kSettings) << "config.ini: the password could not be saved";
                    });
    return true;
}

void AccountStore::SignedIn(const std::string& email, const std::string& password) {
    if (!keyring_)
        return;
    std::string storedEmail, storedPassword;
    stored_.LoadAccount(storedEmail, storedPassword);
    if (!stored_.LoadRememberState() || storedPassword.empty() || storedEmail != email ||
        storedPassword != password)
        return;
    keyring_->Write(CodePage::AnsiToUtf8(email), CodePage::AnsiToUtf8(password),
                    [&now = stored_, email, password](SecretStore::Answer answer) {
                        if (answer.outcome != Outcome::kDone) {
                            Log(Log::kSettings) << "keyring: " << Why(answer)
                                                << "; the password stays in config.ini";
                            return;
                        }
                        // Unless another password has been stored meanwhile.
                        std::string nowEmail, nowPassword;
                        now.LoadAccount(nowEmail, nowPassword);
                        if (nowEmail == email && nowPassword == password &&
                            !now.SaveAccount(email, std::string()))
                            Log(Log::kSettings) << "config.ini: the password moved into the "
                                                   "keyring could not be removed from it";
                    });
}
