#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "interfaces/aax_ids.h"
#include "interfaces/vst2.h"
#include "module/ModuleState.h"
#include "support/FakeGuiHost.h"
#include "wrapper/AAXWrapper_CEffectGUI.h"
#include "wrapper/WrapperInstance.h"

using ::testing::ElementsAre;
using testsupport::FakeGuiHost;
using aaxhost::HostViewContainer;
using wrappertest::DataModel;

namespace {

// The GUI with its ParameterUpdated observed; everything else is the real class.
class ObservedGui : public AAXWrapper_CEffectGUI {
public:
    explicit ObservedGui(std::vector<std::string>* updates) : updates_(updates) {}
    AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override {
        updates_->push_back(id != nullptr ? id : "(null)");
        return AAXWrapper_CEffectGUI::ParameterUpdated(id);
    }

private:
    std::vector<std::string>* updates_;
};

// Holds one reference on a GUI, as the host does.
class GuiReference {
public:
    explicit GuiReference(AAXWrapper_CEffectGUI* gui) : gui_(gui) { gui_->AddRef(); }
    ~GuiReference() { Reset(); }
    GuiReference(const GuiReference&) = delete;
    GuiReference& operator=(const GuiReference&) = delete;
    AAXWrapper_CEffectGUI* operator->() const { return gui_; }
    AAXWrapper_CEffectGUI* get() const { return gui_; }
    void Reset() {
        if (gui_ != nullptr) gui_->Release();
        gui_ = nullptr;
    }

private:
    AAXWrapper_CEffectGUI* gui_;
};

class WrapperGui : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(install.Ok()) << install.Error();
        effect.SetNumParams(2);
        effect.SetParameterId(0, "Mix");
        effect.SetParameterId(1, "Time");
        effect.SetEditorRect({0, 0, 300, 500});
        model = std::make_unique<DataModel>(install, &effect);
        ASSERT_EQ(model->Initialize(guiHost.host), AAX_SUCCESS);
        guiHost.dataModel = model->get();
        gui = std::make_unique<GuiReference>(new ObservedGui(&updates));
        ASSERT_EQ((*gui)->Initialize(&guiHost), AAX_SUCCESS);
        effect.ClearRecords();
    }
    void TearDown() override {
        if (gui) {
            (*gui)->Uninitialize();
            gui.reset();
        }
        if (model) {
            (*model)->Uninitialize();
            model.reset();
        }
    }

    TestEffectInstall install;
    RecordingEffect effect;
    FakeGuiHost guiHost;
    std::unique_ptr<DataModel> model;
    std::vector<std::string> updates;
    std::unique_ptr<GuiReference> gui;
};

}  // namespace

