#include "HostInstance.h"

#include <algorithm>
#include <cstring>

namespace aaxhost {

namespace {

constexpr uint32_t kLargestPort = 1u << 20;
constexpr int64_t kLargestPrivateBlock = int64_t{16} << 20;
constexpr AAX_CFieldIndex kMostFields = 4096;
constexpr uint32_t kLargestChunk = 64u << 20;
constexpr size_t kChunkGuardBytes = 64;
constexpr uint8_t kGuardByte = 0xA5;
constexpr size_t kMostRecords = 100000;

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Packets

void PacketStore::Lay(AAX_CFieldIndex recordFields, const std::vector<PortSize>& ports, size_t hostBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    ports_.clear();
    // Ports of 8 bytes and more first, so the 4-byte ones pack behind them without gaps.
    std::vector<PortSize> order(ports);
    std::stable_sort(order.begin(), order.end(),
                     [](const PortSize& a, const PortSize& b) { return (a.size >= 8) > (b.size >= 8); });
    size_t bytes = static_cast<size_t>(recordFields) * sizeof(void*);
    std::vector<size_t> offsets;
    for (const PortSize& port : order) {
        if (port.size >= 8) bytes = (bytes + 7) & ~size_t{7};
        offsets.push_back(bytes);
        bytes += (std::max<size_t>(port.size, 4) + 3) & ~size_t{3};
    }
    bytes = (bytes + 7) & ~size_t{7};
    const size_t hostOffset = bytes;
    bytes += hostBytes;
    block_.reset(new Line[std::max<size_t>((bytes + sizeof(Line) - 1) / sizeof(Line), 1)]());
    uint8_t* const base = block_[0].bytes;
    record_ = reinterpret_cast<void**>(base);
    for (AAX_CFieldIndex i = 0; i < recordFields; ++i) record_[i] = nullptr;
    recordFields_ = recordFields;
    hostFields_ = base + hostOffset;
    for (size_t i = 0; i < order.size(); ++i) {
        Port& port = ports_[order[i].field];
        port.size = order[i].size;
        port.storage = (std::max<size_t>(order[i].size, 4) + 3) & ~size_t{3};
        port.live = base + offsets[i];
        port.pending.assign(port.storage, 0);
        port.dirty = false;
    }
}

AAX_Result PacketStore::Post(AAX_CFieldIndex field, const void* payload, uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ports_.find(field);
    const bool accepted = it != ports_.end() && size <= it->second.size && (payload != nullptr || size == 0);
    if (posts_.size() < kMostRecords) posts_.push_back({field, size, accepted});
    if (!accepted) {
        ++refused_;
        return AAX_ERROR_NULL_OBJECT;
    }
    Port& port = it->second;
    std::fill(port.pending.begin(), port.pending.end(), 0);
    if (size > 0) std::memcpy(port.pending.data(), payload, size);
    port.dirty = true;
    anyDirty_.store(true);
    return AAX_SUCCESS;
}

void PacketStore::Apply() {
    if (!anyDirty_.load()) return;
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (auto& entry : ports_) {
        Port& port = entry.second;
        if (!port.dirty) continue;
        std::memcpy(port.live, port.pending.data(), port.storage);
        port.dirty = false;
    }
    anyDirty_.store(false);
}

uint8_t* PacketStore::Live(AAX_CFieldIndex field) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ports_.find(field);
    return it == ports_.end() ? nullptr : it->second.live;
}

std::vector<uint8_t> PacketStore::Latest(AAX_CFieldIndex field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ports_.find(field);
    if (it == ports_.end()) return {};
    const Port& port = it->second;
    const uint8_t* source = port.dirty ? port.pending.data() : port.live;
    return std::vector<uint8_t>(source, source + port.size);
}

std::vector<PacketStore::PostRecord> PacketStore::Posts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posts_;
}

// ---------------------------------------------------------------------------------------------
// Controller

AAX_Result HostController::GetEffectID(AAX_IString* outEffectID) const {
    if (outEffectID == nullptr) return AAX_ERROR_NULL_OBJECT;
    outEffectID->Set(effectID_.c_str());
    return AAX_SUCCESS;
}

