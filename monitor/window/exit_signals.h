#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace wardlet {

// SIGTERM, SIGINT and SIGHUP (a desktop session ending sends them) become a call on the
// user-interface thread, through a self-pipe watched by the event loop.
class ExitSignals : public QObject {
    Q_OBJECT
public:
    explicit ExitSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~ExitSignals() override;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace wardlet
