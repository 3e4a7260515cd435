#include "Cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
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
#include "Interrupts.h"
#include "Json.h"
#include "LastWords.h"
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
    "Usage: aaxhost [-q | -v] COMMAND [OPTIONS]\n"
    "       aaxhost help [COMMAND] | --help | --version\n"
    "\n"
    "Commands:\n"
    "  describe MODULE [--json]          what the module registers\n"
    "  params MODULE [--layout L] [--state-in FILE] [--json]\n"
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
    "`aaxhost help COMMAND` (or `aaxhost COMMAND --help`) describes each command.\n"
    "  -q, --quiet     errors only: no notes, warnings, progress or \"wrote ...\" lines\n"
    "  -v, --verbose   also say what the host does: the module and library loaded, the\n"
    "                  install directory, the settings a render uses\n"
    "  --version       the version of aaxhost\n"
    "Either option may also follow COMMAND.\n"
    "Exit status: 0 success, 1 validation (or the module) failed, 2 usage or input error.\n";

constexpr const char* kDescribeHelp =
    "Usage: aaxhost describe MODULE [--json]\n"
    "\n"
    "Loads the module, calls ACFStartup and ACFRegisterPlugin, and prints everything it\n"
    "declared: names, category, components with their context fields (audio, data-in ports\n"
    "with sizes, MIDI nodes), properties, processing callbacks and factories.\n"
    "  --json   one JSON document on stdout\n";

constexpr const char* kParamsHelp =
    "Usage: aaxhost params MODULE [--layout mono|stereo] [--state-in FILE] [--json]\n"
    "\n"
    "Creates and initialises one instance (48 kHz) and lists every host parameter with its\n"
    "index, identifier, name, type, steps, default and current normalized value and display\n"
    "text. The master bypass has the empty identifier. The table shows control characters and\n"
    "bytes that are not UTF-8 as escapes (\\n, \\t, \\xHH); --json writes such a byte as\n"
    "\\u00XX, its Latin-1 reading. A parameter that cannot be addressed by its identifier is\n"
    "named in a note.\n"
    "  --layout L        mono or stereo (default stereo)\n"
    "  --state-in FILE   restore a state saved with `render --state-out` first, so that the\n"
    "                    values are those the host's parameters show after the restore\n"
    "  --json            one JSON document on stdout\n";

constexpr const char* kRenderHelp =
    "Usage: aaxhost render MODULE -i IN.wav -o OUT.wav [OPTIONS]\n"
    "\n"
    "Runs IN.wav through one instance at the file's sample rate and writes OUT.wav as WAV\n"
    "(RF64 past 4 GiB). -i - reads WAV from standard input, -o - writes it to standard output\n"
    "(streamed, so not replaced all at once). A progress bar goes to stderr when it is a\n"
    "terminal (AAXHOST_PROGRESS=1 or 0 forces it on or off).\n"
    "  --format F             float32 (default), pcm24, or pcm16 (with TPDF dither)\n"
    "  --layout mono|stereo   default: mono for a one-channel input, else stereo\n"
    "  --block N              frames per buffer, 1 to 65536 (default 512)\n"
    "  --set ID=VALUE         a normalized value 0..1 for the parameter ID; repeatable.\n"
    "                         The master bypass's identifier is empty: --set =1 bypasses.\n"
    "  --set #INDEX=VALUE     the same for the parameter at INDEX, as `params` lists it\n"
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
    "  --force                replace outputs that are read-only\n"
    "\n"
    "The render streams: memory stays the same whatever the length. Outputs are written\n"
    "beside the files they name (through symbolic links) and replace them, keeping their\n"
    "permissions, only when all are complete; they must be regular files or new names, and\n"
    "may not be the same file as an input or another output. A state file is at most 64 MiB.\n";

