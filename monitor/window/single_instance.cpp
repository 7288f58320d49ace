#include "monitor/window/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <cstdio>

#include "common/debug_log.h"

namespace wardlet {
namespace {

constexpr char kComeForward[] = "come forward\n";

// In the data folder when its path fits a socket address, else in the temporary folder under a
// name made from the user and the data folder.
QString ServerName(const std::filesystem::path& dataFolder) {
    auto inFolder = std::filesystem::absolute(dataFolder) / "Wardlet.instance";
    if (inFolder.native().size() < 100) return QString::fromLocal8Bit(inFolder.c_str());
    QByteArray hash =
        QCryptographicHash::hash(QByteArray(dataFolder.c_str()), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QDir::tempPath() + QString("/Wardlet-%1-%2").arg(getuid()).arg(QString(hash));
}

}  // namespace

SingleInstance::SingleInstance(const std::filesystem::path& dataFolder, QObject* parent)
    : QObject(parent), name_(ServerName(dataFolder)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->readAll().contains("come forward")) return;
                emit comeForwardRequested();
                peer->disconnectFromServer();
            });
        }
    });
}

bool SingleInstance::AskRunningToComeForward() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000)) return false;
    socket.write(kComeForward);
    if (!socket.waitForBytesWritten(1000)) return false;
    // The first monitor closes the connection once it has come forward.
    socket.waitForDisconnected(1500);
    return true;
}

bool SingleInstance::Listen() {
    if (server_.listen(name_)) return true;
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

bool SingleInstance::ListenOrReport() {
    if (Listen()) return true;
    QByteArray reason = error().toLocal8Bit();
    fprintf(stderr,
            "Wardlet: cannot listen for a second start (%s); a second start will not bring "
            "this monitor forward.\n",
            reason.constData());
    DebugLog("single-instance socket " + name_.toLocal8Bit().toStdString() + ": " +
             reason.toStdString());
    return false;
}

}  // namespace wardlet
