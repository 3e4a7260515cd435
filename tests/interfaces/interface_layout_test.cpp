#include <gtest/gtest.h>

#include "interfaces/aax_description.h"
#include "interfaces/aax_effect.h"
#include "interfaces/aax_host.h"
#include "interfaces/aax_ids.h"
#include "interfaces/aax_parameter.h"
#include "interfaces/vst2.h"
#include "interfaces/slot_index.h"

TEST(InterfaceSlots, EffectParametersOperationsSitAtTheirPublishedSlots) {
    EXPECT_EQ(VirtualSlot(&IACFUnknown::QueryInterface), 0);
    EXPECT_EQ(VirtualSlot(&IACFUnknown::Release), 2);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::Initialize), 3);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::GetMasterBypassParameter), 7);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::UpdateParameterNormalizedValue), 29);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::GenerateCoefficients), 31);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::GetChunkIDFromIndex), 34);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::SetChunk), 37);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::CompareActiveChunk), 38);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters::RenderAudio_Hybrid), 45);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectParameters_V2::UpdateControlMIDINodes), 47);
}

TEST(InterfaceSlots, EffectGuiOperationsSitAtTheirPublishedSlots) {
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectGUI::Initialize), 3);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectGUI::SetViewContainer), 6);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectGUI::TimerWakeup), 9);
    EXPECT_EQ(VirtualSlot(&AAX_IACFEffectGUI::SetControlHighlightInfo), 12);
}

TEST(InterfaceSlots, HostInterfacesFollowTheDesignOrder) {
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::GetEffectID), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::GetOutputStemFormat), 4);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::PostPacket), 10);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::SendNotification), 11);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::GetHybridSignalLatency), 19);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IController::GetHostName), 21);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ITransport::GetCurrentTempo), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ITransport::GetBarBeatPosition), 8);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ITransport::GetFeetFramesInfo), 13);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IAutomationDelegate::RegisterParameter), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IAutomationDelegate::GetTouchState), 7);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IViewContainer::GetType), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IViewContainer::HandleParameterMouseUp), 7);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IHostServices::Trace), 2);
}

TEST(InterfaceSlots, ParameterAndStringTablesFollowTheDesignOrder) {
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IString::Length), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IString::Set), 4);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IParameter::Identifier), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IParameter::SetAutomationDelegate), 8);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IParameter::GetValueAsBool), 26);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IParameter::SetTaperDelegate), 40);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IParameter::UpdateNormalizedValue), 42);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ITaperDelegate<float>::Clone), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ITaperDelegate<float>::RealToNormalized), 6);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IDisplayDelegate<bool>::StringToValue), 4);
}

TEST(InterfaceSlots, DescriptionTablesFollowTheDesignOrder) {
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ICollection::NewDescriptor), 1);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_ICollection::SetProperties), 7);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IEffectDescriptor::AddControlMIDINode), 11);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IComponentDescriptor::AddProcessProc_TI), 19);
    EXPECT_EQ(DesignSlotAfterDestructor(&AAX_IPropertyMap::RemoveProperty), 3);
}

TEST(Identifiers, PublishedValuesAreExact) {
    const acfIID gui = {0x964E323D, 0x424C, 0x5E1A, {0x22, 0x27, 0x28, 0x24, 0x23, 0x22, 0x2E, 0x1E}};
    EXPECT_EQ(IID_IAAXEffectGUIV1, gui);
    EXPECT_NE(IID_IAAXEffectGUIV1, IID_IAAXEffectParametersV1);
    EXPECT_EQ(IID_IACFUnknown.Data4[0], 0xC0);
    EXPECT_EQ(IID_IACFUnknown.Data4[7], 0x46);
    EXPECT_EQ(AAX_FourCC('K', 'e', 'l', 'm'), 0x4B656C6Du);
}
