#pragma once
#include "platform/SecretStore.h"

#include <QObject>

namespace QKeychain {
class Job;
}

// The desktop's keyring through qtkeychain: the Secret Service (GNOME Keyring, KeePassXC) or
// KWallet, whichever the desktop offers. Entries are filed under the service name kService.
// qtkeychain runs one job at a time, in the order they were started, so answers keep the order
// of the calls. A job the keyring never answers (its unlock prompt left open) stays pending
// until the program ends: qtkeychain cannot cancel one.
class QtSecretStore : public QObject, public SecretStore {
public:
    static constexpr const char* kService = "lantorfm";

    explicit QtSecretStore(QObject* parent = nullptr);

    void Read(const std::string& key, Done done) override;
    void Write(const std::string& key, const std::string& secret, Done done) override;
    void Remove(const std::string& key, Done done) override;

private:
    void Run(QKeychain::Job* job, const std::string& key, Done done);
};
