#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "effect/AAX_VHostWrappers.h"
#include "host_fakes.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Eq;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrEq;

using vsthost_test::FakeHost;
using vsthost_test::MockAutomationDelegate;
using vsthost_test::MockComponentFactory;
using vsthost_test::MockController;
using vsthost_test::MockHostServices;
using vsthost_test::MockTransport;
using vsthost_test::MockViewContainer;

namespace {

constexpr AAX_Result kNull = AAX_ERROR_NULL_OBJECT;
constexpr AAX_Result kUnimplemented = AAX_ERROR_UNIMPLEMENTED;

void ExpectControllerFallbacks(AAX_VController& controller) {
    float rate = -1.0f;
    int32_t value = -1;
    int64_t location = -1;
    bool flag = false;
    uint32_t count = 0;
    AAX_CFieldIndex port = 0;
    AAX_CMidiPacket packet{};
    EXPECT_FALSE(controller.IsValid());
    EXPECT_EQ(controller.GetEffectID(nullptr), kNull);
    EXPECT_EQ(controller.GetSampleRate(&rate), kNull);
    EXPECT_EQ(rate, -1.0f);
    EXPECT_EQ(controller.GetInputStemFormat(&value), kNull);
    EXPECT_EQ(controller.GetOutputStemFormat(&value), kNull);
    EXPECT_EQ(controller.GetSignalLatency(&value), kNull);
    EXPECT_EQ(controller.GetCycleCount(0, &value), kNull);
    EXPECT_EQ(controller.GetTODLocation(&location), kNull);
    EXPECT_EQ(controller.SetSignalLatency(5), kNull);
    EXPECT_EQ(controller.SetCycleCount(&value, &value, 1), kNull);
    EXPECT_EQ(controller.PostPacket(7, &value, 4), kNull);
    EXPECT_EQ(controller.SendNotification(1, nullptr, 0), kUnimplemented);
    EXPECT_EQ(controller.GetCurrentMeterValue(1, &rate), kNull);
    EXPECT_EQ(controller.GetMeterPeakValue(1, &rate), kNull);
    EXPECT_EQ(controller.ClearMeterPeakValue(1), kNull);
    EXPECT_EQ(controller.GetMeterClipped(1, &flag), kNull);
    EXPECT_EQ(controller.ClearMeterClipped(1), kNull);
    EXPECT_EQ(controller.GetMeterCount(&count), kNull);
    EXPECT_EQ(controller.GetNextMIDIPacket(&port, &packet), kNull);
    EXPECT_EQ(controller.GetHybridSignalLatency(&value), kUnimplemented);
    AAX_CTimestamp timestamp = 77;
    EXPECT_EQ(controller.GetCurrentAutomationTimestamp(&timestamp), kUnimplemented);
    EXPECT_EQ(timestamp, 0);
    EXPECT_EQ(controller.GetHostName(nullptr), kUnimplemented);
}

}  // namespace

