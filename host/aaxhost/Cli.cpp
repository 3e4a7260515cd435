#include "Cli.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "AudioFile.h"
#include "Automation.h"
#include "EffectPresence.h"
#include "FileAccess.h"
#include "GuiCommand.h"
#include "InstallDirectory.h"
#include "Json.h"
#include "MidiText.h"
#include "PluginModule.h"
#include "Render.h"
#include "StateFile.h"
#include "Validate.h"
#include "platform/platform.h"

namespace aaxhost {

namespace {

constexpr const char* kMainHelp =
    "aaxhost: a stand-in AAX host for testing a plug-in module without a real host.\n"
    "\n"
    "Usage: aaxhost COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  describe MODULE [--json]          what the module registers\n"
    "  params MODULE [--layout L] [--json]\n"
    "                                    every parameter of a new instance\n"
    "  render MODULE -i IN.wav -o OUT.wav [OPTIONS]\n"
    "                                    run audio through one instance\n"
    "  validate MODULE [--strictness N] [--seed N] [--json]\n"
    "                                    a conformance run\n"
    "  install-dir [DIR]                 show or set the effect's install directory\n"
    "  gui MODULE [--layout L] [--seconds S] [--screenshot FILE.png] [--events]\n"
    "                                    the effect's editor in a window\n"
    "\n"
    "MODULE is the module's library file or its NAME.aaxplugin bundle folder.\n"
    "Parameters are addressed by identifier; the master bypass has the empty identifier.\n"
    "`aaxhost COMMAND --help` describes each command.\n"
    "Exit status: 0 success, 1 validation (or the module) failed, 2 usage or input error.\n";

constexpr const char* kDescribeHelp =
    "Usage: aaxhost describe MODULE [--json]\n"
    "\n"
    "Loads the module, calls ACFStartup and ACFRegisterPlugin, and prints everything it\n"
    "declared: names, category, components with their context fields (audio, data-in ports\n"
    "with sizes, MIDI nodes), properties, processing callbacks and factories.\n"
    "  --json   one JSON document on stdout\n";

constexpr const char* kParamsHelp =
    "Usage: aaxhost params MODULE [--layout mono|stereo] [--json]\n"
    "\n"
    "Creates and initialises one instance (48 kHz) and lists every host parameter with its\n"
    "index, identifier, name, type, steps, default and current normalized value and display\n"
    "text. The master bypass has the empty identifier.\n"
    "  --layout L   mono or stereo (default stereo)\n"
    "  --json       one JSON document on stdout\n";

constexpr const char* kRenderHelp =
    "Usage: aaxhost render MODULE -i IN.wav -o OUT.wav [OPTIONS]\n"
    "\n"
    "Runs IN.wav through one instance at the file's sample rate and writes OUT.wav as 32-bit\n"
    "float WAV (RF64 past 4 GiB). A progress bar goes to stderr when it is a terminal\n"
    "(AAXHOST_PROGRESS=1 or 0 forces it on or off).\n"
    "  --layout mono|stereo   default: mono for a one-channel input, else stereo\n"
    "  --block N              frames per buffer, 1 to 65536 (default 512)\n"
    "  --set ID=VALUE         a normalized value 0..1 for the parameter ID; repeatable.\n"
    "                         The master bypass's identifier is empty: --set =1 bypasses.\n"
    "  --state-in FILE        restore a state saved with --state-out before the render\n"
    "  --state-out FILE       save the instance's state after the render\n"
    "  --tempo BPM            the transport's tempo (default 120)\n"
    "  --meter N/D            the transport's meter (default 4/4)\n"
    "  --play                 the transport plays from the start (default: stopped)\n"
    "  --stop-at SECONDS      with --play, the transport stops at this time\n"
    "  --midi FILE            a standard MIDI file (format 0 or 1), or text with one event\n"
    "                         per line, FRAME STATUS DATA1 DATA2, numbers in decimal or 0x\n"
    "                         hex, '#' starts a comment (at most 16 MiB)\n"
    "  --automate FILE        parameter changes over time, one per line: TIME ID VALUE [ramp];\n"
    "                         TIME in seconds (1.5 or 1.5s) or frames (72000smp), \"\" for\n"
    "                         the master bypass, ramp moves there from the previous point\n"
    "                         (at most 16 MiB)\n"
    "  --ramp ID=T:V[,T:V...] one parameter over time: a step to the first value, then ramps\n"
    "                         through the others; repeatable\n"
    "  --report FILE          a JSON report of the render, with every automation change applied\n"
    "  --tail SECONDS         render this much silence after the input (default 0)\n"
    "\n"
    "The render streams: memory stays the same whatever the length. Outputs are written\n"
    "beside their targets and replace them only when all are complete; an output may not be\n"
    "the same file as an input or another output. A state file is at most 64 MiB.\n";

constexpr const char* kValidateHelp =
    "Usage: aaxhost validate MODULE [--strictness 1..10] [--seed N] [--json]\n"
    "\n"
    "A conformance run: registration and description; that an instance finds its effect\n"
    "(if not, the run stops there and says where the module looked); create/initialise/\n"
    "release cycles with nothing left alive; every parameter's identifier, name, steps,\n"
    "default, text round trip and automation through the host; the master bypass\n"
    "(bit-exact); state save, change, restore and compare; processing at 44.1, 48 and\n"
    "96 kHz with buffers of 1 to 4096 frames, mono and stereo, never a NaN or infinity; MIDI\n"
    "and transport start/stop; the editor opened, sized, idled and closed; parameter changes\n"
    "from another thread while audio runs; and an instance whose effect cannot be found. One\n"
    "line per check, then \"N passed, N failed\". Exit status 1 when any check fails, 2 when\n"
    "MODULE is not a module.\n"
    "  --strictness N   1 to 10 (default 5): more seeds, cycles and longer runs\n"
    "  --seed N         seed of the random values and block sizes (default 1)\n"
    "  --json           one JSON document on stdout instead of the lines\n";

constexpr const char* kInstallDirHelp =
    "Usage: aaxhost install-dir [DIR]\n"
    "\n"
    "Shows, or sets, the directory the module loads its effect from (DIR/VST64/ holds the\n"
    "effect library): the registry value \"installdirectory\" under HKEY_LOCAL_MACHINE\n"
    "\"Software\\Brenlock\\VantreloDelay\", 64-bit view. On Linux a replacement file stands in\n"
    "for the registry; the environment variable VANTRELO_REGISTRY_FILE names that file\n"
    "(default /etc/aaxw/registry). The module reads at most 999 characters of it, so a longer\n"
    "DIR is refused.\n";

// What a command accepts: each option's name, whether it takes a value, and whether it may
// be given more than once.
struct OptionSpec {
    const char* name;
    bool takesValue;
    bool repeatable;
};

struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // name -> value ("" for flags)
};

const OptionSpec* FindOption(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& known : specs) {
        if (name == known.name) return &known;
    }
    return nullptr;
}

