#pragma once
#include <functional>
#include <string>

// Where the program keeps its secrets outside config.ini: the desktop's keyring, one entry per
// key (the account's password under its e-mail; any later secret, such as a scrobbling token,
// under a key of its own). Keys and secrets are UTF-8.
//
// Every call returns at once and its answer comes later through done, on the thread that owns
// the store (the UI thread), in the order the calls were made. A locked keyring may first ask
// the listener to unlock it, so an answer can take as long as that prompt stays open: nothing
// may wait for one. No answer is delivered once the store is destroyed.
class SecretStore {
public:
    enum class Outcome {
        kDone,        // read: Answer::secret holds the secret; write, remove: done
        kNotFound,    // read, remove: there is no entry under the key
        kUnavailable, // no keyring answers on the bus, or it refused (denied, stayed locked)
    };
    struct Answer {
        Outcome outcome = Outcome::kUnavailable;
        std::string secret; // of a read that is kDone
        std::string why;    // of kUnavailable: the keyring's own words, for the log
    };
    using Done = std::function<void(Answer)>;

    virtual ~SecretStore() = default;
    virtual void Read(const std::string& key, Done done) = 0;
    virtual void Write(const std::string& key, const std::string& secret, Done done) = 0;
    virtual void Remove(const std::string& key, Done done) = 0;
};
