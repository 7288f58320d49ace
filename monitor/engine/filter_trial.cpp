#include "monitor/engine/filter_trial.h"

#include "monitor/changes/document_text.h"

namespace wardlet {

FilterTrial TryFilters(std::string_view location, bool useAccount, std::string_view userName,
                       std::string_view password, const DocumentFilters& filters,
                       const TransferLimits& limits, const std::atomic<bool>& stop) {
    FilterTrial trial;
    std::unique_ptr<PageFilter> filter = PageFilter::Compile(filters, trial.problem);
    if (!filter) {
        trial.outcome = FilterTrial::Outcome::Refused;
        return trial;
    }
    TransferRequest request;
    request.url = WebUrl(location);
    request.useAccount = useAccount;
    request.userName = userName;
    request.password = password;
    std::string body;
    TransferAnswer answer;
    TransferSession session;
    TransferOutcome outcome = session.Run(
        request,
        [&](const char* data, size_t size) {
            body.append(data, size);
            return true;
        },
        limits, stop, &trial.problem, &answer);
    if (outcome == TransferOutcome::HttpError && trial.problem.empty())
        trial.problem = "the server answered with an error status";
    if (outcome == TransferOutcome::TooLarge) trial.problem = "the document is too large";
    if (outcome == TransferOutcome::Stopped) trial.problem = "stopped";
    if (outcome != TransferOutcome::Done) {
        if (trial.problem.empty()) trial.problem = "the document could not be fetched";
        trial.problem = "Cannot fetch " + request.url + ": " + trial.problem + ".";
        return trial;
    }
    trial.result = filter->Apply(body, CharsetOfContentType(answer.contentType), true);
    trial.outcome =
        trial.result.ok ? FilterTrial::Outcome::Compared : FilterTrial::Outcome::FilteredOut;
    if (!trial.result.ok) trial.problem = trial.result.reason;
    return trial;
}

}  // namespace wardlet
