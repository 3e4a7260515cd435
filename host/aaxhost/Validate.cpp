#include "Validate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <thread>

#include "EffectPresence.h"
#include "FileAccess.h"
#include "GuiSession.h"
#include "HostInstance.h"
#include "InstallDirectory.h"
#include "Json.h"

namespace aaxhost {

namespace {

constexpr double kValueTolerance = 0.01;

struct Layout {
    const char* name;
    int32_t stemFormat;
};
constexpr Layout kLayouts[] = {{"mono", AAX_eStemFormat_Mono}, {"stereo", AAX_eStemFormat_Stereo}};

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
    return joined;
}

std::string Number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// Buffers for one instance's channels, with pointer arrays the host calls take.
struct Buffers {
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> inPointers;
    std::vector<float*> outPointers;
    Buffers(int32_t channels, int32_t frames) {
        in.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames), 0.0f));
        out = in;
        for (int32_t c = 0; c < channels; ++c) {
            inPointers.push_back(in[static_cast<size_t>(c)].data());
            outPointers.push_back(out[static_cast<size_t>(c)].data());
        }
    }
    void Noise(std::mt19937& random, int32_t frames) {
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        for (auto& channel : in) {
            for (int32_t f = 0; f < frames; ++f) channel[static_cast<size_t>(f)] = noise(random);
        }
    }
    void Silence() {
        for (auto& channel : in) std::fill(channel.begin(), channel.end(), 0.0f);
    }
    // The first non-finite sample, or -1.
    int64_t FirstNonFinite(int32_t frames) const {
        for (const auto& channel : out) {
            for (int32_t f = 0; f < frames; ++f) {
                if (!std::isfinite(channel[static_cast<size_t>(f)])) return f;
            }
        }
        return -1;
    }
};

class Run {
public:
    Run(PluginModule& module, const ValidateOptions& options)
        : module_(module), options_(options), random_(options.seed) {}

    ValidateReport Execute();

private:
    void Report(const std::string& name, bool passed, const std::string& detail = "") {
        Add(CheckResult{name, passed, detail});
    }
    void Step(const char* name) {
        if (options_.onStep) options_.onStep(name, report_);
    }
    void Skip(const std::string& name, const std::string& reason) { Add(CheckResult{name, true, reason, true}); }
    void Add(CheckResult check) {
        if (options_.onCheck) options_.onCheck(check);
        report_.checks.push_back(std::move(check));
    }

    std::unique_ptr<HostInstance> NewInstance(int32_t stemFormat, double rate, int32_t maxBlock, std::string* error) {
        InstanceSettings settings;
        settings.sampleRate = rate;
        settings.stemFormat = stemFormat;
        settings.maxBlock = maxBlock;
        auto instance = HostInstance::Create(*effect_, settings, error);
        if (!instance) return nullptr;
        const AAX_Result result = instance->Initialize();
        if (result != AAX_SUCCESS) {
            if (error) *error = "Initialize failed with " + std::to_string(result);
            return nullptr;
        }
        instance->GenerateCoefficients();
        return instance;
    }

    std::vector<std::string> EditableParameters(HostInstance& instance) {
        std::vector<std::string> ids;
        const std::string bypass = instance.MasterBypassID();
        for (const ParameterInfo& info : instance.Parameters()) {
            if (info.id != bypass) ids.push_back(info.id);
        }
        return ids;
    }

    // One buffer as a host runs it: the processing callback, then the main thread's time
    // between buffers (the data model's timer wake-up). Empty when the module wrote every output
    // sample, otherwise what it left unwritten.
    static std::string ProcessBuffer(HostInstance& instance, Buffers& buffers, int32_t frames) {
        instance.Process(buffers.inPointers.data(), buffers.outPointers.data(), frames);
        const HostInstance::UnwrittenOutput unwritten = instance.Unwritten();
        instance.TimerWakeup();
        if (unwritten.samples == 0) return {};
        return "the module left " + CountText(unwritten.samples, "output sample") + " of a " + std::to_string(frames) +
               "-frame buffer unwritten (channel " + std::to_string(unwritten.channel) + " from frame " +
               std::to_string(unwritten.frame) + ")";
    }

    void Randomize(HostInstance& instance, std::mt19937& random) {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (const std::string& id : EditableParameters(instance)) instance.SetParameter(id, unit(random));
        instance.GenerateCoefficients();
    }

    void CheckModuleEntryPoints();
    bool CheckRegistration();
    void CheckDescription();
    bool CheckEffectLoads();
    void CheckLifecycle();
    void CheckParameters();
    void CheckMasterBypass();
    void CheckState();
    void CheckProcessing();
    void CheckMidiAndTransport();
    void CheckEditor();
    void CheckEditorInWindow(HostInstance& instance);
    void CheckThreadedChanges();
    void CheckMissingEffect();
    void CheckUnload();

