#pragma once
#include "platform/SecretStore.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class SessionSettings;

// The remembered account. config.ini keeps whether it is remembered, whether it signs in by
// itself and its e-mail; its password goes into the desktop's keyring, filed under the e-mail,
// and config.ini's pass is left empty. Where no keyring takes it (none on the bus, or it
// refuses), the password goes into config.ini's pass as it always did and one log line says
// why. Every write to the keyring empties config.ini's pass first, so a pass found there is the
// newest password: it is used as it is and moved into the keyring once it has signed in.
//
// Texts are GBK, as config.ini keeps them. UI thread only, like the keyring's answers.
class AccountStore {
public:
    // What the login dialog's password box takes; a longer keyring entry is not ours.
    static constexpr std::size_t kMaxPasswordBytes = 254;

    struct Account {
        bool remember = false; // the other fields are filled only when this is set
        bool autoLogin = false;
        std::string email;
        std::string password;           // config.ini's pass
        bool passwordInKeyring = false; // no pass in config.ini: ReadPassword gets it
    };
    using PasswordDone = std::function<void(std::string password)>;

    // keyring null: config.ini alone, as before. stored outlives this store and
    // the keyring's answers.
    AccountStore(SessionSettings& stored, SecretStore* keyring);
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // The account as config.ini has it.
    Account Load() const;
    // The keyring's password for email, through done once it answers: empty when it has none
    // or none answers (logged). Dropped when this store is gone by then.
    void ReadPassword(const std::string& email, PasswordDone done);
    // Ticking or unticking 记住密码, and OK: false when config.ini could not be written.
    // Ticked, the password goes to the keyring afterwards (back into config.ini when the keyring
    // refuses it), and the entry of an e-mail remembered before is deleted; an empty password
    // leaves the entry as it is, since the dialog may still have been waiting for it. Unticked,
    // the entry is deleted; config.ini keeps its e-mail and pass as it always did.
    bool Store(bool remember, bool autoLogin, const std::string& email,
               const std::string& password);
    // After the service accepted email and password: a pass still in config.ini moves into the
    // keyring and leaves config.ini once the keyring has it; nothing is lost when it refuses.
    void SignedIn(const std::string& email, const std::string& password);

private:
    SessionSettings& stored_;
    SecretStore* keyring_;
    // Counts the calls to Store: only the latest decides config.ini's pass from the keyring's
    // answer. The answers hold it weakly, so they are dropped once this store is gone.
    std::shared_ptr<unsigned> stores_;
};
