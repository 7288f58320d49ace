#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "monitor/engine/check_observer.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/model/document_record.h"
#include "monitor/model/document_table.h"

namespace wardlet {

// The e-mail step of an announcement: an entry in "Wardpost.msg" for the mailer, and the list of
// notified documents to be marked Checked once the mailer has been started. Check threads append
// while the mailer timer takes the list; one lock serialises both.
class MailNotifier {
public:
    explicit MailNotifier(std::filesystem::path dataFolder) : dataFolder_(std::move(dataFolder)) {}

    // Queues an entry for the record in `index` when the mailer timer runs and the configuration
    // asks for this kind of event. After a written entry, with markNotifiedChecked, the index is
    // remembered, unless the list already holds `capacity` entries (the table's slot count).
    // True when an entry was written. `changedLines` go beside the entry (see mail_queue.h).
    bool QueueEntry(size_t index, const DocumentRecord& record, NotifyKind kind,
                    const NotifySettings& settings, size_t capacity,
                    std::string_view changedLines = {});

    // After the mailer was started (with markNotifiedChecked): the remembered documents that
    // are `listed`, to be marked as checked; the others stay for the next start.
    std::vector<size_t> TakeNotifiedDocuments(const std::function<bool(size_t)>& listed);

    // Empties the list (at start-up).
    void ClearNotifiedDocuments();
    std::vector<size_t> NotifiedDocuments() const;

private:
    std::filesystem::path dataFolder_;
    mutable std::mutex lock_;
    std::vector<size_t> notifiedDocuments_;
};

}  // namespace wardlet