    PluginModule& module_;
    const ValidateOptions& options_;
    std::mt19937 random_;
    ValidateReport report_;
    const EffectDescription* effect_ = nullptr;
    std::vector<Layout> layouts_;
};

void Run::CheckModuleEntryPoints() {
    Report("module exports", true, "all seven entry points of " + module_.Name());
    acfUInt64 version = 0;
    const ACFRESULT result = module_.GetSDKVersion(&version);
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(version));
    Report("ACFGetSDKVersion", result == ACF_OK && version != 0,
           "result " + std::to_string(result) + ", version " + text);
    void* factory = reinterpret_cast<void*>(1);
    const ACFRESULT classFactory = module_.GetClassFactory(IID_IACFUnknown, IID_IACFUnknown, &factory);
    Report("ACFGetClassFactory", classFactory == ACF_OK ? factory != nullptr : factory == nullptr,
           classFactory == ACF_OK ? "offers a class factory" : "offers none, output null");
    if (classFactory == ACF_OK && factory != nullptr) static_cast<IACFUnknown*>(factory)->Release();
}

bool Run::CheckRegistration() {
    const ACFRESULT started = module_.Startup();
    Report("ACFStartup", started == ACF_OK, "result " + std::to_string(started));
    const ACFRESULT registered = module_.Register();
    const CollectionDescription& description = module_.Description();
    std::string detail = "result " + std::to_string(registered) + ", " + std::to_string(description.effects.size()) +
                         " effect(s)";
    if (!description.problems.empty()) detail += "; problems: " + Join(description.problems);
    const bool ok = registered == ACF_OK && !description.effects.empty() && description.problems.empty();
    Report("ACFRegisterPlugin", ok, detail);
    Report("registration releases the description objects", module_.HeldAfterRegistration().empty(),
           module_.HeldAfterRegistration().empty() ? "none held" : "still held: " + Join(module_.HeldAfterRegistration()));
    effect_ = module_.Effect();
    return effect_ != nullptr;
}

void Run::CheckDescription() {
    const CollectionDescription& collection = module_.Description();
    std::vector<std::string> problems;
    if (collection.manufacturer.empty()) problems.push_back("no manufacturer name");
    if (collection.packageNames.empty()) problems.push_back("no package name");
    if (effect_->names.empty()) problems.push_back("no effect name");
    if (effect_->categories.empty()) problems.push_back("no category");
    if (effect_->ProcPtr(kAAX_ProcPtrID_Create_EffectParameters) == nullptr) problems.push_back("no data model factory (proc 0)");
    if (effect_->ProcPtr(kAAX_ProcPtrID_Create_EffectGUI) == nullptr) problems.push_back("no GUI factory (proc 1)");
    if (effect_->components.empty()) problems.push_back("no component");
    int number = 0;
    for (const ComponentDescription& component : effect_->components) {
        const std::string prefix = "component " + std::to_string(number++) + ": ";
        const ProcessProcDeclaration* proc = component.NativeProc();
        if (proc == nullptr) {
            problems.push_back(prefix + "no native processing callback");
            continue;
        }
        bool in = false, out = false, length = false;
        for (const FieldDeclaration& field : component.fields) {
            in = in || field.kind == FieldKind::AudioIn;
            out = out || field.kind == FieldKind::AudioOut;
            length = length || field.kind == FieldKind::AudioBufferLength;
            if (field.kind == FieldKind::DataInPort && field.packetSize == 0) {
                problems.push_back(prefix + "data-in port " + std::to_string(field.index) + " of size 0");
            }
        }
        if (!in || !out || !length) problems.push_back(prefix + "lacks an audio input, output or buffer length field");
        for (AAX_EProperty property : {AAX_eProperty_ManufacturerID, AAX_eProperty_ProductID, AAX_eProperty_PlugInID_Native,
                                       AAX_eProperty_InputStemFormat, AAX_eProperty_OutputStemFormat}) {
            if (!proc->properties.Get(property)) problems.push_back(prefix + "no property " + PropertyName(property));
        }
    }
    for (const Layout& layout : kLayouts) {
        if (effect_->ComponentForStem(layout.stemFormat) != nullptr) layouts_.push_back(layout);
    }
    if (layouts_.empty()) problems.push_back("no mono or stereo component");
    std::vector<std::string> found;
    for (const Layout& layout : layouts_) found.push_back(layout.name);
    Report("effect description", problems.empty(),
           problems.empty() ? "\"" + (effect_->names.empty() ? std::string() : effect_->names[0]) + "\", " +
                                  std::to_string(effect_->components.size()) + " component(s): " + Join(found)
                            : Join(problems));
}