TEST(HostWrappers, WithoutAHostEveryOperationAnswersItsFixedCode) {
    AAX_VController controller(nullptr);
    ExpectControllerFallbacks(controller);

    AAX_VTransport transport(nullptr);
    double tempo = 0;
    int32_t a = 0, b = 0;
    bool flag = false;
    int64_t x = 0, y = 0;
    uint32_t ticks = 0;
    EXPECT_FALSE(transport.IsValid());
    EXPECT_EQ(transport.GetCurrentTempo(&tempo), kNull);
    EXPECT_EQ(transport.GetCurrentMeter(&a, &b), kNull);
    EXPECT_EQ(transport.IsTransportPlaying(&flag), kNull);
    EXPECT_EQ(transport.GetCurrentTickPosition(&x), kNull);
    EXPECT_EQ(transport.GetCurrentLoopPosition(&flag, &x, &y), kNull);
    EXPECT_EQ(transport.GetCurrentNativeSampleLocation(&x), kNull);
    EXPECT_EQ(transport.GetCustomTickPosition(&x, 0), kNull);
    EXPECT_EQ(transport.GetBarBeatPosition(&a, &b, &x, 0), kNull);
    EXPECT_EQ(transport.GetTicksPerQuarter(&ticks), kNull);
    EXPECT_EQ(transport.GetCurrentTicksPerBeat(&ticks), kNull);
    EXPECT_EQ(transport.GetTimelineSelectionStartPosition(&x), kNull);
    EXPECT_EQ(transport.GetTimeCodeInfo(&a, &x), kNull);
    EXPECT_EQ(transport.GetFeetFramesInfo(&a, &x), kNull);

    AAX_VAutomationDelegate automation(nullptr);
    EXPECT_FALSE(automation.IsValid());
    EXPECT_EQ(automation.RegisterParameter("Time"), kNull);
    EXPECT_EQ(automation.UnregisterParameter("Time"), kNull);
    EXPECT_EQ(automation.PostSetValueRequest("Time", 0.5), kNull);
    EXPECT_EQ(automation.PostCurrentValue("Time", 0.5), kNull);
    EXPECT_EQ(automation.PostTouchRequest("Time"), kNull);
    EXPECT_EQ(automation.PostReleaseRequest("Time"), kNull);
    EXPECT_EQ(automation.GetTouchState("Time", &flag), kNull);

    AAX_VViewContainer container(nullptr);
    AAX_Point size{100.0f, 200.0f};
    uint32_t modifiers = 0;
    EXPECT_FALSE(container.IsValid());
    EXPECT_EQ(container.GetType(), 0);
    EXPECT_EQ(container.GetPtr(), nullptr);
    EXPECT_EQ(container.GetModifiers(&modifiers), kUnimplemented);
    EXPECT_EQ(container.SetViewSize(size), AAX_SUCCESS);
    EXPECT_EQ(container.HandleParameterMouseDown("Time", 0), kUnimplemented);
    EXPECT_EQ(container.HandleParameterMouseDrag("Time", 0), kUnimplemented);
    EXPECT_EQ(container.HandleParameterMouseUp("Time", 0), kUnimplemented);

    AAX_VHostServices services(nullptr);
    EXPECT_FALSE(services.IsValid());
    EXPECT_EQ(services.HandleAssertFailure("file", 1, "note"), kNull);
    EXPECT_EQ(services.Trace(1, "message"), kNull);
}

TEST(HostWrappers, HostOfferingNothingIsTreatedAsNoHost) {
    FakeHost host;
    AAX_VController controller(&host);
    ExpectControllerFallbacks(controller);
    AAX_VTransport transport(&host);
    AAX_VAutomationDelegate automation(&host);
    AAX_VViewContainer container(&host);
    AAX_VHostServices services(&host);
    EXPECT_FALSE(transport.IsValid() || automation.IsValid() || container.IsValid() || services.IsValid());
    EXPECT_EQ(container.GetType(), 0);
    EXPECT_EQ(services.Trace(0, "x"), kNull);
    // Each wrapper asked for what it wraps.
    ASSERT_EQ(host.queried.size(), 7u);
    EXPECT_EQ(host.queried[0], IID_IAAXControllerV1);
    EXPECT_EQ(host.queried[1], IID_IAAXControllerV2);
    EXPECT_EQ(host.queried[2], IID_IAAXTransportV1);
    EXPECT_EQ(host.queried[3], IID_IAAXTransportV2);
    EXPECT_EQ(host.queried[4], IID_IAAXAutomationDelegateV1);
    EXPECT_EQ(host.queried[5], IID_IAAXViewContainerV1);
    EXPECT_EQ(host.queried[6], IID_IACFComponentFactory);
}

