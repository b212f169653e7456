#include "webcopy/CopyThread.h"

#include <thread>
#include <utility>

#include "platform/ui/Application.h"
#include "webcopy/WebCopyInternals.h"

namespace zandrel::webcopy {

TWCopyThread::TWCopyThread(TZandrelWebCopy& Component) : ZandrelWebCopy(WebCopyInternals::Of(Component).threadLink) {
    std::thread([this] { Execute(); }).detach();
}

void TWCopyThread::Execute() {
    const std::shared_ptr<CopyThreadLink> link = ZandrelWebCopy;
    std::exception_ptr error;
    try {
        ui::Synchronize([&link] {
            if (link->component) link->component->DoCopy();
        });
    } catch (...) {
        // The run's exception belongs to whoever waits for it on the UI thread.
        error = std::current_exception();
    }
    try {
        ui::Synchronize([&] {
            if (TZandrelWebCopy* component = link->component) {
                WebCopyInternals::Of(*component).threadError = error;
                component->ThreadDone(*this);
            }
        });
    } catch (...) {
        // Nothing is left to tell: the component is gone or the UI refused the hand-over.
    }
    delete this;
}

void TZandrelWebCopy::ThreadExecute() { new TWCopyThread(*this); }

void TZandrelWebCopy::ThreadDone(TWCopyThread&) { d->copyCompleted = true; }

void TZandrelWebCopy::ThreadExecAndWait() {
    d->copyCompleted = false;
    d->threadError = nullptr;
    ThreadExecute();
    while (!d->copyCompleted) ui::ProcessMessages();
    if (d->threadError) std::rethrow_exception(std::exchange(d->threadError, nullptr));
}

} // namespace zandrel::webcopy