// Without its effect every instance degrades to no parameters and silence; the checks after
// this one would only report that many times over.
bool Run::CheckEffectLoads() {
    std::string error;
    auto instance = NewInstance(layouts_.front().stemFormat, 48000.0, 256, &error);
    if (!instance) {
        Report("effect loads", false, error);
        return false;
    }
    const bool loaded = EffectLoaded(*instance);
    Report("effect loads", loaded,
           loaded ? "the instance found its effect (" + CountText(instance->ParameterCount(), "parameter") + ")"
                  : MissingEffectReason());
    return loaded;
}

void Run::CheckLifecycle() {
    const int32_t cycles = 2 * options_.strictness;
    std::string failure;
    for (int32_t i = 0; i < cycles && failure.empty(); ++i) {
        const Layout& layout = layouts_[static_cast<size_t>(i) % layouts_.size()];
        std::string error;
        auto instance = NewInstance(layout.stemFormat, 48000.0, 512, &error);
        if (!instance) {
            failure = error;
            break;
        }
        if (i % 2 == 1) {
            Buffers buffers(instance->Channels(), 512);
            failure = ProcessBuffer(*instance, buffers, 512);
        }
        instance->Release();
        const std::vector<std::string> held = instance->HeldReferences();
        if (!held.empty()) failure = "after release the module still holds " + Join(held);
        const ACFRESULT live = module_.CanUnloadNow();
        if (live != 0) failure = "ACFCanUnloadNow gives " + std::to_string(live) + " after every instance was released";
    }
    // Several instances alive at once.
    if (failure.empty()) {
        std::vector<std::unique_ptr<HostInstance>> instances;
        for (int32_t i = 0; i < 3 && failure.empty(); ++i) {
            std::string error;
            auto instance = NewInstance(layouts_[static_cast<size_t>(i) % layouts_.size()].stemFormat, 48000.0, 256, &error);
            if (!instance) failure = error;
            instances.push_back(std::move(instance));
        }
        if (failure.empty() && module_.CanUnloadNow() == 0) failure = "ACFCanUnloadNow gives 0 while instances live";
        instances.clear();
        if (failure.empty() && module_.CanUnloadNow() != 0) failure = "ACFCanUnloadNow is not 0 after release";
    }
    Report("create, initialise and release", failure.empty(),
           failure.empty() ? std::to_string(cycles) + " cycles and 3 concurrent instances, nothing left alive" : failure);
}

