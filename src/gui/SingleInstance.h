#pragma once
// One window per user: a lock file in the user's runtime folder. The first instance holds the
// lock and listens on a local socket beside it; a later start finds the lock taken, hands the
// files named on its command line to the first over that socket and ends without a window.
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live (the user's runtime folder by default).
    explicit SingleInstance(const QString& folder = DefaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString DefaultFolder();

    // True when this is the first instance: it holds the lock and listens from now on.
    bool Acquire();
    // Sends files (absolute paths) to the instance that holds the lock; true when it took them.
    bool HandOver(const QStringList& files, int timeoutMs = 5000) const;

signals:
    // Files another start handed over, in its command line's order.
    void FilesReceived(const QStringList& files);

private:
    QString m_Folder;
    QLockFile m_Lock;
    QLocalServer* m_Server = nullptr;
};
