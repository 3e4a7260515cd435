#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "params/AAX_CParameterManager.h"
#include "support/RecordingAutomationDelegate.h"
#include "allocation_counter.h"

using ::testing::ElementsAre;
using testsupport::AutomationCall;
using testsupport::RecordingAutomationDelegate;

namespace {

// A real float parameter that also logs its destruction and counts delegate hand-overs.
class ProbeParameter : public AAX_CParameter<float> {
public:
    ProbeParameter(const char* id, std::vector<std::string>* destroyed)
        : AAX_CParameter<float>(id, AAX_CString(id), 0.0f, AAX_CLinearTaperDelegate<float>(0.0f, 1.0f),
                                AAX_CNumberDisplayDelegate<float>(), true),
          mDestroyed(destroyed) {}
    ~ProbeParameter() override {
        if (mDestroyed != nullptr) mDestroyed->push_back(Identifier());
    }
    void SetAutomationDelegate(AAX_IAutomationDelegate* automationDelegate) noexcept override {
        ++delegateHandOvers;
        AAX_CParameter<float>::SetAutomationDelegate(automationDelegate);
    }

    int delegateHandOvers = 0;

private:
    std::vector<std::string>* mDestroyed;
};

AutomationCall Call(const char* operation, const char* id) { return AutomationCall{operation, id, 0.0}; }

}  // namespace

TEST(ParameterManager, KeepsInsertionOrderAndFindsById) {
    AAX_CParameterManager manager;
    auto* b = new ProbeParameter("b", nullptr);
    auto* a = new ProbeParameter("a", nullptr);
    auto* c = new ProbeParameter("c", nullptr);
    ASSERT_TRUE(manager.AddParameter(b));
    ASSERT_TRUE(manager.AddParameter(a));
    ASSERT_TRUE(manager.AddParameter(c));

    EXPECT_EQ(manager.NumParameters(), 3);
    EXPECT_EQ(manager.GetParameter(0), b);
    EXPECT_EQ(manager.GetParameter(1), a);
    EXPECT_EQ(manager.GetParameter(2), c);
    EXPECT_EQ(manager.GetParameter(3), nullptr);
    EXPECT_EQ(manager.GetParameter(-1), nullptr);

    EXPECT_EQ(manager.GetParameterIndex("a"), 1);
    EXPECT_EQ(manager.GetParameterIndex("b"), 0);
    EXPECT_EQ(manager.GetParameterIndex("c"), 2);
    EXPECT_EQ(manager.GetParameterIndex("d"), -1);
    EXPECT_EQ(manager.GetParameterIndex(nullptr), -1);

    EXPECT_EQ(manager.GetParameterByID("a"), a);
    EXPECT_EQ(manager.GetParameterByID("c"), c);
    EXPECT_EQ(manager.GetParameterByID("d"), nullptr);
    EXPECT_EQ(manager.GetParameterByID(nullptr), nullptr);
}

TEST(ParameterManager, RefusesDuplicateIdentifiersAndLeavesThemWithTheCaller) {
    RecordingAutomationDelegate host;
    AAX_CParameterManager manager;
    manager.Initialize(&host);

    auto* first = new ProbeParameter("gain", nullptr);
    ASSERT_TRUE(manager.AddParameter(first));
    std::vector<std::string> destroyed;
    auto second = std::make_unique<ProbeParameter>("gain", &destroyed);
    EXPECT_FALSE(manager.AddParameter(second.get()));

    EXPECT_EQ(manager.NumParameters(), 1);
    EXPECT_EQ(manager.GetParameterByID("gain"), first);
    EXPECT_EQ(second->delegateHandOvers, 0);
    EXPECT_EQ(first->delegateHandOvers, 1);
    EXPECT_THAT(host.Calls(), ElementsAre(Call("RegisterParameter", "gain")));

    // Identifiers differing only after the 31st character are the same identifier.
    const std::string prefix(31, 'p');
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter((prefix + "one").c_str(), nullptr)));
    auto clash = std::make_unique<ProbeParameter>((prefix + "two").c_str(), nullptr);
    EXPECT_FALSE(manager.AddParameter(clash.get()));
    EXPECT_NE(manager.GetParameterByID(prefix.c_str()), nullptr);
    EXPECT_EQ(manager.GetParameterByID((prefix + "one").c_str()), nullptr);
    EXPECT_EQ(manager.GetParameterIndex(prefix.c_str()), 1);

    EXPECT_FALSE(manager.AddParameter(nullptr));
    EXPECT_EQ(manager.NumParameters(), 2);

    manager.RemoveAllParameters();
    EXPECT_TRUE(destroyed.empty());  // the refused parameter was not deleted by the manager
    EXPECT_EQ(second->delegateHandOvers, 0);
}