void Run::CheckParameters() {
    std::string error;
    auto instance = NewInstance(layouts_.back().stemFormat, 48000.0, 512, &error);
    if (!instance) {
        Report("parameters", false, error);
        return;
    }
    const std::vector<ParameterInfo> parameters = instance->Parameters();
    const std::set<std::string> registered = instance->Automation().Registered();
    Report("parameters", instance->ParameterCount() == static_cast<int32_t>(parameters.size()),
           std::to_string(parameters.size()) + " parameter(s)");
    AAX_IACFEffectParameters* model = instance->DataModel();
    for (const ParameterInfo& info : parameters) {
        std::vector<std::string> problems;
        const char* id = info.id.c_str();
        int32_t index = -1;
        if (model->GetParameterIndex(id, &index) != AAX_SUCCESS || index != info.index) {
            problems.push_back("GetParameterIndex gives " + std::to_string(index) + ", not " + std::to_string(info.index));
        }
        if (info.name.empty()) problems.push_back("empty name");
        // The parameter object itself, read as a host reads it: by slot number.
        AAX_IParameter* object = nullptr;
        if (model->GetParameter(id, &object) != AAX_SUCCESS || object == nullptr) {
            problems.push_back("GetParameter gives no parameter object");
        } else {
            const module_slots::ParameterView view = module_slots::ReadParameter(object);
            if (view.identifier != info.id) problems.push_back("the parameter object is \"" + view.identifier + "\"");
            if (view.name != info.name) problems.push_back("the parameter object is named \"" + view.name + "\"");
            if (std::fabs(view.normalized - info.value) > kValueTolerance) {
                problems.push_back("the parameter object's value is " + Number(view.normalized));
            }
        }
        TextObject shortName;
        if (model->GetParameterNameOfLength(id, ModuleView(shortName), 8) != AAX_SUCCESS) problems.push_back("GetParameterNameOfLength failed");
        if (info.steps < 2) problems.push_back(std::to_string(info.steps) + " steps");
        if (!(info.defaultValue >= 0.0 && info.defaultValue <= 1.0)) problems.push_back("default " + Number(info.defaultValue));
        if (!(info.value >= 0.0 && info.value <= 1.0)) problems.push_back("value " + Number(info.value));
        if (info.text.empty()) problems.push_back("empty value text");
        if (!info.automatable) problems.push_back("not automatable");
        if (registered.count(info.id) == 0) problems.push_back("not registered with the automation delegate");
        // Text round trip on a grid of values.
        const int32_t points = info.steps >= 2 ? std::min(info.steps, 5) : 5;
        for (int32_t k = 0; k < points; ++k) {
            const double step = info.steps >= 2 ? std::round(static_cast<double>(k) * (info.steps - 1) / (points - 1)) / (info.steps - 1)
                                                : static_cast<double>(k) / (points - 1);
            TextObject text;
            if (model->GetParameterStringFromValue(id, step, ModuleView(text), 32) != AAX_SUCCESS || text.Str().empty()) {
                problems.push_back("no text for " + Number(step));
                continue;
            }
            double back = -1.0;
            if (model->GetParameterValueFromString(id, &back, *ModuleView(text)) != AAX_SUCCESS) {
                problems.push_back("text \"" + text.Str() + "\" does not read back");
            } else if (std::fabs(back - step) > kValueTolerance && info.type == AAX_eParameterType_Continuous) {
                problems.push_back("\"" + text.Str() + "\" reads back as " + Number(back) + ", not " + Number(step));
            } else if (info.type == AAX_eParameterType_Discrete && std::fabs(back - step) > 0.5 / (info.steps - 1) + 1e-9) {
                problems.push_back("\"" + text.Str() + "\" reads back as " + Number(back) + ", not " + Number(step));
            }
        }
        // Automation through the host: a request, answered by the host, becomes the value.
        const double target = info.value > 0.5 ? 0.0 : 1.0;
        instance->Automation().ClearEvents();
        const AAX_Result set = model->SetParameterNormalizedValue(id, target);
        double now = -1.0;
        model->GetParameterNormalizedValue(id, &now);
        bool requested = false;
        for (const auto& event : instance->Automation().Events()) {
            requested = requested || (event.operation == "SetValueRequest" && event.id == info.id);
        }
        if (set != AAX_SUCCESS) problems.push_back("SetParameterNormalizedValue failed with " + std::to_string(set));
        if (!requested) problems.push_back("setting the value sent no request to the host");
        if (std::fabs(now - target) > kValueTolerance) {
            problems.push_back("after the host set " + Number(target) + " the value is " + Number(now));
        }
        double reported = -1.0;
        if (!instance->Automation().CurrentValue(info.id, &reported) || std::fabs(reported - target) > kValueTolerance) {
            problems.push_back("the new value was not reported to the host");
        }
        if (instance->Automation().IsTouched(info.id)) problems.push_back("left touched after the change");
        model->SetParameterNormalizedValue(id, info.value);
        Report("parameter \"" + info.id + "\"", problems.empty(),
               problems.empty() ? "\"" + info.name.substr(0, info.name.find('\n')) + "\", " + std::to_string(info.steps) +
                                      " steps, default " + Number(info.defaultValue) + ", text \"" + info.text + "\""
                                : Join(problems));
    }
    instance->GenerateCoefficients();
}

void Run::CheckMasterBypass() {
    for (const Layout& layout : layouts_) {
        std::string error;
        auto instance = NewInstance(layout.stemFormat, 48000.0, 256, &error);
        if (!instance) {
            Report(std::string("master bypass, ") + layout.name, false, error);
            continue;
        }
        const std::string id = instance->MasterBypassID();
        if (!instance->HasParameter(id)) {
            Report(std::string("master bypass, ") + layout.name, false, "GetMasterBypassParameter names no parameter");
            continue;
        }
        std::mt19937 random(options_.seed);
        Randomize(*instance, random);
        instance->SetParameter(id, 1.0);
        instance->GenerateCoefficients();
        double value = 0.0;
        instance->GetParameter(id, &value);
        Buffers buffers(instance->Channels(), 256);
        bool exact = value == 1.0;
        std::string mismatch;
        for (int32_t block = 0; block < 20 * options_.strictness && exact; ++block) {
            buffers.Noise(random, 256);
            // Unwritten output is the module's fault, whatever the bypass does.
            const std::string unwritten = ProcessBuffer(*instance, buffers, 256);
            if (!unwritten.empty()) {
                exact = false;
                mismatch = "in block " + std::to_string(block) + " " + unwritten;
            }
            for (size_t c = 0; c < buffers.in.size() && exact; ++c) {
                if (std::memcmp(buffers.in[c].data(), buffers.out[c].data(), 256 * sizeof(float)) != 0) {
                    exact = false;
                    mismatch = "output differs from the input in block " + std::to_string(block);
                }
            }
        }
        Report(std::string("master bypass, ") + layout.name, exact,
               exact ? "\"" + id + "\" passes the input through unchanged"
                     : value != 1.0 ? "the bypass parameter did not take the value 1" : mismatch);
        instance->SetParameter(id, 0.0);
    }
}

