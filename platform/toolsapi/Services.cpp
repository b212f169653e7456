#include "platform/toolsapi/Services.h"

namespace zandrel::toolsapi {
namespace {

ComPtr<IBorlandIDEServices>& services() {
    static ComPtr<IBorlandIDEServices> s;
    return s;
}

WizardRegistrar& registrar() {
    static WizardRegistrar r;
    return r;
}

} // namespace

ComPtr<IBorlandIDEServices> BorlandIDEServices() { return services(); }
void SetBorlandIDEServices(ComPtr<IBorlandIDEServices> s) { services() = std::move(s); }

void RegisterPackageWizard(const ComPtr<IOTAWizard>& wizard) {
    if (!registrar()) throw rtl::Error("no host accepts wizards");
    registrar()(wizard);
}

void SetPackageWizardRegistrar(WizardRegistrar r) { registrar() = std::move(r); }

} // namespace zandrel::toolsapi