TEST(ParameterManager, LooksUpIdentifiersExactlyByteForByte) {
    AAX_CParameterManager manager;
    std::vector<AAX_IParameter*> added;
    for (const char* id : {"Gain", "gain", "a", "ab", "\xC3\xA9t\xC3\xA9", ""}) {
        added.push_back(new ProbeParameter(id, nullptr));
        ASSERT_TRUE(manager.AddParameter(added.back())) << id;
    }
    AAX_IParameter* upper = added[0];
    AAX_IParameter* lower = added[1];
    AAX_IParameter* shortId = added[2];
    AAX_IParameter* longer = added[3];
    AAX_IParameter* highBytes = added[4];
    AAX_IParameter* empty = added[5];

    EXPECT_EQ(manager.GetParameterByID("Gain"), upper);
    EXPECT_EQ(manager.GetParameterByID("gain"), lower);
    EXPECT_EQ(manager.GetParameterByID("GAIN"), nullptr);
    EXPECT_EQ(manager.GetParameterIndex("GAIN"), -1);
    EXPECT_EQ(manager.GetParameterByID("Gai"), nullptr);
    EXPECT_EQ(manager.GetParameterByID("Gain "), nullptr);
    EXPECT_EQ(manager.GetParameterByID("a"), shortId);
    EXPECT_EQ(manager.GetParameterByID("ab"), longer);
    EXPECT_EQ(manager.GetParameterByID("\xC3\xA9t\xC3\xA9"), highBytes);
    EXPECT_EQ(manager.GetParameterIndex("\xC3\xA9t\xC3\xA9"), 4);
    EXPECT_EQ(manager.GetParameterByID(""), empty);
    EXPECT_EQ(manager.GetParameterIndex(""), 5);
}

TEST(ParameterManager, RegistersOnAddAndUnregistersInIndexOrderOnRemoval) {
    RecordingAutomationDelegate host;
    std::vector<std::string> destroyed;
    AAX_CParameterManager manager;
    manager.Initialize(&host);
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter("z", &destroyed)));
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter("x", &destroyed)));
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter("y", &destroyed)));
    EXPECT_THAT(host.Calls(), ElementsAre(Call("RegisterParameter", "z"), Call("RegisterParameter", "x"),
                                          Call("RegisterParameter", "y")));

    host.ClearCalls();
    manager.RemoveAllParameters();
    EXPECT_THAT(host.Calls(), ElementsAre(Call("UnregisterParameter", "z"), Call("UnregisterParameter", "x"),
                                          Call("UnregisterParameter", "y")));
    EXPECT_THAT(destroyed, ElementsAre("z", "x", "y"));
    EXPECT_EQ(manager.NumParameters(), 0);
    EXPECT_EQ(manager.GetParameter(0), nullptr);
    EXPECT_EQ(manager.GetParameterByID("x"), nullptr);
    EXPECT_EQ(manager.GetParameterIndex("x"), -1);

    // The same identifiers can be added again afterwards.
    EXPECT_TRUE(manager.AddParameter(new ProbeParameter("x", nullptr)));
    EXPECT_EQ(manager.GetParameterIndex("x"), 0);
}