TEST(HostWrappers, ControllerForwardsEverySlotAndReleasesBothInterfaces) {
    MockController host_controller;
    FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&host_controller));
    host.Offer(IID_IAAXControllerV2, static_cast<AAX_IACFController_V2*>(&host_controller));
    {
        AAX_VController controller(&host);
        EXPECT_TRUE(controller.IsValid());
        EXPECT_EQ(host_controller.references, 2);

        float rate = 0.0f;
        int32_t format = 0, value = 0;
        int64_t location = 0;
        bool clipped = false;
        uint32_t count = 0;
        AAX_CFieldIndex port = 0;
        AAX_CMidiPacket packet{};
        AAX_CTimestamp timestamp = 0;
        const uint64_t payload = 0x1122334455667788u;
        EXPECT_CALL(host_controller, GetEffectID(nullptr)).WillOnce(Return(101));
        EXPECT_CALL(host_controller, GetSampleRate(&rate)).WillOnce(DoAll(SetArgPointee<0>(96000.0f), Return(102)));
        EXPECT_CALL(host_controller, GetInputStemFormat(&format)).WillOnce(Return(103));
        EXPECT_CALL(host_controller, GetOutputStemFormat(&format))
            .WillOnce(DoAll(SetArgPointee<0>(AAX_eStemFormat_Stereo), Return(104)));
        EXPECT_CALL(host_controller, GetSignalLatency(&value)).WillOnce(Return(105));
        EXPECT_CALL(host_controller, GetCycleCount(3, &value)).WillOnce(Return(106));
        EXPECT_CALL(host_controller, GetTODLocation(&location)).WillOnce(Return(107));
        EXPECT_CALL(host_controller, SetSignalLatency(64)).WillOnce(Return(108));
        EXPECT_CALL(host_controller, SetCycleCount(&format, &value, 2)).WillOnce(Return(109));
        EXPECT_CALL(host_controller, PostPacket(7u, &payload, 8u)).WillOnce(Return(110));
        EXPECT_CALL(host_controller, SendNotification(0x6E6F7465u, &payload, 8u)).WillOnce(Return(111));
        EXPECT_CALL(host_controller, GetCurrentMeterValue(5u, &rate)).WillOnce(Return(112));
        EXPECT_CALL(host_controller, GetMeterPeakValue(5u, &rate)).WillOnce(Return(113));
        EXPECT_CALL(host_controller, ClearMeterPeakValue(5u)).WillOnce(Return(114));
        EXPECT_CALL(host_controller, GetMeterClipped(5u, &clipped)).WillOnce(Return(115));
        EXPECT_CALL(host_controller, ClearMeterClipped(5u)).WillOnce(Return(116));
        EXPECT_CALL(host_controller, GetMeterCount(&count)).WillOnce(Return(117));
        EXPECT_CALL(host_controller, GetNextMIDIPacket(&port, &packet)).WillOnce(Return(118));
        EXPECT_CALL(host_controller, GetHybridSignalLatency(&value)).WillOnce(Return(119));
        EXPECT_CALL(host_controller, GetCurrentAutomationTimestamp(&timestamp))
            .WillOnce(DoAll(SetArgPointee<0>(123456789), Return(120)));
        EXPECT_CALL(host_controller, GetHostName(nullptr)).WillOnce(Return(121));

        EXPECT_EQ(controller.GetEffectID(nullptr), 101);
        EXPECT_EQ(controller.GetSampleRate(&rate), 102);
        EXPECT_EQ(rate, 96000.0f);
        EXPECT_EQ(controller.GetInputStemFormat(&format), 103);
        EXPECT_EQ(controller.GetOutputStemFormat(&format), 104);
        EXPECT_EQ(AAX_StemFormatChannelCount(format), 2);
        EXPECT_EQ(controller.GetSignalLatency(&value), 105);
        EXPECT_EQ(controller.GetCycleCount(3, &value), 106);
        EXPECT_EQ(controller.GetTODLocation(&location), 107);
        EXPECT_EQ(controller.SetSignalLatency(64), 108);
        EXPECT_EQ(controller.SetCycleCount(&format, &value, 2), 109);
        EXPECT_EQ(controller.PostPacket(7, &payload, 8), 110);
        EXPECT_EQ(controller.SendNotification(0x6E6F7465u, &payload, 8), 111);
        EXPECT_EQ(controller.GetCurrentMeterValue(5, &rate), 112);
        EXPECT_EQ(controller.GetMeterPeakValue(5, &rate), 113);
        EXPECT_EQ(controller.ClearMeterPeakValue(5), 114);
        EXPECT_EQ(controller.GetMeterClipped(5, &clipped), 115);
        EXPECT_EQ(controller.ClearMeterClipped(5), 116);
        EXPECT_EQ(controller.GetMeterCount(&count), 117);
        EXPECT_EQ(controller.GetNextMIDIPacket(&port, &packet), 118);
        EXPECT_EQ(controller.GetHybridSignalLatency(&value), 119);
        EXPECT_EQ(controller.GetCurrentAutomationTimestamp(&timestamp), 120);
        EXPECT_EQ(timestamp, 123456789);
        EXPECT_EQ(controller.GetHostName(nullptr), 121);
    }
    EXPECT_EQ(host_controller.references, 0);
}