constexpr const char* kValidateHelp =
    "Usage: aaxhost validate MODULE [--strictness 1..10] [--seed N] [--json]\n"
    "\n"
    "A conformance run: registration and description; that an instance finds its effect\n"
    "(if not, the run stops there and says where the module looked); create/initialise/\n"
    "release cycles with nothing left alive; every parameter's identifier, name, steps,\n"
    "default, text round trip and automation through the host; the master bypass\n"
    "(bit-exact); state save, change, restore and compare; processing at 44.1, 48 and\n"
    "96 kHz with buffers of 1 to 4096 frames, mono and stereo, never a NaN or infinity; MIDI\n"
    "and transport start/stop; the editor opened, sized and closed, and shown in a window of\n"
    "the host's (skipped without a display); parameter changes from another thread while\n"
    "audio runs; and an instance whose effect cannot be found. One line per check (PASS, FAIL\n"
    "or SKIP), then \"N passed, N failed\" (and \", N skipped\"), also when the process\n"
    "crashes. Exit status 1 when any check fails, 2 when MODULE is not a module.\n"
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

enum class Verbosity { Quiet, Normal, Verbose };

struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // name -> value ("" for flags)
    Verbosity verbosity = Verbosity::Normal;

    bool Quiet() const { return verbosity == Verbosity::Quiet; }
    bool Verbose() const { return verbosity == Verbosity::Verbose; }
};

// What every command accepts besides its own options.
constexpr OptionSpec kCommonOptions[] = {
    {"-q", false, false}, {"--quiet", false, false}, {"-v", false, false}, {"--verbose", false, false}};

const OptionSpec* FindOption(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& known : specs) {
        if (name == known.name) return &known;
    }
    for (const OptionSpec& known : kCommonOptions) {
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

// With --verbose, one line of what the host is doing.
void Info(const Arguments& args, std::ostream& err, const std::string& text) {
    if (args.Verbose()) err << "aaxhost: " << text << "\n";
}

// Loads, starts and registers; on failure writes the reason and gives the exit status.
std::unique_ptr<PluginModule> OpenModule(const Arguments& args, const std::string& path, std::ostream& err,
                                         int* status) {
    std::string error;
    if (args.Verbose()) {
        const std::string library = ResolveModuleLibrary(path, &error);
        if (!library.empty()) Info(args, err, "loading " + library);
    }
    std::unique_ptr<PluginModule> module = PluginModule::Load(path, &error);
    if (!module) {
        *status = Usage(err, error);
        return nullptr;
    }
    if (!module->StartAndRegister(&error)) {
        *status = Failure(err, error);
        return nullptr;
    }
    if (args.Verbose()) {
        const EffectDescription& effect = *module->Effect();
        Info(args, err, "the module registered \"" + (effect.names.empty() ? "" : effect.names[0]) + "\" with " +
                            std::to_string(effect.components.size()) + " component(s)");
        std::string directory, view;
        const std::string location = RegistryLocation();
        Info(args, err, ReadInstallDirectory(&directory, &view)
                            ? "the install directory is " + directory + " (" + view + " registry view" +
                                  (location.empty() ? "" : ", " + location) + ")"
                            : "no install directory is set" + (location.empty() ? "" : " in " + location));
    }
    return module;
}

int Describe(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.positional.size() != 1) return Usage(err, "describe takes one MODULE");
    int status = kExitSuccess;
    auto module = OpenModule(args, args.positional[0], err, &status);
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

// Text from the module as the table shows it: control characters, backslashes and bytes that
// are not well-formed UTF-8 as escapes (\n, \t, \r, \\, \xHH), so that every row is one line
// and says exactly which bytes the module gave. A name's line feeds, which separate its
// variants, show as `lineFeed` when that is not zero.
std::string Printable(std::string_view text, char lineFeed) {
    std::string shown;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x20 || c == 0x7F || c == '\\' ? 0 : Utf8SequenceLength(text, i);
        if (length > 0) {
            shown.append(text.substr(i, length));
            i += length;
            continue;
        }
        if (c == '\n' && lineFeed != '\0') {
            shown += lineFeed;
        } else if (c == '\n' || c == '\t' || c == '\r' || c == '\\') {
            shown += '\\';
            shown += c == '\n' ? 'n' : c == '\t' ? 't' : c == '\r' ? 'r' : '\\';
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        }
        ++i;
    }
    return shown;
}