void Run::CheckState() {
    std::string error;
    const int32_t stem = layouts_.back().stemFormat;
    auto instance = NewInstance(stem, 48000.0, 512, &error);
    if (!instance) {
        Report("state save and restore", false, error);
        return;
    }
    std::mt19937 random(options_.seed + 7);
    Randomize(*instance, random);
    std::vector<SavedChunk> saved, changed, restored, copied;
    std::vector<std::string> problems;
    if (instance->SaveChunks(&saved, &error) != AAX_SUCCESS) {
        Report("state save and restore", false, error);
        return;
    }
    if (saved.empty()) problems.push_back("the instance offers no chunk");
    // That the state follows the parameters can be seen only when there are some to change.
    if (EditableParameters(*instance).empty()) {
        Skip("state follows the parameters", "the effect has no parameters to change");
    } else {
        Randomize(*instance, random);
        if (instance->SaveChunks(&changed, &error) != AAX_SUCCESS) problems.push_back(error);
        const bool same = !saved.empty() && changed.size() == saved.size() && changed[0].record == saved[0].record;
        Report("state follows the parameters", !same,
               same ? "the chunk did not change when every parameter changed" : "the chunk changed with the parameters");
    }
    if (instance->RestoreChunks(saved, &error) != AAX_SUCCESS) problems.push_back(error);
    if (instance->SaveChunks(&restored, &error) != AAX_SUCCESS) problems.push_back(error);
    auto sameData = [](const std::vector<SavedChunk>& a, const std::vector<SavedChunk>& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            const size_t header = offsetof(AAX_SPlugInChunk, fData);
            if (a[i].id != b[i].id || a[i].DataSize() != b[i].DataSize() ||
                !std::equal(a[i].record.begin() + header, a[i].record.end(), b[i].record.begin() + header)) {
                return false;
            }
        }
        return true;
    };
    if (!sameData(saved, restored)) problems.push_back("the restored state differs from the saved one");
    for (const SavedChunk& chunk : saved) {
        bool equal = false;
        if (instance->DataModel()->CompareActiveChunk(reinterpret_cast<const AAX_SPlugInChunk*>(chunk.record.data()), &equal) !=
                AAX_SUCCESS ||
            !equal) {
            problems.push_back("CompareActiveChunk does not report the restored chunk equal");
        }
    }
    // Into a fresh instance.
    auto fresh = NewInstance(stem, 48000.0, 512, &error);
    if (!fresh || fresh->RestoreChunks(saved, &error) != AAX_SUCCESS || fresh->SaveChunks(&copied, &error) != AAX_SUCCESS) {
        problems.push_back("a new instance does not take the state: " + error);
    } else if (!sameData(saved, copied)) {
        problems.push_back("a new instance given the state saves a different one");
    }
    size_t bytes = 0;
    for (const SavedChunk& chunk : saved) bytes += static_cast<size_t>(std::max(chunk.DataSize(), 0));
    Report("state save and restore", problems.empty(),
           problems.empty() ? std::to_string(saved.size()) + " chunk(s), " + std::to_string(bytes) + " bytes, identical after restore"
                            : Join(problems));
}

void Run::CheckProcessing() {
    const int32_t fixedBlocks[] = {1, 2, 3, 16, 64, 100, 256, 511, 1024, 4096};
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        for (const Layout& layout : layouts_) {
            std::string error;
            auto instance = NewInstance(layout.stemFormat, rate, 4096, &error);
            const std::string name = std::string("processing ") + layout.name + " at " + Number(rate) + " Hz";
            if (!instance) {
                Report(name, false, error);
                continue;
            }
            std::mt19937 random(options_.seed + static_cast<uint32_t>(rate) + static_cast<uint32_t>(layout.stemFormat));
            Buffers buffers(instance->Channels(), 4096);
            std::vector<int32_t> blocks(std::begin(fixedBlocks), std::end(fixedBlocks));
            std::uniform_int_distribution<int32_t> anyBlock(1, 4096);
            for (int32_t s = 0; s < options_.strictness; ++s) blocks.push_back(anyBlock(random));
            std::string failure;
            int64_t frames = 0;
            for (int32_t block : blocks) {
                const int64_t length = std::max<int64_t>(4 * static_cast<int64_t>(block),
                                                         static_cast<int64_t>(rate * 0.01 * options_.strictness));
                Randomize(*instance, random);
                // Silence first, then noise, then silence again so the tail rings out.
                for (int phase = 0; phase < 3 && failure.empty(); ++phase) {
                    for (int64_t done = 0; done < length && failure.empty(); done += block) {
                        if (phase == 1) {
                            buffers.Noise(random, block);
                        } else {
                            buffers.Silence();
                        }
                        const std::string unwritten = ProcessBuffer(*instance, buffers, block);
                        frames += block;
                        if (!unwritten.empty()) {
                            failure = unwritten;
                        } else if (buffers.FirstNonFinite(block) >= 0) {
                            failure = std::string(phase == 1 ? "noise" : "silence") + " in, with blocks of " +
                                      std::to_string(block) + " frames, gives a non-finite sample";
                        }
                    }
                }
                if (!failure.empty()) break;
            }
            Report(name, failure.empty(),
                   failure.empty() ? std::to_string(blocks.size()) + " block sizes (1 to 4096), " + std::to_string(frames) +
                                         " frames, all finite"
                                   : failure);
        }
    }
}

