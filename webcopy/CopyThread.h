#pragma once
// The worker thread of ThreadExecute. It never touches the component's data itself: it hands the
// run to the UI thread (the UI port's Synchronize) and waits there, then hands over the
// termination step the same way. It frees itself when it ends.
#include <exception>
#include <memory>

namespace zandrel::webcopy {

class TZandrelWebCopy;

// What a worker thread holds of its component. Read and cleared on the UI thread only (inside
// synchronized work and in the component's destructor), so a component freed while its thread
// still waits to hand the run over is never reached.
struct CopyThreadLink {
    explicit CopyThreadLink(TZandrelWebCopy* Component) : component(Component) {}
    void Detach() { component = nullptr; }
    TZandrelWebCopy* component;
};

class TWCopyThread {
public:
    // Starts the thread at once; the object deletes itself when the thread ends.
    explicit TWCopyThread(TZandrelWebCopy& Component);
    TWCopyThread(const TWCopyThread&) = delete;
    TWCopyThread& operator=(const TWCopyThread&) = delete;

    std::shared_ptr<CopyThreadLink> ZandrelWebCopy;

private:
    ~TWCopyThread() = default;
    void Execute();
};

} // namespace zandrel::webcopy
