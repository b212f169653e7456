#include "platform/toolsapi/Services.h"

namespace zandrel::toolsapi {
namespace {

ComPtr<IIDEServices>& services() {
    static ComPtr<IIDEServices> s;
    return s;
}

WizardRegistrar& registrar() {
    static WizardRegistrar r;
    return r;
}

} // namespace

ComPtr<IIDEServices> IDEServices() { return services(); }
void SetIDEServices(ComPtr<IIDEServices> s) { services() = std::move(s); }

void RegisterPackageWizard(const ComPtr<IOTAWizard>& wizard) {
    if (!registrar()) throw rtl::Error("no host accepts wizards");
    registrar()(wizard);
}

void SetPackageWizardRegistrar(WizardRegistrar r) { registrar() = std::move(r); }

} // namespace zandrel::toolsapi