TEST_F(WrapperGui, ViewSizeComesFromTheEditorRectangleEachTime) {
    AAX_Point size{0.0f, 0.0f};
    ASSERT_EQ((*gui)->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(size.horz, 500.0f);
    EXPECT_FLOAT_EQ(size.vert, 300.0f);

    effect.SetEditorRect({10, 20, 110, 420});
    ASSERT_EQ((*gui)->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(size.horz, 400.0f);
    EXPECT_FLOAT_EQ(size.vert, 100.0f);
    EXPECT_EQ(effect.CountOpcode(vst2::effEditGetRect), 2u) << "nothing is cached";
    EXPECT_EQ((*gui)->GetViewSize(nullptr), AAX_ERROR_NULL_OBJECT);

    // An answer without a rectangle leaves none, not the last one (which the effect may have
    // freed): the view falls back to 100 x 100.
    effect.ClearEditorRect();
    ASSERT_EQ((*gui)->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(size.horz, 100.0f);
    EXPECT_FLOAT_EQ(size.vert, 100.0f);
    EXPECT_EQ((*model)->vstInterface->editorRect, nullptr);

    // An empty side is one pixel; a rectangle turned inside out is unusable: 100 x 100.
    const vst2::ERect odd[] = {{0, 0, 0, 0}, {5, 5, 5, 45}, {0, 0, -400, -600}, {10, 0, 9, 500}};
    const AAX_Point sizes[] = {{1.0f, 1.0f}, {1.0f, 40.0f}, {100.0f, 100.0f}, {100.0f, 100.0f}};
    for (size_t i = 0; i < std::size(odd); ++i) {
        effect.SetEditorRect(odd[i]);
        ASSERT_EQ((*gui)->GetViewSize(&size), AAX_SUCCESS);
        EXPECT_EQ(size.vert, sizes[i].vert) << i;
        EXPECT_EQ(size.horz, sizes[i].horz) << i;
    }
}

// A host that lets the GUI go with the view still attached: Uninitialize or the destruction
// closes the editor all the same, and the effect's drag under way is released once, whether or
// not the effect ends it itself on closing.
TEST_F(WrapperGui, TheEditorClosesWithTheGuiAndItsGestureEnds) {
    int window = 0;
    HostViewContainer container(AAX_eViewContainer_Type_HWND, &window);
    for (int32_t variant = 0; variant < 4; ++variant) {
        const bool uninitialize = (variant & 1) != 0, effectEndsDrag = (variant & 2) != 0;
        if (effectEndsDrag) effect.OnOpcode(vst2::effEditClose, {vst2::audioMasterEndEdit, 0});
        GuiReference attached(static_cast<AAXWrapper_CEffectGUI*>(AAXWrapper_CEffectGUI::Create()));
        ASSERT_EQ(attached->Initialize(&guiHost), AAX_SUCCESS);
        ASSERT_EQ(attached->SetViewContainer(&container), AAX_SUCCESS);
        effect.CallHost({vst2::audioMasterBeginEdit, 0});
        guiHost.host.automation.ClearEvents();
        effect.ClearRecords();
        if (uninitialize) attached->Uninitialize();
        attached.Reset();
        EXPECT_EQ(effect.Opcodes().at(1), vst2::effEditClose) << variant;
        EXPECT_EQ(guiHost.host.automation.Events(), (std::vector<testsupport::HostAutomationCall>{{"Release", "Mix"}}))
            << variant;
    }
    // A view withdrawn has its editor closed once, not again by Uninitialize or destruction.
    ASSERT_EQ((*gui)->SetViewContainer(&container), AAX_SUCCESS);
    ASSERT_EQ((*gui)->SetViewContainer(nullptr), AAX_SUCCESS);
    effect.ClearRecords();
    (*gui)->Uninitialize();
    gui.reset();
    EXPECT_TRUE(effect.calls.empty());
}

TEST_F(WrapperGui, NativeWindowOpensTheEditorInOrder) {
    int window = 0;
    HostViewContainer container(AAX_eViewContainer_Type_HWND, &window);
    updates.clear();
    ASSERT_EQ((*gui)->SetViewContainer(&container), AAX_SUCCESS);

    EXPECT_THAT(effect.Opcodes(), ElementsAre(vst2::effPrivatePreOpenNotice, vst2::effEditGetRect, vst2::effEditOpen,
                                              vst2::effPrivateEditorRedraw));
    EXPECT_FLOAT_EQ(effect.calls[0].opt, 1.0f);
    EXPECT_EQ(effect.calls[2].ptr, &window);
    EXPECT_FALSE(effect.calls[3].hasRect) << "the first redraw covers the whole editor";
    EXPECT_THAT(updates, ElementsAre("", "Mix", "Time")) << "every parameter is reported after attaching";

    // Idle ticks reach the editor.
    effect.ClearRecords();
    EXPECT_EQ((*gui)->TimerWakeup(), AAX_SUCCESS);
    EXPECT_THAT(effect.Opcodes(), ElementsAre(vst2::effEditIdle));

    // Withdrawing the view closes the editor: the key-down first, then effEditClose.
    effect.ClearRecords();
    ASSERT_EQ((*gui)->SetViewContainer(nullptr), AAX_SUCCESS);
    EXPECT_THAT(effect.Opcodes(), ElementsAre(vst2::effEditKeyDown, vst2::effEditClose));
    EXPECT_EQ(effect.calls[0].index, 50);
    EXPECT_EQ(effect.calls[0].value, 26);

    // Attaching again reopens it.
    effect.ClearRecords();
    ASSERT_EQ((*gui)->SetViewContainer(&container), AAX_SUCCESS);
    EXPECT_EQ(effect.CountOpcode(vst2::effEditOpen), 1u);
    (*gui)->SetViewContainer(nullptr);
}

TEST_F(WrapperGui, OtherContainerTypesGetNoEditorButParametersAreStillReported) {
    HostViewContainer container(AAX_eViewContainer_Type_NSView, nullptr);
    updates.clear();
    ASSERT_EQ((*gui)->SetViewContainer(&container), AAX_SUCCESS);
    EXPECT_TRUE(effect.calls.empty());
    EXPECT_THAT(updates, ElementsAre("", "Mix", "Time"));
}

TEST_F(WrapperGui, DrawTruncatesTheSumsAndClampsToSixteenBits) {
    AAX_Rect area{10.7f, 20.2f, 100.0f, 50.9f};
    ASSERT_EQ((*gui)->Draw(&area), AAX_SUCCESS);
    AAX_Rect huge{-1.0e6f, 1.0e6f, 5.0f, 5.0f};
    ASSERT_EQ((*gui)->Draw(&huge), AAX_SUCCESS);
    AAX_Rect invalid{std::numeric_limits<float>::quiet_NaN(), 1.0f, std::numeric_limits<float>::infinity(), 2.0f};
    ASSERT_EQ((*gui)->Draw(&invalid), AAX_SUCCESS);
    EXPECT_EQ((*gui)->Draw(nullptr), AAX_SUCCESS);

    const auto redraws = effect.CallsWithOpcode(vst2::effPrivateEditorRedraw);
    ASSERT_EQ(redraws.size(), 3u);
    for (const auto& redraw : redraws) ASSERT_TRUE(redraw.hasRect);
    EXPECT_EQ(redraws[0].rect.top, 10);
    EXPECT_EQ(redraws[0].rect.left, 20);
    EXPECT_EQ(redraws[0].rect.bottom, 61);
    EXPECT_EQ(redraws[0].rect.right, 120);

    EXPECT_EQ(redraws[1].rect.top, -32768);
    EXPECT_EQ(redraws[1].rect.left, 32767);
    EXPECT_EQ(redraws[1].rect.bottom, -32768);
    EXPECT_EQ(redraws[1].rect.right, 32767);

    EXPECT_EQ(redraws[2].rect.top, 0);
    EXPECT_EQ(redraws[2].rect.left, 1);
    EXPECT_EQ(redraws[2].rect.bottom, 0);
    EXPECT_EQ(redraws[2].rect.right, 32767);
}

TEST_F(WrapperGui, RegistersWithTheCallBackAndUnregistersBeforeLettingGo) {
    VstCallBack* callBack = (*model)->vstCallBack;
    EXPECT_EQ(callBack->editorGui, static_cast<AAX_IACFEffectGUI*>(gui->get()));
    EXPECT_EQ(gui->get()->vstInterfaceRef, (*model)->vstInterface);

    updates.clear();
    effect.CallHost({vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f});
    EXPECT_THAT(updates, ElementsAre("Mix", "Time"));

    ASSERT_EQ((*gui)->Uninitialize(), AAX_SUCCESS);
    EXPECT_EQ(callBack->editorGui, nullptr);
    EXPECT_EQ(gui->get()->vstInterfaceRef, nullptr);
    updates.clear();
    effect.CallHost({vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f});
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(effect.CountOpcode(vst2::effPrivateGetParameterId), 4u) << "identifiers are still asked for";

    // A GUI that was never uninitialised unregisters when it is destroyed.
    std::vector<std::string> secondUpdates;
    {
        GuiReference second(new ObservedGui(&secondUpdates));
        ASSERT_EQ(second->Initialize(&guiHost), AAX_SUCCESS);
        EXPECT_EQ(callBack->editorGui, static_cast<AAX_IACFEffectGUI*>(second.get()));
    }
    EXPECT_EQ(callBack->editorGui, nullptr);
    effect.CallHost({vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f});
    EXPECT_TRUE(secondUpdates.empty());
}

TEST_F(WrapperGui, InitialisingAgainLetsGoOfTheFirstDataModelEntirely) {
    VstCallBack* callBack = (*model)->vstCallBack;
    FakeGuiHost withoutDataModel;
    withoutDataModel.offerDataModel = false;
    ASSERT_EQ((*gui)->Initialize(&withoutDataModel), AAX_SUCCESS);
    EXPECT_EQ(gui->get()->vstInterfaceRef, nullptr);
    EXPECT_EQ(callBack->editorGui, nullptr);

    // The first data model may now go; nothing the GUI does afterwards reaches into it.
    (*model)->Uninitialize();
    model.reset();
    AAX_Point size{0.0f, 0.0f};
    EXPECT_EQ((*gui)->GetViewSize(&size), AAX_SUCCESS);
    EXPECT_FLOAT_EQ(size.horz, 100.0f);
    EXPECT_EQ((*gui)->TimerWakeup(), AAX_SUCCESS);
    EXPECT_EQ((*gui)->Uninitialize(), AAX_SUCCESS);
    EXPECT_TRUE(guiHost.host.AllReferencesReleased());
    EXPECT_TRUE(withoutDataModel.host.AllReferencesReleased());
}

TEST_F(WrapperGui, AnOlderGuiDoesNotUnregisterTheNewerOne) {
    std::vector<std::string> newerUpdates;
    GuiReference newer(new ObservedGui(&newerUpdates));
    ASSERT_EQ(newer->Initialize(&guiHost), AAX_SUCCESS);
    VstCallBack* callBack = (*model)->vstCallBack;
    ASSERT_EQ(callBack->editorGui, static_cast<AAX_IACFEffectGUI*>(newer.get()));

    (*gui)->Uninitialize();
    gui.reset();
    EXPECT_EQ(callBack->editorGui, static_cast<AAX_IACFEffectGUI*>(newer.get()));
    newer->Uninitialize();
    EXPECT_EQ(callBack->editorGui, nullptr);
}

TEST(WrapperGuiLifecycle, InitialiseNeedsAHostWithAController) {
    const int32_t liveBefore = ACFLiveObjectCount();
    {
        GuiReference gui(static_cast<AAXWrapper_CEffectGUI*>(AAXWrapper_CEffectGUI::Create()));
        EXPECT_EQ(ACFLiveObjectCount(), liveBefore + 1);
        EXPECT_EQ(gui->Initialize(nullptr), AAX_ERROR_NO_COMPONENTS_WITHOUT_CONTROLLER);

        FakeGuiHost host;
        host.offers.controller = false;
        EXPECT_EQ(gui->Initialize(&host), AAX_ERROR_NO_COMPONENTS_WITHOUT_CONTROLLER);
        EXPECT_EQ(host.RefCount(), 0) << "nothing else is taken";

        // Queries answer the GUI interface and the component base's, nothing else, each adding
        // a reference.
        void* found = nullptr;
        EXPECT_EQ(gui->QueryInterface(IID_IAAXEffectGUIV1, &found), ACF_OK);
        EXPECT_EQ(found, static_cast<void*>(static_cast<AAX_IACFEffectGUI*>(gui.get())));
        EXPECT_EQ(gui->GetRefCount(), 2);
        static_cast<IACFUnknown*>(found)->Release();
        EXPECT_EQ(gui->QueryInterface(IID_IACFUnknown, &found), ACF_OK);
        EXPECT_EQ(found, static_cast<void*>(gui->GetInnerUnknown()));
        EXPECT_EQ(gui->GetRefCount(), 2);
        static_cast<IACFUnknown*>(found)->Release();
        EXPECT_EQ(gui->QueryInterface(IID_IAAXEffectParametersV1, &found), ACF_E_NOINTERFACE);
        EXPECT_EQ(found, nullptr);

        AAX_CString label("kept");
        EXPECT_EQ(gui->GetCustomLabel(0, &label), AAX_ERROR_NULL_OBJECT);
        EXPECT_EQ(label.StdString(), "kept");
    }
    EXPECT_EQ(ACFLiveObjectCount(), liveBefore);
}

TEST(WrapperGuiLifecycle, WithoutALoadedEffectTheViewIsOneHundredSquareAndNothingIsSent) {
    TestEffectInstall install;
    ASSERT_TRUE(install.Ok()) << install.Error();
    // The entry point hands out a record without the VST 2 magic: the load fails, and the test
    // still sees every call that would reach the record.
    RecordingEffect notLoaded;
    notLoaded.effect()->magic = 0;
    notLoaded.SetEditorRect({0, 0, 300, 500});
    DataModel model(install, &notLoaded);
    ASSERT_EQ(model->vstLoaded, 0);
    FakeGuiHost host;
    ASSERT_EQ(model.Initialize(host.host), AAX_SUCCESS);
    host.dataModel = model.get();
    {
        GuiReference gui(static_cast<AAXWrapper_CEffectGUI*>(AAXWrapper_CEffectGUI::Create()));
        ASSERT_EQ(gui->Initialize(&host), AAX_SUCCESS);
        AAX_Point size{0.0f, 0.0f};
        ASSERT_EQ(gui->GetViewSize(&size), AAX_SUCCESS);
        EXPECT_FLOAT_EQ(size.horz, 100.0f);
        EXPECT_FLOAT_EQ(size.vert, 100.0f);
        HostViewContainer container(AAX_eViewContainer_Type_HWND, nullptr);
        EXPECT_EQ(gui->SetViewContainer(&container), AAX_SUCCESS);
        AAX_Rect area{0.0f, 0.0f, 10.0f, 10.0f};
        EXPECT_EQ(gui->Draw(&area), AAX_SUCCESS);
        EXPECT_EQ(gui->TimerWakeup(), AAX_SUCCESS);
        EXPECT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);
        gui->Uninitialize();
    }
    model->Uninitialize();
    EXPECT_TRUE(notLoaded.calls.empty());
    EXPECT_EQ(host.RefCount(), 0);
    EXPECT_TRUE(host.host.AllReferencesReleased());
}

TEST(WrapperGuiLifecycle, ADataModelThatIsNotOursGivesNoEditor) {
    // The base data model answers the interface but has no VstInterface.
    class ForeignModel : public AAX_CEffectParameters {};
    auto* foreign = new ForeignModel();
    foreign->AddRef();
    FakeGuiHost host;
    host.dataModel = foreign;
    {
        GuiReference gui(static_cast<AAXWrapper_CEffectGUI*>(AAXWrapper_CEffectGUI::Create()));
        ASSERT_EQ(gui->Initialize(&host), AAX_SUCCESS);
        EXPECT_EQ(gui->vstInterfaceRef, nullptr);
        AAX_Point size{0.0f, 0.0f};
        gui->GetViewSize(&size);
        EXPECT_FLOAT_EQ(size.horz, 100.0f);
        gui->Uninitialize();
    }
    EXPECT_EQ(foreign->Release(), 0u);
}
