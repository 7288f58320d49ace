#pragma once

#include <QWidget>

#include "monitor/app/shell_interfaces.h"

namespace wardlet {

// Copies on a thread of their own while this thread's events go on (the list keeps updating,
// checks waiting for a row update go on). After kCopyProgressDelay an application-modal
// "copyProgressDialog" shows how far the copy is; its Cancel stops it. A quit of the event loop
// meanwhile cancels the copy too.
class QtBackgroundCopies : public BackgroundCopies {
public:
    explicit QtBackgroundCopies(QWidget* parent) : parent_(parent) {}
    CopyOutcome Run(std::string_view caption, CopyWork work) override;

private:
    QWidget* parent_;
};

}  // namespace wardlet
