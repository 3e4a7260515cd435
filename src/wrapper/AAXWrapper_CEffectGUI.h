// The effect's GUI: embeds the wrapped effect's own VST 2 editor in the host's native window,
// forwards the host's idle ticks and draw requests to it and closes it when the view is
// withdrawn. Draws nothing itself.
#pragma once

#include "vsthost/VstInterface.h"
#include "wrapper/AAX_CEffectGUI.h"

class AAXWrapper_CEffectGUI : public AAX_CEffectGUI {
public:
    // The view size while no effect can report one.
    static constexpr float kDefaultViewSize = 100.0f;

    // [main] The GUI factory the effect description registers: a new GUI with no reference
    // taken, or null when it cannot be built.
    static AAX_IEffectGUI* Create();

    // [main] Everything null; no VstInterface until CreateViewContents.
    AAXWrapper_CEffectGUI();
    // [main] Closes the effect's editor if it is still open in a native view (as withdrawing
    // the view does), then unregisters from the instance's VstCallBack, before the base gives up
    // the data model.
    ~AAXWrapper_CEffectGUI() override;

    // [main] Closes an open editor, unregisters from the instance's VstCallBack and forgets the
    // VstInterface before the base gives up the data model it held: a second Initialize may bring
    // no data model, or another one, and the old one may be gone by the next call.
    AAX_Result Initialize(IACFUnknown* host) noexcept override;
    // [main] Closes the effect's editor if it is still open in a native view (a host may go
    // without withdrawing the view first), unregisters from the instance's VstCallBack, forgets
    // the VstInterface, then lets the base release the data model.
    AAX_Result Uninitialize() noexcept override;

    // [main] Slot 7. The editor's rectangle, asked afresh each time, at least 1 x 1; 100 x 100
    // while no effect is held, the effect gives no rectangle or one whose far edges lie before
    // its near ones. AAX_ERROR_NULL_OBJECT for a null output.
    AAX_Result GetViewSize(AAX_Point* size) const noexcept override;
    // [main] Slot 8. Asks the editor to redraw the area (the private redraw request), with each
    // edge truncated toward zero and clamped to 16 bits. 0.
    AAX_Result Draw(AAX_Rect* area) noexcept override;
    // [main] Slot 9. The editor's idle processing (effEditIdle), then the read-back of values a
    // display update from another thread asked for. 0.
    AAX_Result TimerWakeup() noexcept override;

    // [main] Slot 13. Takes the data model's VstInterface (when the data model is ours: it
    // answers the module's private identifier, IID_AAXWrapperParametersSelf) and registers this
    // GUI with its VstCallBack.
    AAX_Result CreateViewContents() override;
    // [main] Slot 14. Opens the editor in a native window container; other kinds get none.
    AAX_Result CreateViewContainer() override;
    // [main] Slot 15. Closes the editor: a key-down the effect expects first, then effEditClose;
    // a gesture the effect began and did not end is then released.
    AAX_Result DeleteViewContainer() override;
    // [main] Slot 17. Opens the effect's editor in the native parent window: the pre-open
    // notice, effEditGetRect and effEditOpen, then a redraw of the whole editor.
    virtual void AttachEditor(void* parentWindow);

    // The data model's VstInterface, not owned; null until CreateViewContents and after the
    // GUI gives up the data model.
    VstInterface* vstInterfaceRef = nullptr;

private:
    // [main] DeleteViewContainer, when the editor is open.
    void CloseEditor() noexcept;
    // [main] Clears the VstCallBack's editorGui if it still names this GUI (waiting for a display
    // update under way on another thread to finish with it), and vstInterfaceRef.
    void Unregister() noexcept;

    // Whether the effect's editor is open in a native view: from AttachEditor until the view is
    // withdrawn or the GUI closes it.
    bool mEditorOpen = false;
};
