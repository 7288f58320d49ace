#pragma once

#include <QLocalServer>
#include <QObject>
#include <filesystem>
#include <functional>

namespace wardlet {

// One monitor per user and data folder: the first listens on a local socket, a second start asks
// it to come forward and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& dataFolder, QObject* parent = nullptr);

    // True when a running monitor answered and was asked to come forward.
    [[nodiscard]] bool AskRunningToComeForward();
    // Starts listening (a socket left by a killed monitor is replaced); false when it cannot.
    [[nodiscard]] bool Listen();
    // Listen, saying on standard error (and in the debug log) why it failed: the monitor goes on,
    // but a second start will not find it.
    bool ListenOrReport();
    // Why the last Listen failed.
    QString error() const { return server_.errorString(); }
    const QString& name() const { return name_; }

signals:
    // A second start asked this one to come forward.
    void comeForwardRequested();

private:
    QString name_;
    QLocalServer server_;
};

}  // namespace wardlet
