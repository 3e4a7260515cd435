// The seven exports, compiled into this test from src/module/exports.cpp.
#include <atomic>

#include <gtest/gtest.h>

#include "effect/AAX_VHostWrappers.h"
#include "interfaces/aax_host.h"
#include "interfaces/aax_ids.h"
#include "module/CACFUnknown.h"
#include "module/ModuleState.h"

extern "C" {
ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition);
ACFRESULT ACFRegisterComponent(IACFUnknown* host, const acfCLSID& componentID,
                               IACFUnknown** outComponentDefinition);
ACFRESULT ACFGetClassFactory(IACFUnknown* host, const acfCLSID& classID, const acfIID& iid, void** outFactory);
ACFRESULT ACFCanUnloadNow(IACFUnknown* host);
ACFRESULT ACFStartup(IACFUnknown* host);
ACFRESULT ACFShutdown(IACFUnknown* host);
ACFRESULT ACFGetSDKVersion(acfUInt64* outVersion);
}

namespace {

// What the test definition of the registration function saw and answers.
struct RegistrationScript {
    IACFUnknown* host = nullptr;
    IACFPluginDefinition** out = nullptr;
    int calls = 0;
    ACFRESULT result = ACF_OK;
    bool throwInstead = false;
} registration;

}  // namespace

// Stands in for the description library's registration.
ACFRESULT AAXWrapper_RegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition) {
    ++registration.calls;
    registration.host = host;
    registration.out = outDefinition;
    if (registration.throwInstead) throw 7;
    return registration.result;
}

namespace {

// A reference-counted object of the fake host, counting its references.
template <class Interface>
class CountedObject : public Interface {
public:
    acfUInt32 AddRef() override { return static_cast<acfUInt32>(++references); }
    acfUInt32 Release() override { return static_cast<acfUInt32>(--references); }
    std::atomic<int32_t> references{0};
};

class FakeHostServices : public CountedObject<AAX_IACFHostServices> {
public:
    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IACFUnknown || iid == IID_IAAXHostServicesV1) {
            *out = static_cast<AAX_IACFHostServices*>(this);
            AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }
    // Gives the reference back, then throws when told to.
    acfUInt32 Release() override {
        const acfUInt32 left = CountedObject::Release();
        if (throwOnRelease) throw 7;
        return left;
    }
    AAX_Result HandleAssertFailure(const char*, int32_t, const char*) const override { return AAX_SUCCESS; }
    AAX_Result Trace(int32_t, const char*) const override { return AAX_SUCCESS; }

    bool throwOnRelease = false;
};

// A host that offers its component factory, which creates the host-services component.
class FakeHost : public CountedObject<IACFComponentFactory> {
public:
    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        if (throwOnQuery) throw 7;
        *out = nullptr;
        if (iid == IID_IACFUnknown || iid == IID_IACFComponentFactory) {
            *out = static_cast<IACFComponentFactory*>(this);
            AddRef();
            return ACF_OK;
        }
        return ACF_E_NOINTERFACE;
    }
    ACFRESULT CreateComponent(const acfCLSID& clsid, IACFUnknown*, const acfIID& iid, void** out) override {
        *out = nullptr;
        if (clsid != AAXCompID_HostServices) return ACF_E_NOINTERFACE;
        ++hostServicesCreated;
        return services.QueryInterface(iid, out);
    }

    FakeHostServices services;
    int hostServicesCreated = 0;
    bool throwOnQuery = false;
};

// Every test starts and ends without host services; a test that creates them on a host of its own
// shuts down before that host goes out of scope.
class ModuleExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ModuleHostServices(), nullptr);
        registration = RegistrationScript{};
    }
    void TearDown() override {
        ACFShutdown(nullptr);
        EXPECT_EQ(ModuleHostServices(), nullptr);
    }
};

class LiveComponent : public IACFUnknown, public CACFUnknown {
public:
    ACFRESULT QueryInterface(const acfIID& iid, void** out) override {
        return GetOuterUnknown()->QueryInterface(iid, out);
    }
    acfUInt32 AddRef() override { return GetOuterUnknown()->AddRef(); }
    acfUInt32 Release() override { return GetOuterUnknown()->Release(); }
};

TEST_F(ModuleExports, ReportTheSdkVersionAndOfferNoClassFactoryOrComponents) {
    acfUInt64 version = 0;
    EXPECT_EQ(ACFGetSDKVersion(&version), ACF_OK);
    EXPECT_EQ(version, 0x000002000061125CULL);
    EXPECT_EQ(ACFGetSDKVersion(nullptr), AAX_ERROR_NULL_OBJECT);

    int sentinel = 0;
    void* factory = &sentinel;
    EXPECT_EQ(ACFGetClassFactory(nullptr, AAXCompID_HostServices, IID_IACFUnknown, &factory),
              AAX_ERROR_UNIMPLEMENTED);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(ACFGetClassFactory(nullptr, AAXCompID_HostServices, IID_IACFUnknown, nullptr),
              AAX_ERROR_UNIMPLEMENTED);

    IACFUnknown* definition = reinterpret_cast<IACFUnknown*>(&sentinel);
    EXPECT_EQ(ACFRegisterComponent(nullptr, AAXCompID_EffectDescriptor, &definition), ACF_OK);
    EXPECT_EQ(definition, nullptr);
    EXPECT_EQ(ACFRegisterComponent(nullptr, AAXCompID_EffectDescriptor, nullptr), ACF_OK);
}