// A conventional command line: "--name value" or "--name=value" for an option with a value,
// "--name" alone for a flag, "--" ends the options. Unknown options, a value given to a flag
// and a repeated option that takes one value are errors.
bool Parse(int argc, char** argv, int first, const std::string& command, const std::vector<OptionSpec>& specs,
           Arguments* args, std::string* error) {
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string token = argv[i];
        if (optionsEnded || token.size() < 2 || token[0] != '-') {
            args->positional.push_back(token);
            continue;
        }
        if (token == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = token, value;
        const size_t equals = token.find('=');
        const bool inlineValue = token.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inlineValue) {
            name = token.substr(0, equals);
            value = token.substr(equals + 1);
        }
        const OptionSpec* known = FindOption(specs, name);
        if (known == nullptr) {
            *error = "unknown option " + name + " for " + command + " (see aaxhost " + command + " --help)";
            return false;
        }
        if (!known->takesValue && inlineValue) {
            *error = name + " takes no value";
            return false;
        }
        if (known->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!known->repeatable) {
            for (const auto& option : args->options) {
                if (option.first == name) {
                    *error = name + " is given more than once";
                    return false;
                }
            }
        }
        args->options.emplace_back(name, value);
    }
    return true;
}

bool Has(const Arguments& args, const char* name) {
    for (const auto& option : args.options) {
        if (option.first == name) return true;
    }
    return false;
}

