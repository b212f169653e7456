#pragma once
// What the host publishes to packages: its services object and the wizard registration call.
// This library is shared between the host and the packages it loads, so both see one copy.
#include <functional>
#include <stdexcept>

#include "platform/rtl/Error.h"
#include "platform/toolsapi/ToolsAPI.h"

namespace zandrel::toolsapi {

// A service query that failed ("Interface not supported").
class EIntfCastError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// The host's services; empty outside a host.
ComPtr<IIDEServices> IDEServices();
void SetIDEServices(ComPtr<IIDEServices> services);

// Queries IDEServices for I, raising EIntfCastError when it is missing or lacks I.
template <class I>
ComPtr<I> QueryService() {
    ComPtr<I> service = ComPtr<I>::Query(IDEServices());
    if (!service) throw EIntfCastError("Interface not supported");
    return service;
}

// Hands a wizard to the host, which keeps it, lists its menu text and runs it when chosen.
void RegisterPackageWizard(const ComPtr<IOTAWizard>& wizard);
using WizardRegistrar = std::function<void(const ComPtr<IOTAWizard>&)>;
void SetPackageWizardRegistrar(WizardRegistrar registrar);

} // namespace zandrel::toolsapi