TEST(ParameterManager, InitializeAffectsOnlyLaterAdditions) {
    RecordingAutomationDelegate host;
    AAX_CParameterManager manager;
    auto* early = new ProbeParameter("early", nullptr);
    ASSERT_TRUE(manager.AddParameter(early));
    EXPECT_EQ(early->delegateHandOvers, 1);  // handed the (null) delegate
    manager.Initialize(&host);
    auto* late = new ProbeParameter("late", nullptr);
    ASSERT_TRUE(manager.AddParameter(late));
    EXPECT_THAT(host.Calls(), ElementsAre(Call("RegisterParameter", "late")));
    EXPECT_EQ(early->delegateHandOvers, 1);

    host.ClearCalls();
    early->SetNormalizedValue(0.5);  // no delegate: stored at once, nothing reported
    EXPECT_TRUE(host.Calls().empty());
    float value = 0.0f;
    ASSERT_TRUE(early->GetValueAsFloat(&value));
    EXPECT_FLOAT_EQ(value, 0.5f);

    manager.RemoveAllParameters();
    EXPECT_THAT(host.Calls(), ElementsAre(Call("UnregisterParameter", "late")));
}

TEST(ParameterManager, DestructionDeletesRemainingParametersInIndexOrder) {
    RecordingAutomationDelegate host;
    std::vector<std::string> destroyed;
    {
        AAX_CParameterManager manager;
        manager.Initialize(&host);
        ASSERT_TRUE(manager.AddParameter(new ProbeParameter("second", &destroyed)));
        ASSERT_TRUE(manager.AddParameter(new ProbeParameter("first", &destroyed)));
        host.ClearCalls();
    }
    EXPECT_THAT(destroyed, ElementsAre("second", "first"));
    EXPECT_THAT(host.Operations(), ElementsAre("UnregisterParameter", "UnregisterParameter"));
}

TEST(ParameterManager, HostCallingBackDuringRemovalFindsNothing) {
    // A host may answer an unregister by querying the data model; it must not reach a
    // parameter that is being destroyed.
    class QueryingHost : public RecordingAutomationDelegate {
    public:
        AAX_Result UnregisterParameter(AAX_CParamID id) override {
            RecordingAutomationDelegate::UnregisterParameter(id);
            found.push_back(manager->GetParameterByID("one") != nullptr ||
                            manager->GetParameterByID("two") != nullptr ||
                            manager->GetParameterIndex("one") >= 0 || manager->NumParameters() != 0 ||
                            manager->GetParameter(0) != nullptr);
            return AAX_SUCCESS;
        }
        AAX_CParameterManager* manager = nullptr;
        std::vector<bool> found;
    };

    QueryingHost host;
    AAX_CParameterManager manager;
    host.manager = &manager;
    manager.Initialize(&host);
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter("one", nullptr)));
    ASSERT_TRUE(manager.AddParameter(new ProbeParameter("two", nullptr)));
    manager.RemoveAllParameters();
    EXPECT_THAT(host.found, ElementsAre(false, false));
}

TEST(ParameterManager, LookupsAllocateNothing) {
    AAX_CParameterManager manager;
    for (const char* id : {"delay", "feedback", "mix", "tone", "width"}) {
        ASSERT_TRUE(manager.AddParameter(new ProbeParameter(id, nullptr)));
    }
    const std::string absent(64, 'q');  // longer than any small-string buffer

    allocation_counter::Start();
    AAX_IParameter* byId = manager.GetParameterByID("tone");
    AAX_IParameter* missing = manager.GetParameterByID(absent.c_str());
    const int32_t index = manager.GetParameterIndex("width");
    AAX_IParameter* byIndex = manager.GetParameter(index);
    const int32_t count = manager.NumParameters();
    const int lookupAllocations = allocation_counter::Stop();

    EXPECT_EQ(lookupAllocations, 0);
    EXPECT_NE(byId, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(byIndex, manager.GetParameterByID("width"));
    EXPECT_EQ(count, 5);

    // The counter itself works: copying a text too long for an inline buffer allocates.
    allocation_counter::Start();
    const AAX_CString copy(absent.c_str());
    EXPECT_GE(allocation_counter::Stop(), 1);
    EXPECT_EQ(copy.Length(), 64u);
}
