#include "platform/qt/QtSecretStore.h"

#include <QString>
#include <qt6keychain/keychain.h>

QtSecretStore::QtSecretStore(QObject* parent) : QObject(parent) {}

void QtSecretStore::Read(const std::string& key, Done done) {
    Run(new QKeychain::ReadPasswordJob(QString::fromLatin1(kService)), key, std::move(done));
}

void QtSecretStore::Write(const std::string& key, const std::string& secret, Done done) {
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
    job->setTextData(QString::fromStdString(secret));
    Run(job, key, std::move(done));
}

void QtSecretStore::Remove(const std::string& key, Done done) {
    Run(new QKeychain::DeletePasswordJob(QString::fromLatin1(kService)), key, std::move(done));
}

void QtSecretStore::Run(QKeychain::Job* job, const std::string& key, Done done) {
    // The job has no parent and deletes itself once answered: deleting one the keyring has not
    // answered yet would leave the keyring's callback a dangling job. Its answer is dropped
    // when this store is gone by then.
    job->setKey(QString::fromStdString(key));
    connect(job, &QKeychain::Job::finished, this, [done = std::move(done)](QKeychain::Job* ended) {
        Answer answer;
        switch (ended->error()) {
        case QKeychain::NoError:
            answer.outcome = Outcome::kDone;
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
                answer.secret = read->textData().toStdString();
            break;
        case QKeychain::EntryNotFound:
            answer.outcome = Outcome::kNotFound;
            break;
        default:
            answer.why = ended->errorString().toStdString();
            break;
        }
        done(std::move(answer));
    });
    job->start();
}
