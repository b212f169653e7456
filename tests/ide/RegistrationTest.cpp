#include "ide/Registration.h"

#include <gtest/gtest.h>

#include "host/HostServices.h"
#include "platform/toolsapi/Services.h"

namespace zandrel::ide {
namespace {

using toolsapi::ComPtr;

// A host whose services lack the project tree service, counting what the package asks of it.
class BareServices : public toolsapi::TInterfacedObject, public virtual toolsapi::IIDEServices {
public:
    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override {
        ++queries;
        if (iid == IIDEServices::IID) return Answer(static_cast<IIDEServices*>(this), object);
        return TInterfacedObject::QueryInterface(iid, object);
    }
    int queries = 0;
};

TEST(Registration, RegistersTheCreatorAndTheWizardAndRemovesTheCreatorOnUnload) {
    ComPtr<host::THostServices> services(new host::THostServices);
    host::ServicesScope scope(services);
    InitializeModule();
    EXPECT_EQ(FNotifierIndex, -1);
    Register();
    EXPECT_GE(FNotifierIndex, 0);
    EXPECT_EQ(services->CreatorCount(), 1);
    ASSERT_EQ(services->Wizards().size(), 1u);
    const auto& wizard = services->Wizards()[0];
    EXPECT_EQ(wizard->GetIDString(), "Quillon.ZandrelOptions");
    EXPECT_EQ(wizard->GetName(), "Zandrel Options");
    EXPECT_EQ(wizard->GetState(), toolsapi::wsEnabled);
    EXPECT_EQ(host::THostServices::MenuTextOf(wizard), "Zandrel Options");
    FinalizeModule();
    EXPECT_EQ(services->CreatorCount(), 0);
    EXPECT_EQ(services->Wizards().size(), 1u) << "the package does not unregister its wizard";
    services->ClearWizards();
}

TEST(Registration, UnloadAfterAFailedRegistrationRemovesNothing) {
    ComPtr<BareServices> services(new BareServices);
    toolsapi::SetIDEServices(ComPtr<toolsapi::IIDEServices>(services));
    int wizards = 0;
    toolsapi::SetPackageWizardRegistrar([&](const ComPtr<toolsapi::IOTAWizard>&) { ++wizards; });
    InitializeModule();
    EXPECT_THROW(Register(), toolsapi::EIntfCastError);
    EXPECT_EQ(FNotifierIndex, -1);
    EXPECT_EQ(wizards, 0);
    const int queriesBefore = services->queries;
    FinalizeModule();
    EXPECT_EQ(services->queries, queriesBefore) << "no removal was asked for";
    toolsapi::SetPackageWizardRegistrar(nullptr);
    toolsapi::SetIDEServices(nullptr);
}

} // namespace
} // namespace zandrel::ide
