#include "monitor/engine/mail_notifier.h"

#include "common/little_endian.h"
#include "common/mail_queue.h"

namespace wardlet {

bool MailNotifier::QueueEntry(size_t index, const DocumentRecord& record, NotifyKind kind,
                              const NotifySettings& settings, size_t capacity,
                              std::string_view changedLines) {
    if (!settings.mailQueueActive) return false;
    MailEvent event = kind == NotifyKind::Changed ? MailEvent::Changed : MailEvent::Unavailable;
    std::lock_guard guard(lock_);
    bool written = AppendMailEntry(dataFolder_, settings.mail, event, FieldText(record.name),
                                   FieldText(record.location), changedLines);
    if (written && FlagOn(settings.mail.markNotifiedChecked) &&
        notifiedDocuments_.size() < capacity)
        notifiedDocuments_.push_back(index);
    return written;
}

std::vector<size_t> MailNotifier::TakeNotifiedDocuments(const std::function<bool(size_t)>& listed) {
    std::lock_guard guard(lock_);
    std::vector<size_t> kept;
    std::vector<size_t> taken;
    for (size_t index : notifiedDocuments_)
        (listed(index) ? taken : kept).push_back(index);
    notifiedDocuments_ = std::move(kept);
    return taken;
}

void MailNotifier::ClearNotifiedDocuments() {
    std::lock_guard guard(lock_);
    notifiedDocuments_.clear();
}

std::vector<size_t> MailNotifier::NotifiedDocuments() const {
    std::lock_guard guard(lock_);
    return notifiedDocuments_;
}

}  // namespace wardlet