TEST_F(ModuleExports, CanUnloadOnlyWhenNoComponentIsAlive) {
    const int32_t before = ACFCanUnloadNow(nullptr);
    ASSERT_EQ(before, 0) << "a component leaked from another test";
    IACFUnknown* first = new LiveComponent;
    IACFUnknown* second = new LiveComponent;
    first->AddRef();
    second->AddRef();
    EXPECT_EQ(ACFCanUnloadNow(nullptr), 2);
    first->Release();
    EXPECT_EQ(ACFCanUnloadNow(nullptr), 1);
    second->Release();
    EXPECT_EQ(ACFCanUnloadNow(nullptr), 0);
}

TEST_F(ModuleExports, ShutdownWithoutStartupDoesNothing) {
    EXPECT_EQ(ACFShutdown(nullptr), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), nullptr);
    EXPECT_EQ(ACFShutdown(nullptr), ACF_OK);
}

TEST_F(ModuleExports, StartupCreatesHostServicesOnceAndShutdownReleasesThem) {
    FakeHost host;
    EXPECT_EQ(ACFStartup(&host), ACF_OK);
    AAX_VHostServices* services = ModuleHostServices();
    ASSERT_NE(services, nullptr);
    EXPECT_TRUE(services->IsValid());
    EXPECT_EQ(host.hostServicesCreated, 1);
    EXPECT_GT(host.services.references.load(), 0);

    // A second startup with a host keeps the existing object.
    FakeHost otherHost;
    EXPECT_EQ(ACFStartup(&otherHost), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), services);
    EXPECT_EQ(otherHost.hostServicesCreated, 0);
    EXPECT_EQ(ACFStartup(&host), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), services);
    EXPECT_EQ(host.hostServicesCreated, 1);

    EXPECT_EQ(ACFShutdown(&host), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), nullptr);
    EXPECT_EQ(host.services.references.load(), 0);
    EXPECT_EQ(host.references.load(), 0);
}

TEST_F(ModuleExports, StartupWithoutAHostDestroysTheHostServices) {
    FakeHost host;
    EXPECT_EQ(ACFStartup(nullptr), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), nullptr);

    ASSERT_EQ(ACFStartup(&host), ACF_OK);
    ASSERT_NE(ModuleHostServices(), nullptr);
    EXPECT_EQ(ACFStartup(nullptr), ACF_OK);
    EXPECT_EQ(ModuleHostServices(), nullptr);
    EXPECT_EQ(host.services.references.load(), 0);

    // After that a host may start the module again.
    EXPECT_EQ(ACFStartup(&host), ACF_OK);
    EXPECT_NE(ModuleHostServices(), nullptr);
    EXPECT_EQ(host.hostServicesCreated, 2);
    EXPECT_EQ(ACFShutdown(nullptr), ACF_OK);  // before the host goes away
    EXPECT_EQ(host.services.references.load(), 0);
}

TEST_F(ModuleExports, StartupAndShutdownAnswerUnexpectedWhenTheHostThrows) {
    FakeHost throwing;
    throwing.throwOnQuery = true;
    EXPECT_EQ(ACFStartup(&throwing), ACF_E_UNEXPECTED);
    EXPECT_EQ(ModuleHostServices(), nullptr);

    // The host-services component throws as it is given back: by shutdown, and by a startup
    // without a host.
    FakeHost host;
    for (const bool byShutdown : {true, false}) {
        SCOPED_TRACE(byShutdown ? "shutdown" : "startup without a host");
        host.services.throwOnRelease = false;
        ASSERT_EQ(ACFStartup(&host), ACF_OK);
        host.services.throwOnRelease = true;
        EXPECT_EQ(byShutdown ? ACFShutdown(&host) : ACFStartup(nullptr), ACF_E_UNEXPECTED);
        EXPECT_EQ(ModuleHostServices(), nullptr);
        EXPECT_EQ(host.services.references.load(), 0);
    }
}

TEST_F(ModuleExports, RegistrationPassesThroughAndStopsExceptions) {
    FakeHost host;
    IACFPluginDefinition* definition = nullptr;
    registration.result = AAX_ERROR_NULL_OBJECT;
    EXPECT_EQ(ACFRegisterPlugin(&host, &definition), AAX_ERROR_NULL_OBJECT);
    EXPECT_EQ(registration.calls, 1);
    EXPECT_EQ(registration.host, &host);
    EXPECT_EQ(registration.out, &definition);

    registration.result = ACF_OK;
    EXPECT_EQ(ACFRegisterPlugin(&host, &definition), ACF_OK);

    registration.throwInstead = true;
    EXPECT_EQ(ACFRegisterPlugin(&host, &definition), ACF_E_UNEXPECTED);
    EXPECT_EQ(registration.calls, 3);
}

}  // namespace