void Run::CheckMidiAndTransport() {
    std::string error;
    auto instance = NewInstance(layouts_.back().stemFormat, 48000.0, 512, &error);
    if (!instance) {
        Report("MIDI and transport", false, error);
        return;
    }
    std::mt19937 random(options_.seed + 11);
    Buffers buffers(instance->Channels(), 512);
    TransportState& transport = instance->Transport();
    transport.SetTempo(96.0 + options_.strictness);
    transport.SetMeter(3, 4);
    std::string failure;
    const int32_t blocksPerPhase = 10 * options_.strictness;
    int64_t midiSent = 0;
    for (int phase = 0; phase < 4 && failure.empty(); ++phase) {
        transport.SetPlaying(phase % 2 == 0);  // play, stop, play, stop
        for (int32_t b = 0; b < blocksPerPhase && failure.empty(); ++b) {
            const uint8_t note = static_cast<uint8_t>(48 + (b % 24));
            midiSent += instance->QueueMidi(0, 0x90, note, 100);
            midiSent += instance->QueueMidi(static_cast<uint32_t>(b % 512), 0xB0, 1, static_cast<uint8_t>(b % 128));
            midiSent += instance->QueueMidi(511, 0x80, note, 0);
            buffers.Noise(random, 512);
            failure = ProcessBuffer(*instance, buffers, 512);
            if (failure.empty() && buffers.FirstNonFinite(512) >= 0) {
                failure = "a non-finite sample with MIDI and transport changes";
            }
        }
    }
    std::vector<std::string> notes;
    if (SlotTraps::Count() > 0) failure = "the module called " + SlotTraps::Latest() + ", outside the host's table";
    if (MidiNodeObject* node = instance->MidiNode(AAX_eMIDINodeType_Transport)) {
        if (node->transportRequests.load() == 0) failure = "the processing never asked the transport node for the transport";
        notes.push_back("transport read " + CountText(transport.queries.load(), "time"));
    }
    if (MidiNodeObject* node = instance->MidiNode(AAX_eMIDINodeType_LocalInput)) {
        if (node->bufferRequests.load() == 0) failure = "the processing never read the MIDI input node";
        notes.push_back(std::to_string(midiSent) + " MIDI packets delivered");
    } else {
        notes.push_back("no MIDI input node declared");
    }
    Report("MIDI and transport start/stop", failure.empty(), failure.empty() ? Join(notes) : failure);
}

void Run::CheckEditor() {
    std::string error;
    auto instance = NewInstance(layouts_.back().stemFormat, 48000.0, 512, &error);
    if (!instance) {
        Report("editor", false, error);
        return;
    }
    // The GUI's life without a window: created, initialised, sized, given a container that is
    // not a native window, closed.
    std::vector<std::string> problems;
    AAX_Result result = instance->OpenGui();
    if (result != AAX_SUCCESS) {
        Report("editor open, size, close", false, "creating or initialising the GUI failed with " + std::to_string(result));
        return;
    }
    AAX_Point size{0, 0};
    if ((result = instance->GetViewSize(&size)) != AAX_SUCCESS) problems.push_back("GetViewSize failed");
    if (!(size.horz > 0 && size.vert > 0 && size.horz < 100000 && size.vert < 100000)) {
        problems.push_back("view size " + Number(size.horz) + " x " + Number(size.vert));
    }
    if (instance->AttachView(AAX_eViewContainer_Type_NULL) != AAX_SUCCESS || instance->DetachView() != AAX_SUCCESS) {
        problems.push_back("a non-native container is refused");
    }
    if ((result = instance->CloseGui()) != AAX_SUCCESS) problems.push_back("closing the GUI failed with " + std::to_string(result));

    CheckEditorInWindow(*instance);

    instance->Release();
    const std::vector<std::string> held = instance->HeldReferences();
    if (!held.empty()) problems.push_back("after release the module still holds " + Join(held));
    Report("editor open, size, close", problems.empty(),
           problems.empty() ? "view " + Number(size.horz) + " x " + Number(size.vert) + ", and a container that is not a window"
                            : Join(problems));
}