TEST(HostWrappers, ControllerWithoutVersionTwoForwardsVersionOneOnly) {
    MockController host_controller;
    FakeHost host;
    host.Offer(IID_IAAXControllerV1, static_cast<AAX_IACFController*>(&host_controller));
    {
        AAX_VController controller(&host);
        EXPECT_TRUE(controller.IsValid());
        EXPECT_CALL(host_controller, PostPacket(8u, _, 4u)).WillOnce(Return(0));
        EXPECT_CALL(host_controller, SendNotification(_, _, _)).Times(0);
        EXPECT_CALL(host_controller, GetCurrentAutomationTimestamp(_)).Times(0);
        const int32_t loaded = 1;
        EXPECT_EQ(controller.PostPacket(8, &loaded, 4), 0);
        EXPECT_EQ(controller.SendNotification(1, nullptr, 0), kUnimplemented);
        AAX_CTimestamp timestamp = 5;
        EXPECT_EQ(controller.GetCurrentAutomationTimestamp(&timestamp), kUnimplemented);
        EXPECT_EQ(timestamp, 0);
        EXPECT_EQ(controller.GetHostName(nullptr), kUnimplemented);
        EXPECT_EQ(controller.GetHybridSignalLatency(nullptr), kUnimplemented);
        EXPECT_EQ(host_controller.references, 1);
    }
    EXPECT_EQ(host_controller.references, 0);
}

TEST(HostWrappers, TransportForwardsEverySlotAndReleases) {
    MockTransport host_transport;
    FakeHost host;
    host.Offer(IID_IAAXTransportV1, static_cast<AAX_IACFTransport*>(&host_transport));
    host.Offer(IID_IAAXTransportV2, static_cast<AAX_IACFTransport_V2*>(&host_transport));
    {
        AAX_VTransport transport(&host);
        EXPECT_TRUE(transport.IsValid());
        EXPECT_EQ(host_transport.references, 2);
        double tempo = 0;
        int32_t a = 0, b = 0;
        bool flag = false;
        int64_t x = 0, y = 0;
        uint32_t ticks = 0;
        EXPECT_CALL(host_transport, GetCurrentTempo(&tempo)).WillOnce(DoAll(SetArgPointee<0>(121.5), Return(201)));
        EXPECT_CALL(host_transport, GetCurrentMeter(&a, &b)).WillOnce(Return(202));
        EXPECT_CALL(host_transport, IsTransportPlaying(&flag)).WillOnce(Return(203));
        EXPECT_CALL(host_transport, GetCurrentTickPosition(&x)).WillOnce(Return(204));
        EXPECT_CALL(host_transport, GetCurrentLoopPosition(&flag, &x, &y)).WillOnce(Return(205));
        EXPECT_CALL(host_transport, GetCurrentNativeSampleLocation(&x)).WillOnce(Return(206));
        EXPECT_CALL(host_transport, GetCustomTickPosition(&x, 4410)).WillOnce(Return(207));
        EXPECT_CALL(host_transport, GetBarBeatPosition(&a, &b, &x, 4410)).WillOnce(Return(208));
        EXPECT_CALL(host_transport, GetTicksPerQuarter(&ticks)).WillOnce(Return(209));
        EXPECT_CALL(host_transport, GetCurrentTicksPerBeat(&ticks)).WillOnce(Return(210));
        EXPECT_CALL(host_transport, GetTimelineSelectionStartPosition(&x)).WillOnce(Return(211));
        EXPECT_CALL(host_transport, GetTimeCodeInfo(&a, &x)).WillOnce(Return(212));
        EXPECT_CALL(host_transport, GetFeetFramesInfo(&a, &x)).WillOnce(Return(213));

        EXPECT_EQ(transport.GetCurrentTempo(&tempo), 201);
        EXPECT_EQ(tempo, 121.5);
        EXPECT_EQ(transport.GetCurrentMeter(&a, &b), 202);
        EXPECT_EQ(transport.IsTransportPlaying(&flag), 203);
        EXPECT_EQ(transport.GetCurrentTickPosition(&x), 204);
        EXPECT_EQ(transport.GetCurrentLoopPosition(&flag, &x, &y), 205);
        EXPECT_EQ(transport.GetCurrentNativeSampleLocation(&x), 206);
        EXPECT_EQ(transport.GetCustomTickPosition(&x, 4410), 207);
        EXPECT_EQ(transport.GetBarBeatPosition(&a, &b, &x, 4410), 208);
        EXPECT_EQ(transport.GetTicksPerQuarter(&ticks), 209);
        EXPECT_EQ(transport.GetCurrentTicksPerBeat(&ticks), 210);
        EXPECT_EQ(transport.GetTimelineSelectionStartPosition(&x), 211);
        EXPECT_EQ(transport.GetTimeCodeInfo(&a, &x), 212);
        EXPECT_EQ(transport.GetFeetFramesInfo(&a, &x), 213);
    }
    EXPECT_EQ(host_transport.references, 0);
}

