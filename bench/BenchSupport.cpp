#include "BenchSupport.h"

#include <cmath>
#include <cstring>

#include "interfaces/aax_ids.h"
#include "platform/platform.h"
#include "vsthost/VstCallBack.h"
#include "vsthost/VstInterface.h"
#include "wrapper/AAXWrapper_Parameters.h"

namespace bench {

// ---------------------------------------------------------------------------------------------
// Effects

namespace {

const char* gEffectLoadError = "";

}  // namespace

vst2::MainProc DelayEntryPoint() {
#if defined(AAXW_EFFECT_LIBRARY_PATH)
    static const vst2::MainProc entry = []() -> vst2::MainProc {
        platform::LibraryHandle library = platform::LoadLibraryFile(AAXW_EFFECT_LIBRARY_PATH);
        if (library == nullptr) {
            gEffectLoadError = platform::LastLoadError();
            return nullptr;
        }
        auto found = reinterpret_cast<vst2::MainProc>(platform::LookupSymbol(library, "main"));
        if (found == nullptr) gEffectLoadError = "the effect library has no \"main\"";
        return found;
    }();
    return entry;
#else
    gEffectLoadError = "the bench was built without the effect library";
    return nullptr;
#endif
}

const char* LastEffectLoadError() { return gEffectLoadError; }

intptr_t DirectHostCallback(vst2::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    static vst2::VstTimeInfo time = [] {
        vst2::VstTimeInfo info{};
        info.sampleRate = kSampleRate;
        info.tempo = 120.0;
        info.timeSigNumerator = 4;
        info.timeSigDenominator = 4;
        info.flags = vst2::kVstTempoValid | vst2::kVstTransportPlaying | vst2::kVstTimeSigValid;
        return info;
    }();
    return opcode == vst2::audioMasterGetTime ? reinterpret_cast<intptr_t>(&time) : 0;
}

namespace {

vst2::AEffect* CreateEffect(EffectKind kind, vst2::AudioMasterCallback host) {
    if (kind == EffectKind::Null) return CreateNullEffect(host);
    if (kind == EffectKind::NullManyParameters) return CreateNullEffect(host, kManyParameters);
    if (kind == EffectKind::NullAskingTime) return CreateNullEffect(host, 0, true);
    const vst2::MainProc entry = DelayEntryPoint();
    return entry != nullptr ? entry(host) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Host

int32_t BenchTransport::Tempo(double* bpm) const {
    *bpm = 120.0;
    return AAX_SUCCESS;
}
int32_t BenchTransport::Meter(int32_t* numerator, int32_t* denominator) const {
    *numerator = 4;
    *denominator = 4;
    return AAX_SUCCESS;
}
int32_t BenchTransport::Playing(bool* playing) const {
    *playing = true;
    return AAX_SUCCESS;
}
int32_t BenchTransport::SampleLocation(int64_t* location) const {
    *location = 192000;
    return AAX_SUCCESS;
}
int32_t BenchTransport::BarBeatPosition(int32_t* bars, int32_t* beats, int64_t* ticks, int64_t) const {
    *bars = 5;
    *beats = 2;
    *ticks = 0;
    return AAX_SUCCESS;
}

void BenchMidiNode::SetPackets(uint32_t count, int32_t frames) {
    if (count > kCapacity) count = kCapacity;
    const uint32_t span = frames > 0 ? static_cast<uint32_t>(frames) : 1u;
    ClearIncoming();
    for (uint32_t i = 0; i < count; ++i) {
        Add((i * span) / (count > 0 ? count : 1u), 0x90, static_cast<uint8_t>(36 + i % 48), 100);
    }
    packetCount_ = count;
}

// ---------------------------------------------------------------------------------------------
// Buffers

Buffers::Buffers() : mStorage(4 * static_cast<size_t>(kMaxFrames)) {
    float* base = mStorage.data();
    inputs[0] = base;
    inputs[1] = base + kMaxFrames;
    outputs[0] = base + 2 * kMaxFrames;
    outputs[1] = base + 3 * kMaxFrames;
    for (int32_t i = 0; i < kMaxFrames; ++i) {
        inputs[0][i] = 0.25f * std::sin(0.031f * static_cast<float>(i));
        inputs[1][i] = 0.25f * std::cos(0.017f * static_cast<float>(i));
    }
}

Buffers& Buffers::For(int32_t instance) {
    static std::vector<std::unique_ptr<Buffers>> sets = [] {
        std::vector<std::unique_ptr<Buffers>> all;
        for (int32_t i = 0; i < kMaxInstances; ++i) all.emplace_back(new Buffers());
        return all;
    }();
    return *sets[static_cast<size_t>(instance)];
}

// ---------------------------------------------------------------------------------------------
// Instances

DirectInstance::DirectInstance(vst2::AEffect* effect) : mEffect(effect) {
    mEffect->dispatcher(mEffect, vst2::effSetSampleRate, 0, 0, nullptr, kSampleRate);
    mEffect->dispatcher(mEffect, vst2::effOpen, 0, 0, nullptr, 0.0f);
    mEffect->dispatcher(mEffect, vst2::effSetBlockSize, 0, VstInterface::kMaxBlockFrames, nullptr, 0.0f);
    mEffect->dispatcher(mEffect, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
}

DirectInstance::~DirectInstance() { mEffect->dispatcher(mEffect, vst2::effClose, 0, 0, nullptr, 0.0f); }

WrappedInstance::WrappedInstance(vst2::AEffect* effect, Buffers& buffers, aaxhost::TransportObject* transport)
    : mModel(static_cast<AAXWrapper_Parameters*>(AAXWrapper_Parameters::Create())),
      mTransportNode(3, transport) {
    mSettings.sampleRate = kSampleRate;
    // The record, the data model's packets and the frame count in one block, as the host
    // engine lays them out.
    mPackets.Lay(kField_Count,
                 {{kField_InputChannels, 4},
                  {kField_OutputChannels, 4},
                  {kField_MasterBypass, 4},
                  {kField_VstInterface, 8},
                  {kField_Loaded, 4}},
                 sizeof(int32_t));
    mContext = reinterpret_cast<AlgorithmContext*>(mPackets.Record());
    mFrames = reinterpret_cast<int32_t*>(mPackets.HostFields());
    mModel->AddRef();
    // The loader found nothing (the bench points the registry nowhere), or found some other
    // installed copy: either way the measured effect takes its place, installed exactly as the
    // data model installs what its loader returns.
    if (vst2::AEffect* other = mModel->vstInterface->effect) {
        VstInterface::DispatchUngated(other, vst2::effClose, 0, 0, nullptr, 0.0f);
    }
    effect->user = mModel->vstCallBack;
    mModel->vstInterface->effect = effect;
    mModel->vstLoaded = 1;
    mModel->chunkSizeBeforeRestore = 0;
    mModel->Initialize(&mController);
    mPackets.Apply();

    mContext->fields[kField_AudioIn] = buffers.inputs;
    mContext->fields[kField_InputChannels] = mPackets.Live(kField_InputChannels);
    mContext->fields[kField_AudioOut] = buffers.outputs;
    mContext->fields[kField_OutputChannels] = mPackets.Live(kField_OutputChannels);
    mContext->fields[kField_SideChainIn] = nullptr;
    mContext->fields[kField_BufferLength] = mFrames;
    mContext->fields[kField_MasterBypass] = mPackets.Live(kField_MasterBypass);
    mContext->fields[kField_VstInterface] = mPackets.Live(kField_VstInterface);
    mContext->fields[kField_Loaded] = mPackets.Live(kField_Loaded);
    mContext->fields[kField_TransportNode] = mTransportNode.Binary();
    mContext->fields[kField_MidiInputNode] = mMidiInput.Binary();
}

WrappedInstance::~WrappedInstance() {
    mModel->Uninitialize();
    mModel->Release();
}

vst2::AEffect* WrappedInstance::Effect() const { return mModel->vstInterface->effect; }

bool WrappedInstance::Ready() const {
    const auto* loaded = static_cast<const int32_t*>(mContext->fields[kField_Loaded]);
    const auto* stored = static_cast<VstInterface* const*>(mContext->fields[kField_VstInterface]);
    return *loaded == 1 && *stored == mModel->vstInterface;
}

namespace {

template <typename Instance>
using Pool = std::vector<std::unique_ptr<Instance>>;

constexpr size_t kKinds = 4;
size_t KindIndex(EffectKind kind) { return static_cast<size_t>(kind); }

aaxhost::TransportObject& SharedTransport() {
    static BenchTransport answers;
    static aaxhost::TransportObject transport(&answers);
    return transport;
}

}  // namespace

const std::vector<std::unique_ptr<DirectInstance>>& DirectPool::Get(EffectKind kind, int32_t count) {
    static Pool<DirectInstance> pools[kKinds];
    Pool<DirectInstance>& pool = pools[KindIndex(kind)];
    while (static_cast<int32_t>(pool.size()) < count) {
        vst2::AEffect* effect = CreateEffect(kind, &DirectHostCallback);
        if (effect == nullptr) {
            pool.clear();
            break;
        }
        pool.emplace_back(new DirectInstance(effect));
    }
    return pool;
}

std::vector<std::unique_ptr<WrappedInstance>>& WrappedPool::Get(EffectKind kind, int32_t count) {
    static Pool<WrappedInstance> pools[kKinds];
    Pool<WrappedInstance>& pool = pools[KindIndex(kind)];
    while (static_cast<int32_t>(pool.size()) < count) {
        vst2::AEffect* effect = CreateEffect(kind, &VstCallBack::HostCallback);
        if (effect == nullptr) {
            pool.clear();
            break;
        }
        const auto index = static_cast<int32_t>(pool.size());
        pool.emplace_back(new WrappedInstance(effect, Buffers::For(index), &SharedTransport()));
        if (!pool.back()->Ready()) {
            pool.clear();
            break;
        }
    }
    return pool;
}

namespace {

// Runs processReplacing on effect until it has processed `frames` more frames.
void Advance(vst2::AEffect* effect, Buffers& buffers, int64_t frames) {
    while (frames > 0) {
        const auto chunk = static_cast<int32_t>(frames < kMaxFrames ? frames : kMaxFrames);
        effect->processReplacing(effect, buffers.inputs, buffers.outputs, chunk);
        frames -= chunk;
    }
}

}  // namespace

void WrappedPool::AlignWithDirect(EffectKind kind, int32_t count) {
    const auto& direct = DirectPool::Get(kind, count);
    auto& wrapped = Get(kind, count);
    for (size_t i = 0; i < direct.size() && i < wrapped.size() && static_cast<int32_t>(i) < count; ++i) {
        DirectInstance& d = *direct[i];
        WrappedInstance& w = *wrapped[i];
        Buffers& buffers = Buffers::For(static_cast<int32_t>(i));
        if (d.framesProcessed < w.framesProcessed) {
            Advance(d.Effect(), buffers, w.framesProcessed - d.framesProcessed);
            d.framesProcessed = w.framesProcessed;
        } else if (w.framesProcessed < d.framesProcessed) {
            Advance(w.Effect(), buffers, d.framesProcessed - w.framesProcessed);
            w.framesProcessed = d.framesProcessed;
        }
    }
}

std::vector<void*> WrappedPool::Batch(EffectKind kind, int32_t count) {
    std::vector<void*> batch;
    auto& pool = Get(kind, count);
    for (int32_t i = 0; i < count && i < static_cast<int32_t>(pool.size()); ++i) {
        batch.push_back(pool[static_cast<size_t>(i)]->Context());
    }
    return batch;
}

}  // namespace bench