// The editor in a window of the host's own, as `gui` shows it, opened twice: the view gets the
// window, is ticked, drawn where the window is exposed and followed in size, and is closed.
void Run::CheckEditorInWindow(HostInstance& instance) {
    const std::string name = "editor in a window";
    if (!options_.checkEditorWindow) {
        Skip(name, "not asked for");
        return;
    }
    HostWindow::TakeWindowSystemErrors();
    std::vector<std::string> problems;
    AAX_Point size{0, 0};
    for (int round = 0; round < 2 && problems.empty(); ++round) {
        std::string error;
        bool noDisplay = false;
        std::unique_ptr<GuiSession> session = GuiSession::Open(instance, "aaxhost validate", &error, &noDisplay);
        if (!session) {
            if (noDisplay) {
                Skip(name, error);
                return;
            }
            problems.push_back(error);
            break;
        }
        for (int32_t tick = 0; tick < 10 * options_.strictness; ++tick) session->Tick(64);
        size = session->ViewSize();
        int32_t width = 0, height = 0;
        session->Window().ClientSize(&width, &height);
        if (width != static_cast<int32_t>(size.horz) || height != static_cast<int32_t>(size.vert)) {
            problems.push_back("the window is " + std::to_string(width) + " x " + std::to_string(height) + ", the view " +
                               Number(size.horz) + " x " + Number(size.vert));
        }
        if (session->Window().ChildWindowCount() == 0) problems.push_back("the editor put no window into the host's window");
        session->Close();
        if (session->Window().ChildWindowCount() != 0) problems.push_back("the editor's window stays after it was closed");
    }
    for (const std::string& failure : HostWindow::TakeWindowSystemErrors()) {
        problems.push_back("the window system reported " + failure);
    }
    Report(name, problems.empty(),
           problems.empty() ? "shown at " + Number(size.horz) + " x " + Number(size.vert) + ", opened twice" : Join(problems));
}

void Run::CheckThreadedChanges() {
    std::string error;
    auto instance = NewInstance(layouts_.back().stemFormat, 48000.0, 512, &error);
    if (!instance) {
        Report("parameter changes from another thread", false, error);
        return;
    }
    instance->Automation().SetRecording(false);
    const std::vector<std::string> ids = EditableParameters(*instance);
    std::atomic<bool> stop{false};
    std::atomic<int64_t> changes{0};
    std::thread changer([&] {
        std::mt19937 random(options_.seed + 13);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        while (!stop.load() && !ids.empty()) {
            instance->SetParameter(ids[random() % ids.size()], unit(random));
            instance->GenerateCoefficients();
            ++changes;
        }
    });
    // Start the audio once the other thread is changing values.
    while (changes.load() == 0 && !ids.empty()) std::this_thread::yield();
    std::mt19937 random(options_.seed + 17);
    std::uniform_int_distribution<int32_t> blockSize(16, 512);
    Buffers buffers(instance->Channels(), 512);
    std::string failure;
    const int32_t blocks = 200 * options_.strictness;
    for (int32_t b = 0; b < blocks && failure.empty(); ++b) {
        const int32_t frames = blockSize(random);
        buffers.Noise(random, frames);
        failure = ProcessBuffer(*instance, buffers, frames);
        if (failure.empty() && buffers.FirstNonFinite(frames) >= 0) failure = "a non-finite sample while parameters change";
    }
    // Let the other thread make at least a few changes even on a busy machine.
    while (changes.load() < 10 && !ids.empty()) std::this_thread::yield();
    stop.store(true);
    changer.join();
    Report("parameter changes from another thread", failure.empty(),
           failure.empty() ? std::to_string(blocks) + " buffers while " + std::to_string(changes.load()) + " changes were made"
                           : failure);
}

void Run::CheckMissingEffect() {
    ScopedMissingEffect missing;
    if (!missing.Active()) {
        Report("instance without its effect", false, "could not point the module at an empty install directory");
        return;
    }
    std::vector<std::string> problems;
    int32_t parameters = -1;
    for (const Layout& layout : layouts_) {
        std::string error;
        auto instance = NewInstance(layout.stemFormat, 48000.0, 256, &error);
        if (!instance) {
            problems.push_back(std::string(layout.name) + ": " + error);
            continue;
        }
        parameters = instance->ParameterCount();
        Buffers buffers(instance->Channels(), 256);
        std::mt19937 random(options_.seed);
        for (int32_t b = 0; b < 10; ++b) {
            buffers.Noise(random, 256);
            const std::string unwritten = ProcessBuffer(*instance, buffers, 256);
            if (!unwritten.empty() || buffers.FirstNonFinite(256) >= 0) {
                problems.push_back(unwritten.empty() ? "non-finite output" : unwritten);
                break;
            }
        }
        std::vector<SavedChunk> chunks;
        instance->SaveChunks(&chunks, &error);  // may refuse; must not crash
        if (instance->OpenGui() == AAX_SUCCESS) {
            instance->AttachView(AAX_eViewContainer_Type_NULL);
            AAX_Point size{0, 0};
            instance->GetViewSize(&size);
            instance->IdleView();
            instance->DetachView();
        }
        instance->Release();
    }
    if (module_.CanUnloadNow() != 0) problems.push_back("objects left alive");
    Report("instance without its effect", problems.empty(),
           problems.empty() ? "degrades without a crash (" + CountText(parameters, "parameter") + ")" : Join(problems));
}