TEST(HostWrappers, TransportWithoutVersionTwoAnswersNullObjectForItsSlots) {
    MockTransport host_transport;
    FakeHost host;
    host.Offer(IID_IAAXTransportV1, static_cast<AAX_IACFTransport*>(&host_transport));
    AAX_VTransport transport(&host);
    bool playing = false;
    int32_t rate = 0;
    int64_t x = 0;
    EXPECT_CALL(host_transport, IsTransportPlaying(&playing)).WillOnce(DoAll(SetArgPointee<0>(true), Return(0)));
    EXPECT_CALL(host_transport, GetTimeCodeInfo(_, _)).Times(0);
    EXPECT_EQ(transport.IsTransportPlaying(&playing), 0);
    EXPECT_TRUE(playing);
    EXPECT_EQ(transport.GetTimeCodeInfo(&rate, &x), kNull);
    EXPECT_EQ(transport.GetTimelineSelectionStartPosition(&x), kNull);
}

TEST(HostWrappers, AutomationDelegateForwardsIdentifiersAndValuesAndReleases) {
    MockAutomationDelegate host_delegate;
    FakeHost host;
    host.Offer(IID_IAAXAutomationDelegateV1, &host_delegate);
    {
        AAX_VAutomationDelegate automation(&host);
        EXPECT_TRUE(automation.IsValid());
        bool touched = false;
        EXPECT_CALL(host_delegate, RegisterParameter(StrEq("Time"))).WillOnce(Return(301));
        EXPECT_CALL(host_delegate, UnregisterParameter(StrEq("Time"))).WillOnce(Return(302));
        EXPECT_CALL(host_delegate, PostSetValueRequest(StrEq("Mix"), 0.25)).WillOnce(Return(303));
        EXPECT_CALL(host_delegate, PostCurrentValue(StrEq("Mix"), 0.75)).WillOnce(Return(304));
        EXPECT_CALL(host_delegate, PostTouchRequest(StrEq("Feedback"))).WillOnce(Return(305));
        EXPECT_CALL(host_delegate, PostReleaseRequest(StrEq("Feedback"))).WillOnce(Return(306));
        EXPECT_CALL(host_delegate, GetTouchState(StrEq("Feedback"), &touched))
            .WillOnce(DoAll(SetArgPointee<1>(true), Return(307)));
        EXPECT_EQ(automation.RegisterParameter("Time"), 301);
        EXPECT_EQ(automation.UnregisterParameter("Time"), 302);
        EXPECT_EQ(automation.PostSetValueRequest("Mix", 0.25), 303);
        EXPECT_EQ(automation.PostCurrentValue("Mix", 0.75), 304);
        EXPECT_EQ(automation.PostTouchRequest("Feedback"), 305);
        EXPECT_EQ(automation.PostReleaseRequest("Feedback"), 306);
        EXPECT_EQ(automation.GetTouchState("Feedback", &touched), 307);
        EXPECT_TRUE(touched);
    }
    EXPECT_EQ(host_delegate.references, 0);
}