AAX_Result HostController::GetSampleRate(float* outSampleRate) const {
    if (outSampleRate == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outSampleRate = static_cast<float>(settings_.sampleRate);
    return AAX_SUCCESS;
}

AAX_Result HostController::GetInputStemFormat(int32_t* outStemFormat) const {
    if (outStemFormat == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outStemFormat = inputStemFormat_.load() != 0 ? inputStemFormat_.load() : settings_.stemFormat;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetOutputStemFormat(int32_t* outStemFormat) const {
    if (outStemFormat == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outStemFormat = outputStemFormat_.load() != 0 ? outputStemFormat_.load() : settings_.stemFormat;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetSignalLatency(int32_t* outSamples) const {
    if (outSamples == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outSamples = latency_.load();
    return AAX_SUCCESS;
}

AAX_Result HostController::GetCycleCount(int32_t, int32_t* outCycles) const {
    if (outCycles == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outCycles = 0;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetTODLocation(int64_t* outTODLocation) const {
    if (outTODLocation == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outTODLocation = position_.load();
    return AAX_SUCCESS;
}

AAX_Result HostController::SetSignalLatency(int32_t numSamples) {
    latency_.store(numSamples);
    return AAX_SUCCESS;
}

AAX_Result HostController::SetCycleCount(int32_t*, int32_t*, int32_t) { return AAX_SUCCESS; }

AAX_Result HostController::PostPacket(AAX_CFieldIndex fieldIndex, const void* payload, uint32_t payloadSize) {
    return packets_.Post(fieldIndex, payload, payloadSize);
}

AAX_Result HostController::GetCurrentMeterValue(AAX_CTypeID, float* outValue) const {
    if (outValue == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outValue = 0.0f;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetMeterPeakValue(AAX_CTypeID, float* outValue) const {
    if (outValue == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outValue = 0.0f;
    return AAX_SUCCESS;
}

AAX_Result HostController::ClearMeterPeakValue(AAX_CTypeID) const { return AAX_SUCCESS; }

AAX_Result HostController::GetMeterClipped(AAX_CTypeID, bool* outClipped) const {
    if (outClipped == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outClipped = false;
    return AAX_SUCCESS;
}

AAX_Result HostController::ClearMeterClipped(AAX_CTypeID) const { return AAX_SUCCESS; }

AAX_Result HostController::GetMeterCount(uint32_t* outMeterCount) const {
    if (outMeterCount == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outMeterCount = 0;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetNextMIDIPacket(AAX_CFieldIndex*, AAX_CMidiPacket*) { return AAX_ERROR_UNIMPLEMENTED; }

AAX_Result HostController::SendNotification(AAX_CTypeID, const void*, uint32_t) { return AAX_SUCCESS; }

AAX_Result HostController::GetHybridSignalLatency(int32_t* outSamples) const {
    if (outSamples == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outSamples = 0;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetCurrentAutomationTimestamp(AAX_CTimestamp* outTimestamp) const {
    if (outTimestamp == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outTimestamp = 0;
    return AAX_SUCCESS;
}

AAX_Result HostController::GetHostName(AAX_IString* outHostName) const {
    if (outHostName == nullptr) return AAX_ERROR_NULL_OBJECT;
    outHostName->Set("aaxhost");
    return AAX_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Automation delegate

void HostAutomationDelegate::Record(const char* operation, AAX_CParamID id, double value) const {
    if (!recording_.load()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.size() < kMostRecords) events_.push_back({operation, Text(id), value});
}

AAX_Result HostAutomationDelegate::RegisterParameter(AAX_CParamID parameterID) {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("Register", parameterID, 0.0);
    std::lock_guard<std::mutex> lock(mutex_);
    registered_.insert(parameterID);
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::UnregisterParameter(AAX_CParamID parameterID) {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("Unregister", parameterID, 0.0);
    std::lock_guard<std::mutex> lock(mutex_);
    registered_.erase(parameterID);
    touched_.erase(parameterID);
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::PostSetValueRequest(AAX_CParamID parameterID, double normalizedValue) const {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("SetValueRequest", parameterID, normalizedValue);
    // The host settles the value (clamped to the normalized range) and hands it back.
    const double settled = std::clamp(normalizedValue, 0.0, 1.0);
    if (answerRequests_.load() && dataModel_ != nullptr) {
        if (dataModel_->UpdateParameterNormalizedValue(parameterID, settled, AAX_eUpdateSource_Unspecified) !=
            AAX_SUCCESS) {
            ++failedAnswers_;
        }
    }
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::PostCurrentValue(AAX_CParamID parameterID, double normalizedValue) const {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("CurrentValue", parameterID, normalizedValue);
    std::lock_guard<std::mutex> lock(mutex_);
    current_[parameterID] = normalizedValue;
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::PostTouchRequest(AAX_CParamID parameterID) {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("Touch", parameterID, 0.0);
    std::lock_guard<std::mutex> lock(mutex_);
    ++touched_[parameterID];
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::PostReleaseRequest(AAX_CParamID parameterID) {
    if (parameterID == nullptr) return AAX_ERROR_INVALID_PARAMETER_ID;
    Record("Release", parameterID, 0.0);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = touched_.find(parameterID);
    if (it != touched_.end() && --it->second <= 0) touched_.erase(it);
    return AAX_SUCCESS;
}

AAX_Result HostAutomationDelegate::GetTouchState(AAX_CParamID parameterID, bool* outTouched) {
    if (parameterID == nullptr || outTouched == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outTouched = IsTouched(parameterID);
    return AAX_SUCCESS;
}

std::vector<HostAutomationDelegate::Event> HostAutomationDelegate::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<HostAutomationDelegate::Event> HostAutomationDelegate::EventsFor(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Event> events;
    for (const Event& event : events_) {
        if (event.id == id) events.push_back(event);
    }
    return events;
}

bool HostAutomationDelegate::IsRegistered(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registered_.count(id) != 0;
}

void HostAutomationDelegate::ClearEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

std::set<std::string> HostAutomationDelegate::Registered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registered_;
}

bool HostAutomationDelegate::IsTouched(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return touched_.count(id) != 0;
}

bool HostAutomationDelegate::CurrentValue(const std::string& id, double* value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = current_.find(id);
    if (it == current_.end()) return false;
    *value = it->second;
    return true;
}

// ---------------------------------------------------------------------------------------------
// MIDI nodes and view containers

AAX_Result HostViewContainer::GetModifiers(uint32_t* outModifiers) {
    if (outModifiers == nullptr) return AAX_ERROR_NULL_OBJECT;
    *outModifiers = 0;
    return AAX_SUCCESS;
}

AAX_Result HostViewContainer::SetViewSize(AAX_Point& size) {
    sizeRequested_ = true;
    size_ = size;
    return AAX_SUCCESS;
}

bool HostViewContainer::SizeRequested(AAX_Point* size) const {
    if (sizeRequested_ && size != nullptr) *size = size_;
    return sizeRequested_;
}

ACFRESULT HostUnknown::QueryInterface(const acfIID& iid, void** outInterface) {
    if (outInterface == nullptr) return ACF_E_NOINTERFACE;
    *outInterface = nullptr;
    if (iid == IID_IACFUnknown) {
        *outInterface = static_cast<IACFUnknown*>(this);
        AddRef();
        return ACF_OK;
    }
    if (controller_ != nullptr && offers.controller &&
        (iid == IID_IAAXControllerV1 || (iid == IID_IAAXControllerV2 && offers.controllerV2))) {
        return controller_->QueryInterface(iid, outInterface);
    }
    if (automation_ != nullptr && offers.automationDelegate && iid == IID_IAAXAutomationDelegateV1) {
        return automation_->QueryInterface(iid, outInterface);
    }
    if (transport_ != nullptr && offers.transport &&
        (iid == IID_IAAXTransportV1 || (iid == IID_IAAXTransportV2 && offers.transportV2))) {
        return transport_->QueryInterface(iid, outInterface);
    }
    if (dataModel && offers.dataModel && (iid == IID_IAAXEffectParametersV1 || iid == IID_IAAXEffectParametersV2)) {
        IACFUnknown* model = dataModel();
        if (model == nullptr) return ACF_E_NOINTERFACE;
        return model->QueryInterface(iid, outInterface);
    }
    return ACF_E_NOINTERFACE;
}

// ---------------------------------------------------------------------------------------------
// Chunks

int32_t SavedChunk::DataSize() const {
    if (record.size() < offsetof(AAX_SPlugInChunk, fData)) return -1;
    int32_t size = 0;
    std::memcpy(&size, record.data(), sizeof size);
    return size;
}

// ---------------------------------------------------------------------------------------------
// Instance

void* CreateThroughFactory(void* proc, const acfIID& iid) {
    if (proc == nullptr) return nullptr;
    auto create = reinterpret_cast<AAX_CCreateObjectProc>(proc);
    IACFUnknown* unknown = create();
    if (unknown == nullptr) return nullptr;
    void* out = nullptr;
    if (unknown->QueryInterface(iid, &out) != ACF_OK || out == nullptr) {
        // Take and drop a reference so the component frees itself.
        unknown->AddRef();
        unknown->Release();
        return nullptr;
    }
    return out;
}

std::unique_ptr<HostInstance> HostInstance::Create(const EffectDescription& effect, const InstanceSettings& settings,
                                                   std::string* error) {
    const ComponentDescription* component = effect.ComponentForStem(settings.stemFormat);
    if (component == nullptr) {
        if (error) *error = "the effect has no component for stem format " + std::to_string(settings.stemFormat);
        return nullptr;
    }
    if (settings.maxBlock <= 0 || settings.sampleRate <= 0) {
        if (error) *error = "invalid instance settings";
        return nullptr;
    }
    std::unique_ptr<HostInstance> instance(new HostInstance(effect, *component, settings));
    if (!instance->LayOutContext(error)) return nullptr;
    void* model = CreateThroughFactory(effect.ProcPtr(kAAX_ProcPtrID_Create_EffectParameters),
                                       IID_IAAXEffectParametersV1);
    if (model == nullptr) {
        if (error) *error = "the effect's data model factory gave no data model";
        return nullptr;
    }
    instance->dataModel_ = static_cast<AAX_IACFEffectParameters*>(model);
    instance->automation_->SetDataModel(instance->dataModel_);
    return instance;
}

HostInstance::HostInstance(const EffectDescription& effect, const ComponentDescription& component,
                           const InstanceSettings& settings)
    : effectID_(effect.effectID),
      guiFactory_(effect.ProcPtr(kAAX_ProcPtrID_Create_EffectGUI)),
      component_(component),
      settings_(settings) {
    const ProcessProcDeclaration* proc = component_.NativeProc();
    proc_ = proc->proc;
    manufacturerID_ = static_cast<AAX_CTypeID>(proc->properties.Get(AAX_eProperty_ManufacturerID).value_or(0));
    productID_ = static_cast<AAX_CTypeID>(proc->properties.Get(AAX_eProperty_ProductID).value_or(0));
    plugInID_ = static_cast<AAX_CTypeID>(proc->properties.Get(AAX_eProperty_PlugInID_Native).value_or(0));
    channels_ = AAX_StemFormatChannelCount(settings_.stemFormat);
    transport_.SetSampleRate(settings_.sampleRate);
    controller_ = std::make_unique<HostController>(settings_, effectID_, packets_);
    automation_ = std::make_unique<HostAutomationDelegate>();
    hostTransport_ = std::make_unique<HostTransport>(transport_);
    modelContext_ = std::make_unique<HostUnknown>(controller_.get(), automation_.get(), hostTransport_.get());
    guiContext_ = std::make_unique<HostUnknown>(controller_.get(), automation_.get(), hostTransport_.get());
    guiContext_->dataModel = [this]() -> IACFUnknown* { return ModelForGui(); };
}

HostInstance::~HostInstance() { Release(); }

bool HostInstance::LayOutContext(std::string* error) {
    AAX_CFieldIndex count = 0;
    std::vector<PacketStore::PortSize> ports;
    for (const FieldDeclaration& field : component_.fields) {
        if (field.index >= kMostFields) {
            if (error) *error = "field index " + std::to_string(field.index) + " is out of range";
            return false;
        }
        count = std::max(count, field.index + 1);
        if (field.kind != FieldKind::DataInPort) continue;
        if (field.packetSize > kLargestPort) {
            if (error) *error = "data-in port " + std::to_string(field.index) + " is too large";
            return false;
        }
        ports.push_back({field.index, field.packetSize});
    }
    // The record, the ports' buffers and the frame count in one block.
    packets_.Lay(count, ports, sizeof(int32_t));
    context_ = packets_.Record();
    bufferLength_ = reinterpret_cast<int32_t*>(packets_.HostFields());
    contextFields_ = count;
    const size_t frames = static_cast<size_t>(settings_.maxBlock);
    inputBuffers_.assign(static_cast<size_t>(channels_), std::vector<float>(frames, 0.0f));
    outputBuffers_.assign(static_cast<size_t>(channels_), std::vector<float>(frames, 0.0f));
    for (int32_t c = 0; c < channels_; ++c) {
        inputPointers_.push_back(inputBuffers_[static_cast<size_t>(c)].data());
        outputPointers_.push_back(outputBuffers_[static_cast<size_t>(c)].data());
    }
    sampleRateField_ = static_cast<float>(settings_.sampleRate);
    // Reserve every block first so the pointers taken below stay valid.
    size_t auxCount = 0, privateCount = 0, meterCount = 0, nodeCount = 0;
    for (const FieldDeclaration& field : component_.fields) {
        auxCount += field.kind == FieldKind::AuxOutputStem;
        privateCount += field.kind == FieldKind::PrivateData || field.kind == FieldKind::TemporaryData;
        meterCount += field.kind == FieldKind::Meters;
        nodeCount += field.kind == FieldKind::MIDINode;
    }
    auxBuffers_.reserve(auxCount * 16);
    auxPointers_.reserve(auxCount);
    privateBlocks_.reserve(privateCount);
    meterBlocks_.reserve(meterCount);
    midiNodes_.reserve(nodeCount);
    for (const FieldDeclaration& field : component_.fields) {
        void*& slot = context_[field.index];
        switch (field.kind) {
            case FieldKind::AudioIn: slot = inputPointers_.data(); break;
            case FieldKind::AudioOut: slot = outputPointers_.data(); break;
            case FieldKind::AudioBufferLength: slot = bufferLength_; break;
            case FieldKind::SampleRate: slot = &sampleRateField_; break;
            case FieldKind::Clock: slot = &clockField_; break;
            case FieldKind::SideChainIn: slot = &sideChainChannel_; break;
            case FieldKind::DataInPort: slot = packets_.Live(field.index); break;
            case FieldKind::AuxOutputStem: {
                const int32_t auxChannels = std::clamp(AAX_StemFormatChannelCount(field.stemFormat), 1, 16);
                std::vector<float*> pointers;
                for (int32_t c = 0; c < auxChannels; ++c) {
                    auxBuffers_.emplace_back(frames, 0.0f);
                    pointers.push_back(auxBuffers_.back().data());
                }
                auxPointers_.push_back(std::move(pointers));
                slot = auxPointers_.back().data();
                break;
            }
            case FieldKind::PrivateData:
            case FieldKind::TemporaryData:
                if (field.dataSize < 0 || field.dataSize > kLargestPrivateBlock) {
                    if (error) *error = "private data field " + std::to_string(field.index) + " has a bad size";
                    return false;
                }
                privateBlocks_.emplace_back(static_cast<size_t>(std::max<int64_t>(field.dataSize, 8)), 0);
                slot = privateBlocks_.back().data();
                break;
            case FieldKind::Meters:
                meterBlocks_.emplace_back(std::max<size_t>(field.meterIDs.size(), 1), 0.0f);
                slot = meterBlocks_.back().data();
                break;
            case FieldKind::MIDINode:
                midiNodes_.push_back(
                    std::make_unique<MidiNodeObject>(field.nodeType, settings_.maxMidiPackets, &nodeTransport_));
                slot = midiNodes_.back()->Binary();
                break;
            case FieldKind::DmaInstance:
            case FieldKind::ReservedField: slot = nullptr; break;
        }
    }
    return true;
}

AAX_Result HostInstance::Initialize() {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    const AAX_Result result = dataModel_->Initialize(modelContext_.get());
    initialized_ = true;
    return result;
}

AAX_Result HostInstance::Uninitialize() {
    if (dataModel_ == nullptr || !initialized_) return AAX_SUCCESS;
    initialized_ = false;
    return dataModel_->Uninitialize();
}

void HostInstance::Release() {
    CloseGui();
    if (dataModel_ == nullptr) return;
    Uninitialize();
    automation_->SetDataModel(nullptr);
    dataModel_->Release();
    dataModel_ = nullptr;
}

AAX_IACFEffectParameters* HostInstance::ModelForGui() { return dataModel_; }

int32_t HostInstance::ParameterCount() const {
    int32_t count = 0;
    if (dataModel_ == nullptr || dataModel_->GetNumberOfParameters(&count) != AAX_SUCCESS) return 0;
    return count;
}

std::vector<ParameterInfo> HostInstance::Parameters() const {
    std::vector<ParameterInfo> parameters;
    const int32_t count = ParameterCount();
    for (int32_t i = 0; i < count; ++i) {
        ParameterInfo info;
        info.index = i;
        TextObject id;
        if (dataModel_->GetParameterIDFromIndex(i, ModuleView(id)) != AAX_SUCCESS) continue;
        info.id = id.Str();
        TextObject name;
        dataModel_->GetParameterName(id.Get(), ModuleView(name));
        info.name = name.Str();
        AAX_EParameterType type = AAX_eParameterType_Continuous;
        if (dataModel_->GetParameterType(id.Get(), &type) == AAX_SUCCESS) info.type = type;
        dataModel_->GetParameterNumberOfSteps(id.Get(), &info.steps);
        dataModel_->GetParameterDefaultNormalizedValue(id.Get(), &info.defaultValue);
        dataModel_->GetParameterNormalizedValue(id.Get(), &info.value);
        TextObject text;
        dataModel_->GetParameterValueString(id.Get(), ModuleView(text), 64);
        info.text = text.Str();
        dataModel_->GetParameterIsAutomatable(id.Get(), &info.automatable);
        parameters.push_back(std::move(info));
    }
    return parameters;
}

bool HostInstance::HasParameter(const std::string& id) const {
    int32_t index = -1;
    return dataModel_ != nullptr && dataModel_->GetParameterIndex(id.c_str(), &index) == AAX_SUCCESS && index >= 0;
}

AAX_Result HostInstance::SetParameter(const std::string& id, double normalized) {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return dataModel_->SetParameterNormalizedValue(id.c_str(), normalized);
}

AAX_Result HostInstance::GetParameter(const std::string& id, double* normalized) const {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return dataModel_->GetParameterNormalizedValue(id.c_str(), normalized);
}

AAX_Result HostInstance::GenerateCoefficients() {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return dataModel_->GenerateCoefficients();
}

AAX_Result HostInstance::TimerWakeup() {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return dataModel_->TimerWakeup();
}

std::string HostInstance::MasterBypassID() const {
    TextObject id;
    if (dataModel_ != nullptr) dataModel_->GetMasterBypassParameter(ModuleView(id));
    return id.Str();
}

AAX_Result HostInstance::SaveChunks(std::vector<SavedChunk>* chunks, std::string* error) {
    chunks->clear();
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    int32_t count = 0;
    AAX_Result result = dataModel_->GetNumberOfChunks(&count);
    if (result != AAX_SUCCESS) {
        if (error) *error = "GetNumberOfChunks failed with " + std::to_string(result);
        return result;
    }
    if (count < 0 || count > 64) {
        if (error) *error = "GetNumberOfChunks gave " + std::to_string(count);
        return AAX_ERROR_INVALID_CHUNK_INDEX;
    }
    for (int32_t i = 0; i < count; ++i) {
        AAX_CTypeID id = 0;
        result = dataModel_->GetChunkIDFromIndex(i, &id);
        if (result != AAX_SUCCESS) {
            if (error) *error = "GetChunkIDFromIndex(" + std::to_string(i) + ") failed with " + std::to_string(result);
            return result;
        }
        uint32_t size = 0;
        result = dataModel_->GetChunkSize(id, &size);
        if (result != AAX_SUCCESS) {
            if (error) *error = "GetChunkSize(" + FourCCText(id) + ") failed with " + std::to_string(result);
            return result;
        }
        if (size > kLargestChunk) {
            if (error) *error = "GetChunkSize(" + FourCCText(id) + ") gave " + std::to_string(size) + " bytes";
            return AAX_ERROR_INCORRECT_CHUNK_SIZE;
        }
        const size_t recordSize = AAX_PlugInChunkRecordSize(size);
        std::vector<uint8_t> storage(recordSize + kChunkGuardBytes, 0);
        std::fill(storage.begin() + static_cast<ptrdiff_t>(recordSize), storage.end(), kGuardByte);
        auto* record = reinterpret_cast<AAX_SPlugInChunk*>(storage.data());
        record->fSize = static_cast<int32_t>(size);
        record->fVersion = 0;
        record->fManufacturerID = manufacturerID_;
        record->fProductID = productID_;
        record->fPlugInID = plugInID_;
        record->fChunkID = id;
        result = dataModel_->GetChunk(id, record);
        if (result != AAX_SUCCESS) {
            if (error) *error = "GetChunk(" + FourCCText(id) + ") failed with " + std::to_string(result);
            return result;
        }
        for (size_t b = recordSize; b < storage.size(); ++b) {
            if (storage[b] != kGuardByte) {
                if (error) *error = "GetChunk(" + FourCCText(id) + ") wrote past the size it reported";
                return AAX_ERROR_INCORRECT_CHUNK_SIZE;
            }
        }
        if (record->fSize < 0 || static_cast<uint32_t>(record->fSize) > size) {
            if (error) {
                *error = "GetChunk(" + FourCCText(id) + ") reported " + std::to_string(record->fSize) +
                         " bytes after GetChunkSize gave " + std::to_string(size);
            }
            return AAX_ERROR_INCORRECT_CHUNK_SIZE;
        }
        SavedChunk chunk;
        chunk.id = id;
        chunk.record.assign(storage.begin(),
                            storage.begin() + static_cast<ptrdiff_t>(offsetof(AAX_SPlugInChunk, fData) +
                                                                     static_cast<size_t>(record->fSize)));
        chunks->push_back(std::move(chunk));
    }
    return AAX_SUCCESS;
}

AAX_Result HostInstance::RestoreChunks(const std::vector<SavedChunk>& chunks, std::string* error) {
    if (dataModel_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    for (const SavedChunk& chunk : chunks) {
        const int32_t size = chunk.DataSize();
        const size_t header = offsetof(AAX_SPlugInChunk, fData);
        if (size < 0 || chunk.record.size() < header + static_cast<size_t>(size)) {
            if (error) *error = "chunk " + FourCCText(chunk.id) + " is shorter than its header says";
            return AAX_ERROR_INCORRECT_CHUNK_SIZE;
        }
        std::vector<uint8_t> storage(AAX_PlugInChunkRecordSize(static_cast<size_t>(size)), 0);
        std::memcpy(storage.data(), chunk.record.data(), header + static_cast<size_t>(size));
        auto* record = reinterpret_cast<AAX_SPlugInChunk*>(storage.data());
        record->fChunkID = chunk.id;
        const AAX_Result result = dataModel_->SetChunk(chunk.id, record);
        if (result != AAX_SUCCESS) {
            if (error) *error = "SetChunk(" + FourCCText(chunk.id) + ") failed with " + std::to_string(result);
            return result;
        }
    }
    return AAX_SUCCESS;
}

bool HostInstance::OffersChunks(const std::vector<SavedChunk>& chunks, std::string* reason) const {
    if (dataModel_ == nullptr) return false;
    std::vector<AAX_CTypeID> offered;
    int32_t count = 0;
    dataModel_->GetNumberOfChunks(&count);
    for (int32_t i = 0; i < std::min(count, 64); ++i) {
        AAX_CTypeID id = 0;
        if (dataModel_->GetChunkIDFromIndex(i, &id) == AAX_SUCCESS) offered.push_back(id);
    }
    for (const SavedChunk& chunk : chunks) {
        if (std::find(offered.begin(), offered.end(), chunk.id) != offered.end()) continue;
        if (reason == nullptr) return false;
        std::string own;
        for (AAX_CTypeID id : offered) own += (own.empty() ? "" : ", ") + FourCCText(id);
        *reason = "the state is another plug-in's: its chunk is " + FourCCText(chunk.id);
        const size_t header = offsetof(AAX_SPlugInChunk, fData);
        if (chunk.record.size() >= header) {
            const auto* record = reinterpret_cast<const AAX_SPlugInChunk*>(chunk.record.data());
            *reason += ", saved by plug-in " + FourCCText(record->fPlugInID) + " of product " +
                       FourCCText(record->fProductID) + " by manufacturer " + FourCCText(record->fManufacturerID);
        }
        *reason += "; this effect keeps its state in " + (own.empty() ? std::string("no chunk") : "chunk " + own);
        return false;
    }
    return true;
}

MidiNodeObject* HostInstance::MidiNode(int32_t nodeType) {
    for (auto& node : midiNodes_) {
        if (node->NodeType() == nodeType) return node.get();
    }
    return nullptr;
}

bool HostInstance::QueueMidi(uint32_t frame, uint8_t status, uint8_t data1, uint8_t data2, int32_t nodeType) {
    MidiNodeObject* node = MidiNode(nodeType);
    if (node == nullptr) return false;
    MidiPacketRecord packet;
    packet.timestamp = frame;
    packet.length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    packet.data[0] = status;
    packet.data[1] = data1;
    packet.data[2] = data2;
    return node->Add(packet);
}

namespace {

// A quiet NaN with a payload of its own, which no arithmetic produces: what the host's output
// buffers hold until the module writes them.
constexpr uint32_t kUnwrittenBits = 0x7FC0A5A5u;

float UnwrittenMarker() {
    float marker;
    std::memcpy(&marker, &kUnwrittenBits, sizeof marker);
    return marker;
}

bool IsUnwrittenMarker(float sample) {
    uint32_t bits;
    std::memcpy(&bits, &sample, sizeof bits);
    return bits == kUnwrittenBits;
}

}  // namespace

void HostInstance::PrepareBuffer(const float* const* inputs, int32_t frames) {
    const size_t count = static_cast<size_t>(frames);
    for (int32_t c = 0; c < channels_; ++c) {
        float* in = inputBuffers_[static_cast<size_t>(c)].data();
        if (inputs != nullptr && inputs[c] != nullptr) {
            std::memcpy(in, inputs[c], count * sizeof(float));
        } else {
            std::fill(in, in + count, 0.0f);
        }
        std::fill(outputBuffers_[static_cast<size_t>(c)].begin(), outputBuffers_[static_cast<size_t>(c)].end(),
                  UnwrittenMarker());
    }
    *bufferLength_ = frames;
    clockField_ = transport_.Position();
    controller_->SetPosition(transport_.Position());
    packets_.Apply();
}

void HostInstance::FinishBuffer(float* const* outputs, int32_t frames) {
    unwritten_ = UnwrittenOutput{};
    for (int32_t c = 0; c < channels_; ++c) {
        float* out = outputBuffers_[static_cast<size_t>(c)].data();
        for (int32_t f = 0; f < frames; ++f) {
            if (!IsUnwrittenMarker(out[f])) continue;
            if (unwritten_.samples++ == 0) {
                unwritten_.channel = c;
                unwritten_.frame = f;
            }
            out[f] = 0.0f;
        }
    }
    for (int32_t c = 0; c < channels_; ++c) {
        if (outputs != nullptr && outputs[c] != nullptr) {
            std::memcpy(outputs[c], outputBuffers_[static_cast<size_t>(c)].data(),
                        static_cast<size_t>(frames) * sizeof(float));
        }
    }
    for (auto& node : midiNodes_) node->ClearIncoming();
    transport_.Advance(frames);
}

AAX_Result HostInstance::Process(const float* const* inputs, float* const* outputs, int32_t frames) {
    HostInstance* self = this;
    const float* const* in[1] = {inputs};
    float* const* out[1] = {outputs};
    return ProcessBatch(&self, 1, in, out, frames);
}

AAX_Result HostInstance::ProcessBatch(HostInstance* const* instances, size_t count, const float* const* const* inputs,
                                      float* const* const* outputs, int32_t frames) {
    constexpr size_t kMostInBatch = 64;
    if (count == 0 || count > kMostInBatch) return AAX_ERROR_NULL_OBJECT;
    void* records[kMostInBatch];
    const AAX_CProcessProc proc = instances[0]->proc_;
    for (size_t i = 0; i < count; ++i) {
        HostInstance* instance = instances[i];
        if (instance->proc_ != proc || frames < 0 || frames > instance->settings_.maxBlock) return AAX_ERROR_NULL_OBJECT;
    }
    for (size_t i = 0; i < count; ++i) {
        instances[i]->PrepareBuffer(inputs[i], frames);
        records[i] = instances[i]->context_;
    }
    proc(records, records + count);
    for (size_t i = 0; i < count; ++i) instances[i]->FinishBuffer(outputs[i], frames);
    return AAX_SUCCESS;
}

AAX_Result HostInstance::OpenGui() {
    if (gui_ != nullptr) return AAX_SUCCESS;
    void* gui = CreateThroughFactory(guiFactory_, IID_IAAXEffectGUIV1);
    if (gui == nullptr) return AAX_ERROR_NULL_OBJECT;
    gui_ = static_cast<AAX_IACFEffectGUI*>(gui);
    guiInitialized_ = true;
    return gui_->Initialize(guiContext_.get());
}

AAX_Result HostInstance::AttachView(int32_t containerType) {
    if (gui_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    if (containerType == AAX_eViewContainer_Type_HWND && nativeWindow_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    views_.push_back(std::make_unique<HostViewContainer>(
        containerType, containerType == AAX_eViewContainer_Type_HWND ? nativeWindow_ : nullptr));
    viewAttached_ = true;
    return gui_->SetViewContainer(views_.back().get());
}

AAX_Result HostInstance::GetViewSize(AAX_Point* size) {
    if (gui_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return gui_->GetViewSize(size);
}

AAX_Result HostInstance::DrawView(AAX_Rect* area) {
    if (gui_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return gui_->Draw(area);
}

AAX_Result HostInstance::IdleView() {
    if (gui_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    return gui_->TimerWakeup();
}

AAX_Result HostInstance::DetachView() {
    if (gui_ == nullptr) return AAX_ERROR_NULL_OBJECT;
    viewAttached_ = false;
    return gui_->SetViewContainer(nullptr);
}

AAX_Result HostInstance::CloseGui() {
    if (gui_ == nullptr) return AAX_SUCCESS;
    AAX_Result result = AAX_SUCCESS;
    if (viewAttached_) result = DetachView();
    if (guiInitialized_) {
        const AAX_Result uninitialized = gui_->Uninitialize();
        if (result == AAX_SUCCESS) result = uninitialized;
        guiInitialized_ = false;
    }
    gui_->Release();
    gui_ = nullptr;
    return result;
}

std::vector<std::string> HostInstance::HeldReferences() const {
    std::vector<std::string> held;
    auto check = [&held](const char* name, const RefCount& refs) {
        if (refs.Count() != 0) held.push_back(std::string(name) + " (" + std::to_string(refs.Count()) + ")");
    };
    check("controller", controller_->References());
    check("automation delegate", automation_->References());
    check("transport", hostTransport_->References());
    check("data model context", modelContext_->References());
    check("GUI context", guiContext_->References());
    return held;
}

int32_t HostInstance::ReferenceUnderflows() const {
    int32_t total = controller_->References().Underflows() + automation_->References().Underflows() +
                    hostTransport_->References().Underflows() + modelContext_->References().Underflows() +
                    guiContext_->References().Underflows();
    for (const auto& view : views_) total += view->References().Underflows();
    return total;
}

}  // namespace aaxhost