const std::string* Value(const Arguments& args, const char* name) {
    for (const auto& option : args.options) {
        if (option.first == name) return &option.second;
    }
    return nullptr;
}

bool ParseDouble(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(*value);
}

bool ParseInt(const std::string& text, int64_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtoll(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0';
}

int Usage(std::ostream& err, const std::string& reason) {
    err << "aaxhost: " << reason << "\n";
    return kExitUsage;
}

int Failure(std::ostream& err, const std::string& reason) {
    err << "aaxhost: " << reason << "\n";
    return kExitFailed;
}

bool ParseLayout(const Arguments& args, int32_t fallback, int32_t* stem, std::string* error) {
    const std::string* layout = Value(args, "--layout");
    if (layout == nullptr) {
        *stem = fallback;
        return true;
    }
    if (*layout == "mono") {
        *stem = AAX_eStemFormat_Mono;
    } else if (*layout == "stereo") {
        *stem = AAX_eStemFormat_Stereo;
    } else {
        *error = "--layout must be mono or stereo";
        return false;
    }
    return true;
}

// Loads, starts and registers; on failure writes the reason and gives the exit status.
std::unique_ptr<PluginModule> OpenModule(const std::string& path, std::ostream& err, int* status) {
    std::string error;
    std::unique_ptr<PluginModule> module = PluginModule::Load(path, &error);
    if (!module) {
        *status = Usage(err, error);
        return nullptr;
    }
    if (!module->StartAndRegister(&error)) {
        *status = Failure(err, error);
        return nullptr;
    }
    return module;
}

int Describe(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.positional.size() != 1) return Usage(err, "describe takes one MODULE");
    int status = kExitSuccess;
    auto module = OpenModule(args.positional[0], err, &status);
    if (!module) return status;
    if (Has(args, "--json")) {
        PrintDescriptionJson(out, module->Description());
    } else {
        out << "Module: " << module->Name() << "\n";
        PrintDescriptionText(out, module->Description());
    }
    return kExitSuccess;
}

std::string TypeName(int32_t type) { return type == AAX_eParameterType_Discrete ? "discrete" : "continuous"; }

int Params(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() != 1) return Usage(err, "params takes one MODULE");
    InstanceSettings settings;
    if (!ParseLayout(args, AAX_eStemFormat_Stereo, &settings.stemFormat, &error)) return Usage(err, error);
    int status = kExitSuccess;
    auto module = OpenModule(args.positional[0], err, &status);
    if (!module) return status;
    auto instance = HostInstance::Create(*module->Effect(), settings, &error);
    if (!instance) return Failure(err, error);
    const AAX_Result initialized = instance->Initialize();
    if (initialized != AAX_SUCCESS) return Failure(err, "Initialize failed with " + std::to_string(initialized));
    if (!EffectLoaded(*instance)) return Failure(err, MissingEffectReason());
    const std::vector<ParameterInfo> parameters = instance->Parameters();
    const std::string layout = settings.stemFormat == AAX_eStemFormat_Mono ? "mono" : "stereo";
    if (Has(args, "--json")) {
        JsonWriter json(out);
        json.BeginObject();
        json.Field("module", module->Name());
        json.Field("layout", layout);
        json.Field("masterBypass", instance->MasterBypassID());
        json.Key("parameters");
        json.BeginArray();
        for (const ParameterInfo& p : parameters) {
            json.BeginObject();
            json.Field("index", p.index);
            json.Field("id", p.id);
            json.Field("name", p.name);
            json.Field("type", TypeName(p.type));
            json.Field("steps", p.steps);
            json.Field("default", p.defaultValue);
            json.Field("value", p.value);
            json.Field("text", p.text);
            json.Field("automatable", p.automatable);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        return kExitSuccess;
    }
    out << std::left << std::setw(6) << "index" << std::setw(12) << "id" << std::setw(18) << "name" << std::setw(12)
        << "type" << std::setw(7) << "steps" << std::setw(9) << "default" << std::setw(9) << "value"
        << "text\n";
    for (const ParameterInfo& p : parameters) {
        std::string name = p.name;
        for (char& c : name) {
            if (c == '\n') c = '/';
        }
        std::ostringstream defaultText, valueText;
        defaultText << std::fixed << std::setprecision(4) << p.defaultValue;
        valueText << std::fixed << std::setprecision(4) << p.value;
        out << std::left << std::setw(6) << p.index << std::setw(12) << ("\"" + p.id + "\"") << std::setw(18) << name
            << std::setw(12) << TypeName(p.type) << std::setw(7) << p.steps << std::setw(9) << defaultText.str()
            << std::setw(9) << valueText.str() << p.text << "\n";
    }
    out << parameters.size() << " parameters, layout " << layout << "; the master bypass is \""
        << instance->MasterBypassID() << "\"\n";
    return kExitSuccess;
}

