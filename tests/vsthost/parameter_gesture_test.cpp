// The effect's parameter gestures and display updates, through the real parameter manager and
// parameters, with a recording automation delegate standing in for the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host_fakes.h"
#include "params/AAX_CBinaryDisplayDelegate.h"
#include "params/AAX_CBinaryTaperDelegate.h"
#include "params/AAX_CLinearTaperDelegate.h"
#include "params/AAX_CNumberDisplayDelegate.h"
#include "params/AAX_CParameter.h"
#include "params/AAX_CParameterManager.h"
#include "support/RecordingAutomationDelegate.h"
#include "support/RecordingEffect.h"
#include "vsthost/VstCallBack.h"

namespace {

AAX_IParameter* MakeFloatParameter(const char* id) {
    return new AAX_CParameter<float>(id, AAX_CString(id), 0.0f, AAX_CLinearTaperDelegate<float, 0>(0.0f, 1.0f),
                                     AAX_CNumberDisplayDelegate<float, 2, 0>(), true);
}

AAX_IParameter* MakeBypassParameter() {
    return new AAX_CParameter<bool>("", AAX_CString("Master Bypass"), false, AAX_CBinaryTaperDelegate<bool>(),
                                    AAX_CBinaryDisplayDelegate<bool>("bypass", "on"), true);
}

class ParameterGestures : public ::testing::Test {
protected:
    ParameterGestures() : callBack(nullptr) {
        effect.AttachHost(&VstCallBack::HostCallback);
        effect.effect()->user = &callBack;
        effect.SetNumParams(3);
        effect.SetParameterId(0, "Time");
        effect.SetParameterId(1, "Feedback");
        effect.SetParameterId(2, "Mix");
        manager.Initialize(&delegate);
        manager.AddParameter(MakeBypassParameter());
        manager.AddParameter(MakeFloatParameter("Time"));
        manager.AddParameter(MakeFloatParameter("Feedback"));
        callBack.parameterManager = &manager;
        // As the data model mirrors them: effect indices 0 and 1, "Mix" (2) without a parameter.
        callBack.PrepareMirrors(3);
        callBack.MirrorParameter(0, manager.GetParameterByID("Time"), 0.0f);
        callBack.MirrorParameter(1, manager.GetParameterByID("Feedback"), 0.0f);
        delegate.ClearCalls();
    }

    intptr_t Call(int32_t opcode, int32_t index, float opt = 0.0f) {
        return effect.CallHost({opcode, index, 0, nullptr, opt});
    }

    RecordingAutomationDelegate delegate;
    AAX_CParameterManager manager;
    RecordingEffect effect;
    VstCallBack callBack;
};

}  // namespace

TEST_F(ParameterGestures, EditGestureBecomesTouchValueRequestsAndRelease) {
    EXPECT_EQ(Call(vst2::audioMasterBeginEdit, 1), 0);
    EXPECT_EQ(Call(vst2::audioMasterAutomate, 1, 0.3f), 0);
    EXPECT_EQ(Call(vst2::audioMasterAutomate, 1, 0.6f), 0);
    EXPECT_EQ(Call(vst2::audioMasterEndEdit, 1), 0);

    const std::vector<std::string> expectedOperations = {
        "PostTouchRequest", "PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest",
        "PostTouchRequest", "PostSetValueRequest", "PostReleaseRequest", "PostReleaseRequest"};
    ASSERT_EQ(delegate.Operations(), expectedOperations);
    for (const AutomationCall& call : delegate.Calls()) EXPECT_EQ(call.identifier, "Feedback");
    EXPECT_NEAR(delegate.Calls()[2].value, 0.3, 1e-6);
    EXPECT_NEAR(delegate.Calls()[5].value, 0.6, 1e-6);

    // Each gesture first asked the calling effect for the identifier: index, value 0, a buffer
    // and the call's opt.
    const std::vector<RecordedCall> requests = effect.CallsWithOpcode(vst2::effPrivateGetParameterId);
    ASSERT_EQ(requests.size(), 4u);
    for (const RecordedCall& request : requests) {
        EXPECT_EQ(request.index, 1);
        EXPECT_EQ(request.value, 0);
        EXPECT_NE(request.ptr, nullptr);
    }
    EXPECT_EQ(requests[1].opt, 0.3f);
    EXPECT_EQ(requests[2].opt, 0.6f);
    // The stored value waits for the host's answer.
    EXPECT_EQ(manager.GetParameterByID("Feedback")->GetNormalizedValue(), 0.0);
}

