// The host-facing life cycle of an effect GUI: the host's controller, data model, view container
// and transport, and the operations a GUI that draws nothing itself answers the same way. A
// derived GUI supplies the view: its contents, the container's editor, its size and drawing.
// Nothing thrown leaves a slot the host calls: running out of memory answers
// AAX_ERROR_PLUGIN_OUT_OF_MEMORY, with what the call had taken given back.
#pragma once

#include <memory>

#include "effect/AAX_IEffectParameters.h"
#include "effect/AAX_VHostWrappers.h"
#include "interfaces/aax_effect.h"
#include "module/CACFUnknown.h"

// The effect-GUI interface as the module addresses it; adds nothing to the published table.
class AAX_IEffectGUI : public AAX_IACFEffectGUI {};

class AAX_CEffectGUI : public AAX_IEffectGUI, public CACFUnknown {
public:
    // [main] Everything null.
    AAX_CEffectGUI();
    // [main] Releases the data model and deletes the controller, transport and view container
    // wrappers that are still held.
    ~AAX_CEffectGUI() override;

    // [any] Slots 0 to 2: forwarded to the outer unknown.
    ACFRESULT QueryInterface(const acfIID& iid, void** outInterface) noexcept override;
    acfUInt32 AddRef() noexcept override;
    acfUInt32 Release() noexcept override;
    // [any] Answers the effect-GUI interface with this object, adding a reference; every other
    // identifier goes to the component base.
    ACFRESULT InternalQueryInterface(const acfIID& iid, void** outInterface) noexcept override;

    // [main] Slot 3. Takes the host's controller, data model and transport, then builds the view
    // contents. AAX_ERROR_NO_COMPONENTS_WITHOUT_CONTROLLER for a null host or one without a
    // controller; nothing else is taken then.
    AAX_Result Initialize(IACFUnknown* host) noexcept override;
    // [main] Slot 4. Releases the data model and deletes the controller and transport. The view
    // container is left as it is.
    AAX_Result Uninitialize() noexcept override;
    // [main] Slot 5. 0.
    AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
    // [main] Slot 6. Null withdraws the view (DeleteViewContainer); otherwise the container is
    // taken, CreateViewContainer runs and every parameter is reported as updated. 0. As
    // designed, the one reference that taking a container adds is not given back, neither when
    // the view is withdrawn nor when the GUI goes: the GUI only stops referring to the container,
    // whose life the host keeps (see AAX_VViewContainer).
    AAX_Result SetViewContainer(IACFUnknown* viewContainer) noexcept override;
    // [any] Slot 10. Does nothing: the effect's editor shows its own values. 0.
    AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override;
    // [main] Slot 11. AAX_ERROR_NULL_OBJECT; the label is untouched.
    AAX_Result GetCustomLabel(AAX_EPlugInStrings selector, AAX_IString* label) const noexcept override;
    // [main] Slot 12. 0.
    AAX_Result SetControlHighlightInfo(AAX_CParamID id, bool isHighlighted, int32_t color) noexcept override;

    // [main] Slot 13. Builds what the view shows; called by Initialize.
    virtual AAX_Result CreateViewContents() = 0;
    // [main] Slot 14. A view container has just been set.
    virtual AAX_Result CreateViewContainer() = 0;
    // [main] Slot 15. The view container has just been withdrawn.
    virtual AAX_Result DeleteViewContainer() = 0;
    // [main] Slot 16. Calls ParameterUpdated for every parameter of the data model.
    virtual AAX_Result UpdateAllParameters();

protected:
    // [main] Null until Initialize (and after Uninitialize).
    AAX_IController* GetController() const { return mController.get(); }
    AAX_IACFEffectParameters* GetEffectParameters() const { return mEffectParameters; }
    AAX_IViewContainer* GetViewContainer() const { return mViewContainer.get(); }
    AAX_ITransport* GetTransport() const { return mTransport.get(); }

private:
    void ReleaseHostObjects() noexcept;

    std::unique_ptr<AAX_VController> mController;
    AAX_IACFEffectParameters* mEffectParameters = nullptr;  // one reference held
    std::unique_ptr<AAX_VViewContainer> mViewContainer;
    std::unique_ptr<AAX_VTransport, AAX_DestroyThroughSlot> mTransport;
};