// A table cell: the text padded to `width` characters (UTF-8 sequences count as one), and at
// least one space after it however long it is.
std::string Cell(const std::string& text, size_t width) {
    size_t characters = 0;
    for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return text + std::string(characters < width ? width - characters : 1, ' ');
}

// One note for each parameter the host cannot address by its identifier: an index the data
// model lists without an identifier, and a parameter whose identifier an earlier one has (the
// master bypass's empty one, say), which every call by identifier takes for that one.
void NoteUnaddressable(HostInstance& instance, const std::vector<ParameterInfo>& parameters, std::ostream& err) {
    std::vector<bool> listed(static_cast<size_t>(std::max(instance.ParameterCount(), 0)), false);
    for (const ParameterInfo& p : parameters) {
        if (p.index >= 0 && static_cast<size_t>(p.index) < listed.size()) listed[static_cast<size_t>(p.index)] = true;
        int32_t index = -1;
        instance.DataModel()->GetParameterIndex(p.id.c_str(), &index);
        if (index == p.index) continue;
        const bool bypass = p.id == instance.MasterBypassID();
        err << "aaxhost: note: parameter " << p.index << " has the identifier \"" << Printable(p.id, '\0') << "\" of parameter "
            << index << (bypass ? " (the master bypass)" : "")
            << "; calls by identifier reach that one, so its row shows that parameter's details\n";
    }
    for (size_t index = 0; index < listed.size(); ++index) {
        if (!listed[index]) err << "aaxhost: note: the module lists parameter " << index << " without an identifier\n";
    }
}