bool ShowProgress() {
    if (const char* forced = std::getenv("AAXHOST_PROGRESS")) return std::strcmp(forced, "1") == 0;
    return platform::IsTerminal(2);
}

// A file the render reads or writes, by the option that names it.
struct NamedPath {
    std::string option;
    std::string path;
    bool output;
};

// Outputs may not be the same file as any other input or output: the render would read what
// it is overwriting, or one output would replace another.
bool CheckDistinctPaths(const std::vector<NamedPath>& paths, std::string* error) {
    for (size_t i = 0; i < paths.size(); ++i) {
        for (size_t j = i + 1; j < paths.size(); ++j) {
            if (!paths[i].output && !paths[j].output) continue;
            if (SameFile(paths[i].path, paths[j].path)) {
                *error = paths[i].option + " and " + paths[j].option + " name the same file, " + paths[j].path;
                return false;
            }
        }
    }
    return true;
}

// The optional JSON report of a render, written while it runs.
class RenderReport {
public:
    bool Open(const std::string& path, std::string* error) {
        file_.open(path, std::ios::binary | std::ios::trunc);
        if (!file_) {
            *error = "cannot write " + path;
            return false;
        }
        json_ = std::make_unique<JsonWriter>(file_);
        return true;
    }
    bool Active() const { return json_ != nullptr; }
    JsonWriter& Json() { return *json_; }
    bool Close(const std::string& target, std::string* error) {
        json_.reset();
        file_.close();
        if (!file_) {
            *error = "cannot write all of " + target;
            return false;
        }
        return true;
    }

private:
    std::ofstream file_;
    std::unique_ptr<JsonWriter> json_;
};

int RenderCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() != 1) return Usage(err, "render takes one MODULE");
    const std::string* inPath = Value(args, "-i");
    const std::string* outPath = Value(args, "-o");
    if (inPath == nullptr || outPath == nullptr) return Usage(err, "render needs -i IN.wav and -o OUT.wav");
    RenderOptions options;
    if (!ParseLayout(args, 0, &options.stemFormat, &error)) return Usage(err, error);
    int64_t integer = 0;
    double number = 0.0;
    if (const std::string* block = Value(args, "--block")) {
        if (!ParseInt(*block, &integer) || integer < 1 || integer > 65536) return Usage(err, "--block must be 1 to 65536");
        options.block = static_cast<int32_t>(integer);
    }
    for (const auto& option : args.options) {
        if (option.first != "--set") continue;
        const size_t equals = option.second.find('=');
        if (equals == std::string::npos) return Usage(err, "--set needs ID=VALUE (the master bypass is --set =1)");
        if (!ParseDouble(option.second.substr(equals + 1), &number) || number < 0.0 || number > 1.0) {
            return Usage(err, "--set " + option.second + ": the value must be a normalized number from 0 to 1");
        }
        options.sets.emplace_back(option.second.substr(0, equals), number);
    }
    if (const std::string* tempo = Value(args, "--tempo")) {
        if (!ParseDouble(*tempo, &number) || number <= 0.0 || number > 999.0) return Usage(err, "--tempo must be above 0 and at most 999");
        options.tempo = number;
    }
    if (const std::string* meter = Value(args, "--meter")) {
        const size_t slash = meter->find('/');
        int64_t numerator = 0, denominator = 0;
        if (slash == std::string::npos || !ParseInt(meter->substr(0, slash), &numerator) ||
            !ParseInt(meter->substr(slash + 1), &denominator) || numerator < 1 || numerator > 64 ||
            (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8 && denominator != 16 &&
             denominator != 32)) {
            return Usage(err, "--meter must be N/D, N from 1 to 64 and D a power of two up to 32");
        }
        options.meterNumerator = static_cast<int32_t>(numerator);
        options.meterDenominator = static_cast<int32_t>(denominator);
    }
    options.play = Has(args, "--play");
    if (const std::string* stop = Value(args, "--stop-at")) {
        if (!ParseDouble(*stop, &number) || number < 0.0) return Usage(err, "--stop-at must be a time in seconds");
        if (!options.play) return Usage(err, "--stop-at needs --play");
        options.stopAtSeconds = number;
    }
    if (const std::string* tail = Value(args, "--tail")) {
        if (!ParseDouble(*tail, &number) || number < 0.0 || number > 3600.0) return Usage(err, "--tail must be 0 to 3600 seconds");
        options.tailSeconds = number;
    }

    // Every file, before anything is read or written.
    const std::string& modulePath = args.positional[0];
    std::vector<NamedPath> paths = {{"MODULE", modulePath, false}, {"-i", *inPath, false}};
    for (const char* name : {"--state-in", "--midi", "--automate"}) {
        if (const std::string* path = Value(args, name)) paths.push_back({name, *path, false});
    }
    for (const char* name : {"-o", "--state-out", "--report"}) {
        if (const std::string* path = Value(args, name)) paths.push_back({name, *path, true});
    }
    if (!CheckDistinctPaths(paths, &error)) return Usage(err, error);
    for (const NamedPath& path : paths) {
        if (!path.output && path.option != "MODULE" && !CheckReadableFile(path.path, &error)) {
            return Usage(err, path.option + ": " + error);
        }
    }

    std::unique_ptr<AudioReader> input = OpenAudioFile(*inPath, &error);
    if (!input) return Usage(err, error);
    const double rate = input->SampleRate();
    std::vector<SavedChunk> stateIn;
    if (const std::string* state = Value(args, "--state-in")) {
        if (!ReadStateFile(*state, &stateIn, &error)) return Usage(err, error);
        options.stateIn = &stateIn;
    }
    if (const std::string* midi = Value(args, "--midi")) {
        if (!ReadMidiFile(*midi, rate, &options.midi, &error)) return Usage(err, error);
    }
    if (const std::string* automate = Value(args, "--automate")) {
        if (!ReadAutomationFile(*automate, rate, &options.automation, &error)) return Usage(err, error);
    }
    for (const auto& option : args.options) {
        if (option.first == "--ramp" && !ParseInlineAutomation(option.second, rate, &options.automation, &error)) {
            return Usage(err, error);
        }
    }

    // Outputs go to temporary files beside their targets and replace them only at the end.
    const std::string* stateOutPath = Value(args, "--state-out");
    const std::string* reportPath = Value(args, "--report");
    options.saveState = stateOutPath != nullptr;
    AtomicOutput audioOut, stateOut, reportOut;
    if (!audioOut.Prepare(*outPath, &error)) return Usage(err, error);
    if (stateOutPath != nullptr && !stateOut.Prepare(*stateOutPath, &error)) return Usage(err, error);
    if (reportPath != nullptr && !reportOut.Prepare(*reportPath, &error)) return Usage(err, error);
    const int32_t channels = AAX_StemFormatChannelCount(RenderStemFormat(options, input->Channels()));
    std::unique_ptr<AudioWriter> output = CreateFloatWavFile(audioOut.TemporaryPath(), rate, channels, RenderLength(options, input->Frames(), rate), &error);
    if (!output) return Usage(err, error);
    RenderReport report;
    if (reportPath != nullptr) {
        if (!report.Open(reportOut.TemporaryPath(), &error)) return Usage(err, error);
        JsonWriter& json = report.Json();
        json.BeginObject();
        json.Field("input", *inPath);
        json.Field("output", *outPath);
        json.Field("sampleRate", rate);
        json.Field("channels", channels);
        json.Key("automation");
        json.BeginArray();
    }

    int status = kExitSuccess;
    auto module = OpenModule(modulePath, err, &status);
    if (!module) return status;
    bool drawn = false;
    if (ShowProgress()) {
        options.progress = [&err, &drawn](double done) {
            drawn = true;
            const int width = 40;
            const int filled = static_cast<int>(done * width + 0.5);
            err << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
                << "] " << std::setw(3) << static_cast<int>(done * 100.0 + 0.5) << "%" << std::flush;
        };
    }
    std::function<void(const AppliedChange&)> onChange;
    if (report.Active()) {
        onChange = [&report, rate](const AppliedChange& change) {
            JsonWriter& json = report.Json();
            json.BeginObject();
            json.Field("frame", change.frame);
            json.Field("seconds", static_cast<double>(change.frame) / rate);
            json.Field("id", change.id);
            json.Field("requested", change.requested);
            json.Field("value", change.value);
            json.EndObject();
        };
    }
    RenderResult result;
    const bool rendered = RenderStream(*module->Effect(), *input, *output, options, &result, &error, onChange);
    if (drawn) err << "\n";
    if (!rendered) return result.inputError ? Usage(err, error) : Failure(err, error);
    if (!output->Close(&error)) return Usage(err, error);
    if (stateOutPath != nullptr && !WriteStateFile(stateOut.TemporaryPath(), result.state, &error)) {
        return Usage(err, "cannot write " + *stateOutPath);
    }
    if (report.Active()) {
        JsonWriter& json = report.Json();
        json.EndArray();
        json.Field("frames", result.frames);
        json.Field("automationChanges", result.automationChanges);
        json.Field("droppedMidi", result.droppedMidi);
        json.EndObject();
        if (!report.Close(*reportPath, &error)) return Usage(err, error);
    }
    if (!audioOut.Commit(&error)) return Usage(err, error);
    if (stateOutPath != nullptr && !stateOut.Commit(&error)) return Usage(err, error);
    if (reportPath != nullptr && !reportOut.Commit(&error)) return Usage(err, error);
    out << "wrote " << *outPath << " (" << result.frames << " frames, " << result.channels << " channels, "
        << result.sampleRate << " Hz)\n";
    if (result.automationChanges > 0) out << "applied " << result.automationChanges << " automation changes\n";
    if (result.droppedMidi > 0) err << "aaxhost: " << result.droppedMidi << " MIDI events did not fit a buffer\n";
    return kExitSuccess;
}

int ValidateCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() != 1) return Usage(err, "validate takes one MODULE");
    ValidateOptions options;
    int64_t integer = 0;
    if (const std::string* strictness = Value(args, "--strictness")) {
        if (!ParseInt(*strictness, &integer) || integer < 1 || integer > 10) return Usage(err, "--strictness must be 1 to 10");
        options.strictness = static_cast<int32_t>(integer);
    }
    if (const std::string* seed = Value(args, "--seed")) {
        if (!ParseInt(*seed, &integer) || integer < 0 || integer > 0xFFFFFFFFll) return Usage(err, "--seed must be 0 to 4294967295");
        options.seed = static_cast<uint32_t>(integer);
    }
    const bool json = Has(args, "--json");
    const std::string& path = args.positional[0];
    ValidateReport report;
    std::unique_ptr<PluginModule> module = PluginModule::Load(path, &error);
    if (!module) {
        report.checks.push_back({"module loads", false, error});
    } else {
        if (!json) options.onCheck = [&out](const CheckResult& check) { PrintCheckLine(out, check); };
        report = Validate(*module, options);
    }
    if (json) {
        PrintReportJson(out, report, path);
    } else {
        if (!module) PrintCheckLine(out, report.checks.front());
        out << report.Passed() << " passed, " << report.Failed() << " failed\n";
    }
    // A file that is not a module is an input error, not a failed validation.
    if (!module) return Usage(err, error);
    for (const CheckResult& check : report.checks) {
        if (!check.passed) return Failure(err, "validation failed: " + check.name + ": " + check.detail);
    }
    return kExitSuccess;
}