TEST_F(ParameterGestures, IdentifierWithoutHostParameterChangesNothing) {
    EXPECT_EQ(Call(vst2::audioMasterBeginEdit, 2), 0);  // "Mix" has no host parameter
    EXPECT_EQ(Call(vst2::audioMasterAutomate, 2, 0.5f), 0);
    EXPECT_EQ(Call(vst2::audioMasterEndEdit, 2), 0);
    EXPECT_TRUE(delegate.Calls().empty());
    EXPECT_EQ(effect.CountOpcode(vst2::effPrivateGetParameterId), 3u);
}

TEST_F(ParameterGestures, IndexWithoutIdentifierNeverReachesTheMasterBypass) {
    // The effect writes nothing for index 7, leaving the empty identifier, which is the master
    // bypass's; a stale identifier from the previous request must not be reused either.
    Call(vst2::audioMasterAutomate, 0, 0.2f);
    delegate.ClearCalls();
    EXPECT_EQ(Call(vst2::audioMasterAutomate, 7, 1.0f), 0);
    EXPECT_EQ(Call(vst2::audioMasterBeginEdit, 7), 0);
    EXPECT_TRUE(delegate.Calls().empty());
}

TEST_F(ParameterGestures, WithoutParameterManagerOnlyTheIdentifierIsRequested) {
    callBack.parameterManager = nullptr;
    EXPECT_EQ(Call(vst2::audioMasterAutomate, 0, 0.4f), 0);
    EXPECT_EQ(effect.Opcodes(), std::vector<int32_t>{vst2::effPrivateGetParameterId});
    EXPECT_TRUE(delegate.Calls().empty());
}

TEST_F(ParameterGestures, DisplayUpdateAsksForEveryIdentifierInOrderAndTellsTheGui) {
    vsthost_test::RecordingGui gui;
    callBack.editorGui = &gui;
    EXPECT_EQ(Call(vst2::audioMasterUpdateDisplay, 0, 0.25f), 0);

    const std::vector<RecordedCall> requests = effect.CallsWithOpcode(vst2::effPrivateGetParameterId);
    ASSERT_EQ(requests.size(), 3u);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(requests[i].index, i);
        EXPECT_EQ(requests[i].value, 0);
        EXPECT_EQ(requests[i].opt, 0.25f);
    }
    EXPECT_EQ(gui.updated, (std::vector<std::string>{"Time", "Feedback", "Mix"}));
    EXPECT_TRUE(delegate.Calls().empty());

    // Once the GUI has unregistered, only the identifier requests remain.
    callBack.editorGui = nullptr;
    Call(vst2::audioMasterUpdateDisplay, 0);
    EXPECT_EQ(effect.CountOpcode(vst2::effPrivateGetParameterId), 6u);
    EXPECT_EQ(gui.updated.size(), 3u);
}

TEST_F(ParameterGestures, DisplayUpdateNeverPassesOnAStaleIdentifier) {
    RecordingEffect sparse;
    sparse.AttachHost(&VstCallBack::HostCallback);
    sparse.effect()->user = &callBack;
    sparse.SetNumParams(2);
    sparse.SetParameterId(0, "AVeryLongIdentifierText");
    vsthost_test::RecordingGui gui;
    callBack.editorGui = &gui;

    sparse.CallHost({vst2::audioMasterUpdateDisplay});
    EXPECT_EQ(gui.updated, (std::vector<std::string>{"AVeryLongIdentifierText", ""}));
}

namespace {

// An effect that fills every byte it is given for an identifier, with no terminator.
intptr_t FloodingDispatcher(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
    if (opcode == vst2::effPrivateGetParameterId && ptr != nullptr) {
        std::memset(ptr, 'A', VstCallBack::kParamIdBufferSize);
    }
    return 0;
}

}  // namespace

TEST_F(ParameterGestures, IdentifierFillingTheWholeBufferIsStillTerminated) {
    vst2::AEffect flooding{};
    flooding.dispatcher = &FloodingDispatcher;
    flooding.numParams = 1;
    flooding.user = &callBack;
    vsthost_test::RecordingGui gui;
    callBack.editorGui = &gui;

    EXPECT_EQ(VstCallBack::HostCallback(&flooding, vst2::audioMasterAutomate, 0, 0, nullptr, 0.5f), 0);
    EXPECT_TRUE(delegate.Calls().empty());

    VstCallBack::HostCallback(&flooding, vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
    ASSERT_EQ(gui.updated.size(), 1u);
    EXPECT_EQ(gui.updated[0], std::string(VstCallBack::kParamIdBufferSize - 1, 'A'));
}