int Params(const Arguments& args, std::ostream& out, std::ostream& err) {
    std::string error;
    if (args.positional.size() != 1) return Usage(err, "params takes one MODULE");
    InstanceSettings settings;
    if (!ParseLayout(args, AAX_eStemFormat_Stereo, &settings.stemFormat, &error)) return Usage(err, error);
    const std::string* statePath = Value(args, "--state-in");
    std::vector<SavedChunk> state;
    if (statePath != nullptr) {
        if (!CheckReadableFile(*statePath, &error)) return Usage(err, "--state-in: " + error);
        if (!ReadStateFile(*statePath, &state, &error)) return Usage(err, error);
    }
    int status = kExitSuccess;
    auto module = OpenModule(args, args.positional[0], err, &status);
    if (!module) return status;
    auto instance = HostInstance::Create(*module->Effect(), settings, &error);
    if (!instance) return Failure(err, error);
    const AAX_Result initialized = instance->Initialize();
    if (initialized != AAX_SUCCESS) return Failure(err, "Initialize failed with " + std::to_string(initialized));
    if (!EffectLoaded(*instance)) return Failure(err, MissingEffectReason());
    if (statePath != nullptr) {
        if (!instance->OffersChunks(state, &error)) return Usage(err, "--state-in: " + error);
        if (instance->RestoreChunks(state, &error) != AAX_SUCCESS) return Failure(err, error);
    }
    const std::vector<ParameterInfo> parameters = instance->Parameters();
    NoteUnaddressable(*instance, parameters, err);
    const std::string layout = settings.stemFormat == AAX_eStemFormat_Mono ? "mono" : "stereo";
    if (Has(args, "--json")) {
        JsonWriter json(out);
        json.BeginObject();
        json.Field("module", module->Name());
        json.Field("layout", layout);
        if (statePath != nullptr) json.Field("stateIn", *statePath);
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
    out << Cell("index", 6) << Cell("id", 12) << Cell("name", 18) << Cell("type", 12) << Cell("steps", 7)
        << Cell("default", 9) << Cell("value", 9) << "text\n";
    for (const ParameterInfo& p : parameters) {
        std::ostringstream defaultText, valueText;
        defaultText << std::fixed << std::setprecision(4) << p.defaultValue;
        valueText << std::fixed << std::setprecision(4) << p.value;
        out << Cell(std::to_string(p.index), 6) << Cell("\"" + Printable(p.id, '\0') + "\"", 12)
            << Cell(Printable(p.name, '/'), 18) << Cell(TypeName(p.type), 12) << Cell(std::to_string(p.steps), 7)
            << Cell(defaultText.str(), 9) << Cell(valueText.str(), 9) << Printable(p.text, '\0') << "\n";
    }
    out << CountText(static_cast<int64_t>(parameters.size()), "parameter") << ", layout " << layout
        << "; the master bypass is \"" << Printable(instance->MasterBypassID(), '\0') << "\"";
    if (statePath != nullptr) out << "; values after restoring " << *statePath;
    out << "\n";
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

// The optional JSON report of a render, written to its temporary file while it runs.
class RenderReport {
public:
    bool Open(const AtomicOutput& output, std::string* error) {
        target_ = output.Target();
        errno = 0;
        file_.open(output.TemporaryPath(), std::ios::binary | std::ios::trunc);
        if (!file_) return Failed(error);
        json_ = std::make_unique<JsonWriter>(file_);
        return true;
    }
    bool Active() const { return json_ != nullptr; }
    JsonWriter& Json() { return *json_; }
    bool Close(std::string* error) {
        json_.reset();
        errno = 0;
        file_.close();
        return file_ ? true : Failed(error);
    }

private:
    bool Failed(std::string* error) {
        *error = "cannot write " + target_ + ": " + (errno != 0 ? std::strerror(errno) : "the write failed");
        return false;
    }
    std::string target_;
    std::ofstream file_;
    std::unique_ptr<JsonWriter> json_;
};

// The warnings of a finished render, one line each.
void WarnAboutRender(const RenderResult& result, SampleFormat format, std::ostream& err) {
    const std::string end = " at or past the end of the render (" + CountText(result.frames, "frame") + ")";
    if (result.lateAutomation > 0) {
        err << "aaxhost: warning: " << CountText(result.lateAutomation, "automation point") << end
            << (result.lateAutomation == 1 ? " was" : " were") << " not reached\n";
    }
    if (result.lateMidi > 0) {
        err << "aaxhost: warning: " << CountText(result.lateMidi, "MIDI event") << end
            << (result.lateMidi == 1 ? " was" : " were") << " not sent\n";
    }
    if (result.nonFiniteSamples > 0) {
        err << "aaxhost: warning: the effect gave " << CountText(result.nonFiniteSamples, "sample")
            << " that " << (result.nonFiniteSamples == 1 ? "is" : "are") << " NaN or infinite; "
            << (format == SampleFormat::Float32 ? "written as they came\n" : "written as silence (NaN) or full scale (infinity)\n");
    }
    if (result.unwrittenSamples > 0) {
        err << "aaxhost: warning: the module left " << CountText(result.unwrittenSamples, "output sample")
            << " unwritten; written as silence\n";
    }
    if (result.droppedMidi > 0) {
        err << "aaxhost: warning: " << CountText(result.droppedMidi, "MIDI event") << " did not fit a buffer and "
            << (result.droppedMidi == 1 ? "was" : "were") << " not sent\n";
    }
}

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
        // The value holds no '=', the identifier may: the last one separates them.
        const size_t equals = option.second.rfind('=');
        if (equals == std::string::npos) {
            return Usage(err, "--set needs ID=VALUE or #INDEX=VALUE (the master bypass is --set =1)");
        }
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

    AudioFormat format;
    if (const std::string* name = Value(args, "--format")) {
        if (!ParseSampleFormat(*name, &format.sample)) return Usage(err, "--format must be float32, pcm24 or pcm16");
    }
    const bool force = Has(args, "--force");

    // Every file, before anything is read or written. "-" is standard input for -i and standard
    // output for -o; the other outputs are files.
    const std::string& modulePath = args.positional[0];
    const bool fromStdin = *inPath == "-", toStdout = *outPath == "-";
    std::vector<NamedPath> paths = {{"MODULE", modulePath, false}};
    if (!fromStdin) paths.push_back({"-i", *inPath, false});
    for (const char* name : {"--state-in", "--midi", "--automate"}) {
        if (const std::string* path = Value(args, name)) paths.push_back({name, *path, false});
    }
    if (!toStdout) paths.push_back({"-o", *outPath, true});
    for (const char* name : {"--state-out", "--report"}) {
        const std::string* path = Value(args, name);
        if (path == nullptr) continue;
        if (*path == "-") return Usage(err, std::string(name) + " -: only -o writes to standard output (./- names a file called -)");
        paths.push_back({name, *path, true});
    }
    if (!CheckDistinctPaths(paths, &error)) return Usage(err, error);
    for (const NamedPath& path : paths) {
        if (!path.output && path.option != "MODULE" && !CheckReadableFile(path.path, &error)) {
            return Usage(err, path.option + ": " + error);
        }
    }
    if (toStdout && &out == &std::cout && platform::IsTerminal(1)) {
        return Usage(err, "-o -: standard output is a terminal; redirect it to a file or a pipe");
    }
    if (fromStdin && platform::IsTerminal(0)) return Usage(err, "-i -: standard input is a terminal; redirect a WAV file to it");
    if (fromStdin) system::UseBinaryStandardStream(0);
    if (toStdout) system::UseBinaryStandardStream(1);

    std::unique_ptr<AudioReader> input = OpenAudioFile(*inPath, &error);
    if (!input) return Usage(err, error);
    options.inputName = fromStdin ? "standard input" : *inPath;
    if (input->DeclaredFrames() > input->Frames()) {
        err << "aaxhost: warning: " << *inPath << " is shorter than its header says: it holds "
            << CountText(input->Frames(), "frame") << " of " << input->DeclaredFrames() << "; the render uses those\n";
    }
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
    if (!toStdout && !audioOut.Prepare(*outPath, force, &error)) return Usage(err, error);
    if (stateOutPath != nullptr && !stateOut.Prepare(*stateOutPath, force, &error)) return Usage(err, error);
    if (reportPath != nullptr && !reportOut.Prepare(*reportPath, force, &error)) return Usage(err, error);
    format.sampleRate = rate;
    format.channels = AAX_StemFormatChannelCount(RenderStemFormat(options, input->Channels()));
    format.frames = RenderLength(options, input->Frames(), rate);
    std::unique_ptr<AudioWriter> output =
        toStdout ? CreateAudioStream(out, "standard output", format, &error)
                 : CreateAudioFile(audioOut.TemporaryPath(), *outPath, format, &error);
    if (!output) return Usage(err, error);
    RenderReport report;
    if (reportPath != nullptr) {
        if (!report.Open(reportOut, &error)) return Usage(err, error);
        JsonWriter& json = report.Json();
        json.BeginObject();
        json.Field("input", *inPath);
        json.Field("output", *outPath);
        json.Field("sampleRate", rate);
        json.Field("channels", format.channels);
        json.Field("format", SampleFormatName(format.sample));
        json.Key("automation");
        json.BeginArray();
    }

    if (args.Verbose()) {
        std::ostringstream settings;
        settings << "rendering " << *inPath << " (" << RateText(rate) << ", " << CountText(input->Channels(), "channel") << ", "
                 << CountText(input->Frames(), "frame") << ") in a " << (format.channels == 1 ? "mono" : "stereo") << " layout, "
                 << options.block << "-frame buffers, " << options.tailSeconds << " s of tail";
        Info(args, err, settings.str());
        for (const auto& [id, value] : options.sets) {
            Info(args, err, "then \"" + Printable(id, '\0') + "\" is set to " + std::to_string(value));
        }
    }
    int status = kExitSuccess;
    auto module = OpenModule(args, modulePath, err, &status);
    if (!module) return status;
    bool drawn = false;
    if (!args.Quiet() && ShowProgress()) {
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
    if (result.interrupted) {
        err << "aaxhost: " << error << "\n";
        return InterruptStatus();
    }
    if (!rendered) return result.inputError ? Usage(err, error) : Failure(err, error);
    if (!output->Close(&error)) return Usage(err, error);
    if (stateOutPath != nullptr && !stateOut.WriteAll(EncodeStateFile(result.state), &error)) return Usage(err, error);
    if (report.Active()) {
        JsonWriter& json = report.Json();
        json.EndArray();
        json.Field("frames", result.frames);
        json.Field("automationChanges", result.automationChanges);
        json.Field("droppedMidi", result.droppedMidi);
        json.Field("lateMidi", result.lateMidi);
        json.Field("lateAutomation", result.lateAutomation);
        json.Field("nonFiniteSamples", result.nonFiniteSamples);
        json.Field("unwrittenSamples", result.unwrittenSamples);
        json.EndObject();
        if (!report.Close(&error)) return Usage(err, error);
    }
    // The audio last: it is the largest, and the last output needs no copy kept for an undo.
    std::vector<AtomicOutput*> outputs;
    if (stateOutPath != nullptr) outputs.push_back(&stateOut);
    if (reportPath != nullptr) outputs.push_back(&reportOut);
    if (!toStdout) outputs.push_back(&audioOut);
    if (!CommitOutputs(outputs, &error)) return Usage(err, error);
    std::ostream& summary = toStdout ? err : out;
    if (!args.Quiet()) {
        summary << "wrote " << (toStdout ? "standard output" : *outPath) << " (" << CountText(result.frames, "frame") << ", "
                << CountText(result.channels, "channel") << ", " << RateText(result.sampleRate) << ")\n";
        if (result.automationChanges > 0) {
            summary << "applied " << CountText(result.automationChanges, "automation change") << "\n";
        }
    }
    WarnAboutRender(result, format.sample, err);
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
    // Should the module take the process down, the run still ends with the check it was in,
    // as failed, and the summary.
    LastWords lastWords;
    options.onStep = [&](const char* step, const ValidateReport& sofar) {
        out.flush();
        ValidateReport crashed = sofar;
        const std::string detail = std::string("the process crashed (") + LastWords::kCause + ")";
        crashed.checks.push_back({step, false, detail});
        std::ostringstream words;
        if (json) {
            PrintReportJson(words, crashed, path);
        } else {
            PrintCheckLine(words, crashed.checks.back());
            words << SummaryLine(crashed) << "\n";
        }
        lastWords.Set(words.str(), "aaxhost: validation failed: " + std::string(step) + ": " + detail + "\n");
    };
    if (!module) {
        report.checks.push_back({"module loads", false, error});
    } else {
        if (!json) {
            // Quiet: the failing checks only, and the summary.
            const bool quiet = args.Quiet();
            options.onCheck = [&out, quiet](const CheckResult& check) {
                if (!quiet || !check.passed) PrintCheckLine(out, check);
            };
        }
        report = Validate(*module, options);
    }
    if (json) {
        PrintReportJson(out, report, path);
    } else {
        if (!module) PrintCheckLine(out, report.checks.front());
        out << SummaryLine(report) << "\n";
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
    if (directory.empty()) return Usage(err, "install-dir: DIR is empty; give the folder that holds VST64");
    const std::filesystem::path absolute = std::filesystem::absolute(PathOf(directory), ec);
    if (!ec) directory = TextOf(absolute);
    if (!WriteInstallDirectory(directory, &error)) return Usage(err, error);
    if (!args.Quiet()) out << "install directory set to " << directory << "\n";
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
    options.force = Has(args, "--force");
    std::vector<NamedPath> paths = {{"MODULE", options.module, false}};
    if (const std::string* state = Value(args, "--state-in")) {
        options.stateIn = *state;
        paths.push_back({"--state-in", *state, false});
        if (!CheckReadableFile(*state, &error)) return Usage(err, "--state-in: " + error);
    }
    options.quiet = args.Quiet();
    if (const std::string* screenshot = Value(args, "--screenshot")) {
        if (screenshot->empty()) return Usage(err, "--screenshot needs a file name");
        std::string extension = TextOf(PathOf(*screenshot).extension());
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension != ".png") {
            return Usage(err, "--screenshot writes PNG only: give a file name ending in .png, not " + *screenshot);
        }
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
        {"params",
         kParamsHelp,
         {{"--json", false, false}, {"--layout", true, false}, {"--state-in", true, false}},
         Params},
        {"render",
         kRenderHelp,
         {{"-i", true, false},         {"-o", true, false},        {"--layout", true, false},
          {"--block", true, false},    {"--set", true, true},      {"--state-in", true, false},
          {"--state-out", true, false}, {"--tempo", true, false},   {"--meter", true, false},
          {"--play", false, false},    {"--stop-at", true, false}, {"--midi", true, false},
          {"--automate", true, false}, {"--ramp", true, true},     {"--report", true, false},
          {"--tail", true, false},     {"--format", true, false},  {"--force", false, false}},
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
          {"--events", false, false},
          {"--force", false, false}},
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

const Command* FindCommand(const std::string& name) {
    for (const Command& command : Commands()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

// Under --quiet only errors reach stderr: the lines that begin "aaxhost: note: " or
// "aaxhost: warning: " are held back, whichever part of the command writes them.
class ErrorsOnly final : public std::streambuf {
public:
    explicit ErrorsOnly(std::ostream& target) : target_(target) {}
    ~ErrorsOnly() override { Emit(); }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        line_ += static_cast<char>(c);
        if (c == '\n') Emit();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) overflow(static_cast<unsigned char>(text[i]));
        return count;
    }

private:
    void Emit() {
        const bool chatter = line_.rfind("aaxhost: note: ", 0) == 0 || line_.rfind("aaxhost: warning: ", 0) == 0;
        if (!chatter) target_ << line_ << std::flush;
        line_.clear();
    }

    std::ostream& target_;
    std::string line_;
};

bool IsVerbosityOption(const std::string& token, Verbosity* verbosity) {
    if (token == "-q" || token == "--quiet") {
        *verbosity = Verbosity::Quiet;
        return true;
    }
    if (token == "-v" || token == "--verbose") {
        *verbosity = Verbosity::Verbose;
        return true;
    }
    return false;
}

}  // namespace

int RunCommand(int argc, char** argv, std::ostream& out, std::ostream& err) {
    // Options before the command: the verbosity, --help and --version.
    int first = 1;
    std::vector<Verbosity> verbosities;
    for (Verbosity verbosity = Verbosity::Normal; first < argc; ++first) {
        const std::string token = argv[first];
        if (token == "--version") {
            out << "aaxhost " << AAXHOST_VERSION << "\n";
            return kExitSuccess;
        }
        if (token == "--help" || token == "-h") {
            out << kMainHelp;
            return kExitSuccess;
        }
        if (!IsVerbosityOption(token, &verbosity)) break;
        verbosities.push_back(verbosity);
    }
    if (first >= argc) {
        err << kMainHelp;
        return Usage(err, "no command given");
    }
    const std::string name = argv[first];
    if (name == "help") {
        if (first + 1 >= argc) {
            out << kMainHelp;
            return kExitSuccess;
        }
        const Command* command = FindCommand(argv[first + 1]);
        if (command == nullptr || first + 2 < argc) {
            return Usage(err, command == nullptr ? "unknown command \"" + std::string(argv[first + 1]) + "\" (see aaxhost --help)"
                                                 : "help takes one COMMAND");
        }
        out << command->help;
        return kExitSuccess;
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) return Usage(err, "unknown command \"" + name + "\" (see aaxhost --help)");
    if (AsksForHelp(argc, argv, first + 1)) {
        out << command->help;
        return kExitSuccess;
    }
    Arguments args;
    std::string error;
    if (!Parse(argc, argv, first + 1, name, command->options, &args, &error)) return Usage(err, error);
    for (const auto& option : args.options) {
        Verbosity verbosity;
        if (IsVerbosityOption(option.first, &verbosity)) verbosities.push_back(verbosity);
    }
    for (Verbosity verbosity : verbosities) {
        if (verbosity != verbosities.front()) return Usage(err, "--quiet and --verbose cannot be given together");
    }
    if (!verbosities.empty()) args.verbosity = verbosities.front();
    if (!args.Quiet()) return command->run(args, out, err);
    ErrorsOnly filter(err);
    std::ostream errorsOnly(&filter);
    return command->run(args, out, errorsOnly);
}

}  // namespace aaxhost
