#include "engine_fixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "file_bytes.h"

namespace wardlet::test {

void RecordingObserver::CheckEnded(size_t index, const DocumentRecord& record) {
    std::string name(FieldText(record.name));
    Record("ended " + name + " " + std::string(StatusText(record.status)));
    {
        std::lock_guard guard(lock_);
        ended_.push_back(name);
    }
    if (onCheckEnded) onCheckEnded(index);
}

void RecordingObserver::Record(std::string call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
}

std::vector<std::string> RecordingObserver::Calls() {
    std::lock_guard guard(lock_);
    return std::exchange(calls_, {});
}

size_t RecordingObserver::EndedCount(const std::string& name) {
    std::lock_guard guard(lock_);
    return static_cast<size_t>(std::count(ended_.begin(), ended_.end(), name));
}

TransferLimits QuickLimits() {
    TransferLimits limits;
    limits.connectTimeoutSeconds = 2;
    limits.lowSpeedBytesPerSecond = 1;
    limits.lowSpeedSeconds = 2;
    return limits;
}

namespace {

NotifySettings AllNotifications() {
    NotifySettings notify;
    notify.soundOnChange = notify.soundOnFailure = true;
    notify.selectOnChange = notify.selectOnFailure = true;
    notify.mailQueueActive = true;
    notify.mail.sendOnChange = notify.mail.sendOnUnreachable = 1;
    notify.mail.markNotifiedChecked = 1;
    return notify;
}

}  // namespace

EngineTest::EngineTest()
    : data_(home_.makeDataFolder()),
      store_(data_, table_),
      list_(table_),
      observer_(list_),
      settings_(1, AllNotifications()) {
    // The peers are on loopback; a proxy from the environment must not stand between.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    store_.SetList(&list_);
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, QuickLimits());
}

EngineTest::~EngineTest() {
    engine_.reset();
}

size_t EngineTest::AddDocument(DocumentType type, const std::string& name,
                               const std::string& location,
                               const std::function<void(DocumentRecord&)>& more) {
    DocumentRecord record{};
    record.type = static_cast<int32_t>(type);
    SetFieldText(record.name, name);
    SetFieldText(record.location, location);
    record.status = static_cast<int32_t>(DocumentStatus::Checked);
    if (more) more(record);
    size_t index = table_.Add(record);
    list_.AddRow(index);
    store_.SaveDocument(index);
    return index;
}

DocumentRecord EngineTest::Check(size_t index) {
    table_.Modify(index, [](DocumentRecord& r) {
        if (r.status == static_cast<int32_t>(DocumentStatus::Changed))
            r.status = static_cast<int32_t>(DocumentStatus::Checked);
    });
    engine_->CheckSelected({index});
    EXPECT_TRUE(engine_->WaitIdle(std::chrono::seconds(60)));
    store_.FlushPendingWrites();  // as anything that reads the files of a document does
    return table_.Get(index);
}

DocumentStatus EngineTest::StatusOf(size_t index) {
    return static_cast<DocumentStatus>(table_.Get(index).status);
}

std::string EngineTest::Content(const std::string& name) {
    return ReadBytes(store_.ContentFile(name));
}

bool EngineTest::HasContent(const std::string& name) {
    return std::filesystem::exists(store_.ContentFile(name));
}

std::vector<std::string> EngineTest::TempFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(data_))
        if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename());
    return names;
}

std::string EngineTest::MailQueue() {
    return ReadBytes(data_ / kMailQueueFile);
}

HttpPeer::HttpPeer(const std::string& cert, const std::string& key) {
    std::vector<std::string> argv = {Python(), TestFile("monitor/engine/http_peer.py"),
                                     root_.path().string()};
    if (!cert.empty()) argv.insert(argv.end(), {cert, key});
    process_ = std::make_unique<PeerProcess>(argv);
}

std::string HttpPeer::Url(const std::string& page, const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(process_->port()) + "/" + page;
}

void HttpPeer::SetPage(const std::string& page, const std::string& body, const std::string& meta) {
    WriteBytes(root_.path() / page, body);
    auto metaFile = root_.path() / (page + ".meta");
    if (meta.empty())
        std::filesystem::remove(metaFile);
    else
        WriteBytes(metaFile, meta);
}

std::string HttpPeer::Read(const std::string& file) const {
    return std::filesystem::exists(root_.path() / file) ? ReadBytes(root_.path() / file) : "";
}

size_t HttpPeer::Hits(const std::string& page) const {
    std::ifstream log(root_.path() / "hits");
    size_t hits = 0;
    for (std::string line; std::getline(log, line);)
        if (line == page) ++hits;
    return hits;
}

size_t HttpPeer::Connections() const {
    std::string log = Read("connections");
    return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
}

std::vector<std::string> HttpPeer::TakeConditions() {
    std::vector<std::string> lines;
    std::istringstream log(Read("conditions"));
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    std::filesystem::remove(root_.path() / "conditions");
    return lines;
}

}  // namespace wardlet::test
