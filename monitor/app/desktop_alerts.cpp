#include "monitor/app/desktop_alerts.h"

namespace wardlet {

DesktopNotice NoticeComposer::ForFinding(const DocumentFinding& finding) {
    DesktopNotice notice;
    notice.body =
        (finding.kind == NotifyKind::Changed ? "Changed: " : "Unable to retrieve: ") + finding.name;
    if (finding.kind == NotifyKind::Changed && finding.lines)
        notice.body += " (+" + std::to_string(finding.lines->added) + " -" +
                       std::to_string(finding.lines->removed) + " lines)";
    notice.actions = {{"default", "Activate", NoticeCommand::BringForward}};
    if (finding.kind == NotifyKind::Changed)
        notice.actions.push_back({"changes", "Show Changes", NoticeCommand::ShowChanges});
    notice.actions.push_back({"open", "Open", NoticeCommand::Open});
    notice.documentName = finding.name;
    return notice;
}

std::string NoticeComposer::BalloonFor(const DocumentFinding& finding) {
    if (finding.kind != NotifyKind::Changed || !finding.lines) return {};
    auto lines = [](size_t count) {
        return std::to_string(count) + (count == 1 ? " line" : " lines");
    };
    return finding.name + " has changed: " + lines(finding.lines->added) + " added, " +
           lines(finding.lines->removed) + " removed.";
}

DesktopNotice NoticeComposer::ForFold(size_t count) {
    DesktopNotice notice;
    notice.body = std::to_string(count) + " documents changed";
    notice.actions = {{"default", "Activate", NoticeCommand::BringForward}};
    return notice;
}

void DesktopAlerts::Announce(const DocumentFinding& finding, bool trayPresent) {
    if (trayPresent && !enabled_) return;
    auto now = clock_.Now();
    if (!burstStart_ || now - *burstStart_ >= kFoldWindow) {
        // What the last burst still holds goes out before the new burst begins.
        FlushHeld();
        burstStart_ = now;
        burstCount_ = 1;
        lastId_ = 0;
        return Send(NoticeComposer::ForFinding(finding));
    }
    ++burstCount_;
    held_.push_back(finding);
    if (held_.size() == 1) timers_.Start(TimerId::NoticeFold, kFoldSettle);
}

void DesktopAlerts::OnFoldTimer() {
    FlushHeld();
}

void DesktopAlerts::FlushHeld() {
    timers_.Stop(TimerId::NoticeFold);
    if (held_.empty()) return;
    std::vector<DocumentFinding> held = std::move(held_);
    held_.clear();
    if (burstCount_ <= kFoldAbove) {
        for (const auto& finding : held)
            Send(NoticeComposer::ForFinding(finding));
        return;
    }
    DesktopNotice fold = NoticeComposer::ForFold(burstCount_);
    fold.replacesId = lastId_;
    Send(std::move(fold));
}

void DesktopAlerts::Send(DesktopNotice notice) {
    uint32_t id = notifications_.Show(notice);
    if (id == 0) return;
    lastId_ = id;
    shown_[id] = std::move(notice);
    // A service that never reports closings must not make this grow for ever.
    while (shown_.size() > kShownKept)
        shown_.erase(shown_.begin());
}

std::optional<DesktopAlerts::Request> DesktopAlerts::ActionInvoked(uint32_t id,
                                                                   std::string_view key) const {
    auto found = shown_.find(id);
    if (found == shown_.end()) return std::nullopt;
    for (const auto& action : found->second.actions)
        if (action.key == key) return Request{action.command, found->second.documentName};
    return std::nullopt;
}

void DesktopAlerts::Closed(uint32_t id) {
    shown_.erase(id);
    // A fold then opens a new notification instead of replacing one the user has dismissed.
    if (id == lastId_) lastId_ = 0;
}

void DesktopAlerts::Stop() {
    timers_.Stop(TimerId::NoticeFold);
    held_.clear();
}

}  // namespace wardlet