TEST(HostWrappers, ViewContainerForwardsAndKeepsItsReference) {
    MockViewContainer host_container;
    FakeHost container_unknown;
    container_unknown.Offer(IID_IAAXViewContainerV1, &host_container);
    int window = 0;
    {
        AAX_VViewContainer container(&container_unknown);
        EXPECT_TRUE(container.IsValid());
        AAX_Point size{300.0f, 500.0f};
        uint32_t modifiers = 0;
        EXPECT_CALL(host_container, GetType()).WillOnce(Return(AAX_eViewContainer_Type_HWND));
        EXPECT_CALL(host_container, GetPtr()).WillOnce(Return(&window));
        EXPECT_CALL(host_container, GetModifiers(&modifiers)).WillOnce(DoAll(SetArgPointee<0>(4u), Return(401)));
        EXPECT_CALL(host_container, SetViewSize(_)).WillOnce(Return(402));
        EXPECT_CALL(host_container, HandleParameterMouseDown(StrEq("Time"), 1u)).WillOnce(Return(403));
        EXPECT_CALL(host_container, HandleParameterMouseDrag(StrEq("Time"), 2u)).WillOnce(Return(404));
        EXPECT_CALL(host_container, HandleParameterMouseUp(StrEq("Time"), 3u)).WillOnce(Return(405));
        EXPECT_EQ(container.GetType(), 3);
        EXPECT_EQ(container.GetPtr(), &window);
        EXPECT_EQ(container.GetModifiers(&modifiers), 401);
        EXPECT_EQ(modifiers, 4u);
        EXPECT_EQ(container.SetViewSize(size), 402);
        EXPECT_EQ(container.HandleParameterMouseDown("Time", 1), 403);
        EXPECT_EQ(container.HandleParameterMouseDrag("Time", 2), 404);
        EXPECT_EQ(container.HandleParameterMouseUp("Time", 3), 405);
    }
    EXPECT_EQ(host_container.references, 1);
}

TEST(HostWrappers, HostServicesComeFromTheFactoryWhichIsReleased) {
    MockHostServices host_services;
    MockComponentFactory factory;
    FakeHost host;
    host.Offer(IID_IACFComponentFactory, &factory);
    EXPECT_CALL(factory, CreateComponent(Eq(AAXCompID_HostServices), nullptr, Eq(IID_IAAXHostServicesV1), _))
        .WillOnce([&](const acfCLSID&, IACFUnknown*, const acfIID&, void** out) {
            host_services.AddRef();
            *out = static_cast<AAX_IACFHostServices*>(&host_services);
            return ACF_OK;
        });
    {
        AAX_VHostServices services(&host);
        EXPECT_TRUE(services.IsValid());
        EXPECT_EQ(factory.references, 0);
        EXPECT_EQ(host_services.references, 1);
        EXPECT_CALL(host_services, HandleAssertFailure(StrEq("file.cpp"), 12, StrEq("note"))).WillOnce(Return(501));
        EXPECT_CALL(host_services, Trace(2, StrEq("message"))).WillOnce(Return(502));
        EXPECT_EQ(services.HandleAssertFailure("file.cpp", 12, "note"), 501);
        EXPECT_EQ(services.Trace(2, "message"), 502);
    }
    EXPECT_EQ(host_services.references, 0);
}

TEST(HostWrappers, HostServicesWithoutTheComponentStillReleaseTheFactory) {
    MockComponentFactory factory;
    FakeHost host;
    host.Offer(IID_IACFComponentFactory, &factory);
    EXPECT_CALL(factory, CreateComponent(_, _, _, _)).WillOnce(Return(ACF_E_NOINTERFACE));
    AAX_VHostServices services(&host);
    EXPECT_FALSE(services.IsValid());
    EXPECT_EQ(factory.references, 0);
    EXPECT_EQ(services.Trace(0, "x"), kNull);
}
