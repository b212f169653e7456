#include "webcopy/CopyThread.h"

#include <thread>
#include <utility>

#include "platform/ui/Application.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {

TWCopyThread::TWCopyThread(TZandrelWebCopy& Component) : ZandrelWebCopy(Component.FThreadLink) {
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
                component->FThreadError = error;
                component->ThreadDone(*this);
            }
        });
    } catch (...) {
        // Nothing is left to tell: the component is gone or the UI refused the hand-over.
    }
    delete this;
}

void TZandrelWebCopy::ThreadExecute() { new TWCopyThread(*this); }

void TZandrelWebCopy::ThreadDone(TWCopyThread&) { FCopyCompleted = true; }

void TZandrelWebCopy::ThreadExecAndWait() {
    FCopyCompleted = false;
    FThreadError = nullptr;
    ThreadExecute();
    while (!FCopyCompleted) ui::ProcessMessages();
    if (FThreadError) std::rethrow_exception(std::exchange(FThreadError, nullptr));
}

} // namespace zandrel::webcopy