int InstallDir(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() > 1) return Usage(err, "install-dir takes at most one DIR");
    if (args.positional.empty()) {
        std::string directory, view;
        if (!ReadInstallDirectory(&directory, &view)) {
            const std::string location = RegistryLocation();
            return Failure(err, "no install directory is set" + (location.empty() ? "" : " in " + location));
        }
        out << directory << "\n";
        if (directory.size() > kMostInstallDirectoryLength) {
            return Failure(err, "the install directory has " + std::to_string(directory.size()) +
                                    " characters, more than the " + std::to_string(kMostInstallDirectoryLength) +
                                    " the module reads");
        }
        return kExitSuccess;
    }
    std::error_code ec;
    std::string directory = args.positional[0];
    const std::filesystem::path absolute = std::filesystem::absolute(PathOf(directory), ec);
    if (!ec) directory = TextOf(absolute);
    if (!WriteInstallDirectory(directory, &error)) return Usage(err, error);
    out << "install directory set to " << directory << "\n";
    if (!std::filesystem::exists(PathOf(directory) / "VST64" / platform::kEffectLibraryFileName, ec)) {
        err << "aaxhost: note: " << TextOf(PathOf(directory) / "VST64") << " holds no effect library yet\n";
    }
    return kExitSuccess;
}

int GuiCmd(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() != 1) return Usage(err, "gui takes one MODULE");
    GuiOptions options;
    options.module = args.positional[0];
    if (!ParseLayout(args, AAX_eStemFormat_Stereo, &options.stemFormat, &error)) return Usage(err, error);
    if (const std::string* seconds = Value(args, "--seconds")) {
        if (!ParseDouble(*seconds, &options.seconds) || options.seconds < 0.0 || options.seconds > 86400.0) {
            return Usage(err, "--seconds must be a number from 0 to 86400");
        }
    }
    options.events = Has(args, "--events");
    std::vector<NamedPath> paths = {{"MODULE", options.module, false}};
    if (const std::string* state = Value(args, "--state-in")) {
        options.stateIn = *state;
        paths.push_back({"--state-in", *state, false});
        if (!CheckReadableFile(*state, &error)) return Usage(err, "--state-in: " + error);
    }
    if (const std::string* screenshot = Value(args, "--screenshot")) {
        if (screenshot->empty()) return Usage(err, "--screenshot needs a file name");
        options.screenshot = *screenshot;
        paths.push_back({"--screenshot", *screenshot, true});
        if (options.seconds < 0.0) options.seconds = 1.0;
    }
    if (!CheckDistinctPaths(paths, &error)) return Usage(err, error);
    return GuiCommand(options, out, err);
}

struct Command {
    const char* name;
    const char* help;
    std::vector<OptionSpec> options;
    int (*run)(const Arguments& args, std::ostream& out, std::ostream& err);
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"describe", kDescribeHelp, {{"--json", false, false}}, Describe},
        {"params", kParamsHelp, {{"--json", false, false}, {"--layout", true, false}}, Params},
        {"render",
         kRenderHelp,
         {{"-i", true, false},         {"-o", true, false},        {"--layout", true, false},
          {"--block", true, false},    {"--set", true, true},      {"--state-in", true, false},
          {"--state-out", true, false}, {"--tempo", true, false},   {"--meter", true, false},
          {"--play", false, false},    {"--stop-at", true, false}, {"--midi", true, false},
          {"--automate", true, false}, {"--ramp", true, true},     {"--report", true, false},
          {"--tail", true, false}},
         RenderCommand},
        {"validate",
         kValidateHelp,
         {{"--strictness", true, false}, {"--seed", true, false}, {"--json", false, false}},
         ValidateCommand},
        {"install-dir", kInstallDirHelp, {}, InstallDir},
        {"gui",
         kGuiHelp,
         {{"--layout", true, false},
          {"--seconds", true, false},
          {"--screenshot", true, false},
          {"--state-in", true, false},
          {"--events", false, false}},
         GuiCmd},
    };
    return commands;
}

bool AsksForHelp(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) {
        const std::string token = argv[i];
        if (token == "--") return false;
        if (token == "--help" || token == "-h") return true;
    }
    return false;
}

}  // namespace

int RunCommand(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        err << kMainHelp;
        return Usage(err, "no command given");
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        out << kMainHelp;
        return kExitSuccess;
    }
    for (const Command& command : Commands()) {
        if (name != command.name) continue;
        if (AsksForHelp(argc, argv, 2)) {
            out << command.help;
            return kExitSuccess;
        }
        Arguments args;
        std::string error;
        if (!Parse(argc, argv, 2, name, command.options, &args, &error)) return Usage(err, error);
        return command.run(args, out, err);
    }
    return Usage(err, "unknown command \"" + name + "\" (see aaxhost --help)");
}

}  // namespace aaxhost