void Run::CheckUnload() {
    const ACFRESULT live = module_.CanUnloadNow();
    Report("ACFCanUnloadNow", live == 0, std::to_string(live) + " live objects at the end");
    int32_t underflows = module_.Factory().ReferenceUnderflows();
    Report("reference counts", underflows == 0,
           underflows == 0 ? "every release matched a reference" : std::to_string(underflows) + " releases without a reference");
    const ACFRESULT shutdown = module_.Shutdown();
    const std::vector<std::string> held = module_.Factory().HeldObjects(module_.Factory().ObjectsOfKind("plug-in definition"));
    Report("ACFShutdown", shutdown == ACF_OK && held.empty(),
           "result " + std::to_string(shutdown) + (held.empty() ? ", every host object released" : ", still held: " + Join(held)));
}

ValidateReport Run::Execute() {
    Step("module exports");
    CheckModuleEntryPoints();
    Step("registration");
    if (!CheckRegistration()) {
        module_.Shutdown();
        return report_;
    }
    CheckDescription();
    if (layouts_.empty()) {
        module_.Shutdown();
        return report_;
    }
    Step("effect loads");
    if (!CheckEffectLoads()) {
        Step("unload");
        CheckUnload();
        return report_;
    }
    const std::pair<const char*, void (Run::*)()> steps[] = {
        {"create, initialise and release", &Run::CheckLifecycle},
        {"parameters", &Run::CheckParameters},
        {"master bypass", &Run::CheckMasterBypass},
        {"state save and restore", &Run::CheckState},
        {"processing", &Run::CheckProcessing},
        {"MIDI and transport start/stop", &Run::CheckMidiAndTransport},
        {"editor", &Run::CheckEditor},
        {"parameter changes from another thread", &Run::CheckThreadedChanges},
        {"instance without its effect", &Run::CheckMissingEffect},
        {"unload", &Run::CheckUnload},
    };
    for (const auto& [name, check] : steps) {
        if (check == &Run::CheckMissingEffect && !options_.checkMissingEffect) continue;
        Step(name);
        (this->*check)();
    }
    return report_;
}

}  // namespace

int32_t ValidateReport::Passed() const {
    return static_cast<int32_t>(
        std::count_if(checks.begin(), checks.end(), [](const CheckResult& c) { return c.passed && !c.skipped; }));
}

int32_t ValidateReport::Failed() const {
    return static_cast<int32_t>(std::count_if(checks.begin(), checks.end(), [](const CheckResult& c) { return !c.passed; }));
}

int32_t ValidateReport::Skipped() const {
    return static_cast<int32_t>(std::count_if(checks.begin(), checks.end(), [](const CheckResult& c) { return c.skipped; }));
}

std::string SummaryLine(const ValidateReport& report) {
    std::string line = std::to_string(report.Passed()) + " passed, " + std::to_string(report.Failed()) + " failed";
    if (report.Skipped() > 0) line += ", " + std::to_string(report.Skipped()) + " skipped";
    return line;
}

ValidateReport Validate(PluginModule& module, const ValidateOptions& options) {
    ValidateOptions bounded = options;
    bounded.strictness = std::clamp(options.strictness, 1, 10);
    Run run(module, bounded);
    return run.Execute();
}

void PrintCheckLine(std::ostream& out, const CheckResult& check) {
    out << (check.skipped ? "SKIP " : check.passed ? "PASS " : "FAIL ") << check.name;
    if (!check.detail.empty()) out << ": " << check.detail;
    out << "\n";
}

void PrintReportJson(std::ostream& out, const ValidateReport& report, const std::string& module) {
    JsonWriter json(out);
    json.BeginObject();
    json.Field("module", module);
    json.Key("checks");
    json.BeginArray();
    for (const CheckResult& check : report.checks) {
        json.BeginObject();
        json.Field("name", check.name);
        json.Field("passed", check.passed);
        json.Field("skipped", check.skipped);
        json.Field("detail", check.detail);
        json.EndObject();
    }
    json.EndArray();
    json.Field("passed", report.Passed());
    json.Field("failed", report.Failed());
    json.Field("skipped", report.Skipped());
    json.EndObject();
}

}  // namespace aaxhost
