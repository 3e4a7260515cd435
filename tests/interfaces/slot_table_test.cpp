// The compiler as the judge of the binary layout: src/interfaces is compiled with clang for the
// Microsoft x64 target (what a real host is built with), for the mingw-w64 target (what our
// Windows module is built with) and for Linux, and each interface's primary virtual table, as
// clang lays it out, must hold exactly the slots of tests/interfaces/slot_tables.txt. Compiling
// the headers for each target also runs their record static_asserts under that target's rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef AAXW_CLANGXX
#error "AAXW_CLANGXX names the clang++ that lays the headers out"
#endif

namespace {

struct SlotTable {
    std::string name;
    std::vector<std::string> slots;
};

std::string SourceDir() { return AAXW_SOURCE_DIR; }

// Reads the checked-in tables. Slot numbers must run from 0 without gaps.
std::vector<SlotTable> ReadTables(std::string* error) {
    std::ifstream file(SourceDir() + "/tests/interfaces/slot_tables.txt");
    if (!file) {
        *error = "cannot read slot_tables.txt";
        return {};
    }
    std::vector<SlotTable> tables;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            tables.push_back({line.substr(1, close - 1), {}});
            continue;
        }
        std::istringstream fields(line);
        size_t slot = 0;
        std::string operation;
        if (!(fields >> slot >> operation) || tables.empty() || slot != tables.back().slots.size()) {
            *error = "malformed line in slot_tables.txt: " + line;
            return {};
        }
        tables.back().slots.push_back(operation);
    }
    return tables;
}

// A translation unit that includes every interface header and makes clang lay out the virtual
// table of each tabled interface: deriving a class and defining its constructor emits the
// interface's own table.
std::string ProbeSource(const std::vector<SlotTable>& tables) {
    std::string source =
        "#include \"interfaces/acf.h\"\n#include \"interfaces/aax_ids.h\"\n"
        "#include \"interfaces/aax_string.h\"\n#include \"interfaces/aax_host.h\"\n"
        "#include \"interfaces/aax_parameter.h\"\n#include \"interfaces/aax_effect.h\"\n"
        "#include \"interfaces/aax_description.h\"\n#include \"interfaces/vst2.h\"\n"
        "#include \"render/AlgorithmContext.h\"\n";
    for (size_t i = 0; i < tables.size(); ++i) {
        const std::string probe = "Probe" + std::to_string(i);
        source += "struct " + probe + " : " + tables[i].name + " { " + probe + "(); };\n";
        source += probe + "::" + probe + "() {}\n";
    }
    return source;
}

// The operation's name from a dump entry such as "int A::f(const char *) [pure]" or
// "A::~A() [deleting]": the word before the parameter list, after the last "::". Destructor
// entries keep their kind, so the two Itanium destructor entries stay visible as two.
std::string OperationName(const std::string& entry) {
    const size_t open = entry.find('(');
    std::string head = entry.substr(0, open);
    const size_t scope = head.rfind("::");
    if (scope != std::string::npos) head = head.substr(scope + 2);
    if (head.rfind('~', 0) == 0) {
        const size_t kind = entry.find('[');
        if (kind != std::string::npos) head += " " + entry.substr(kind);
    }
    return head;
}

// Parses clang's -fdump-vtable-layouts output into the primary table of each class laid out
// on its own ("Vtable for 'X'" on Itanium targets, "VFTable for 'X'" on the Microsoft target),
// leaving out the offset and type-information entries that precede the first slot.
std::map<std::string, std::vector<std::string>> ParseDump(const std::string& dump) {
    std::map<std::string, std::vector<std::string>> layouts;
    std::istringstream lines(dump);
    std::string line;
    std::vector<std::string>* current = nullptr;
    bool primaryDone = false;
    while (std::getline(lines, line)) {
        const bool itanium = line.rfind("Vtable for '", 0) == 0;
        const bool microsoft = line.rfind("VFTable for '", 0) == 0;
        if (itanium || microsoft) {
            // The table belongs to the last class named: the Microsoft dump names a derived
            // interface's table "VFTable for 'Base' in 'Derived'", after the class that brought
            // in its table pointer. Every interface here has exactly one table pointer.
            const size_t end = line.rfind('\'');
            const size_t start = line.rfind('\'', end - 1) + 1;
            const std::string owner = line.substr(start, end - start);
            current = &layouts[owner];
            current->clear();
            primaryDone = false;
            continue;
        }
        if (current == nullptr) continue;
        if (line.empty()) {
            current = nullptr;
            continue;
        }
        const size_t bar = line.find(" | ");
        if (bar == std::string::npos) continue;  // address-point and thunk notes
        const std::string entry = line.substr(bar + 3);
        if (entry.rfind("offset_to_top", 0) == 0) {
            if (!current->empty()) primaryDone = true;  // a secondary table begins
            continue;
        }
        if (entry.size() > 5 && entry.compare(entry.size() - 5, 5, " RTTI") == 0) continue;
        if (!primaryDone) current->push_back(OperationName(entry));
    }
    return layouts;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class SlotTables : public testing::TestWithParam<const char*> {};

TEST_P(SlotTables, EveryCrossingInterfaceHasTheTabledSlots) {
    std::string error;
    const std::vector<SlotTable> tables = ReadTables(&error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(tables.size(), 20u);

    const std::string target = GetParam();
    const std::string base = std::string(AAXW_WORK_DIR) + "/slot_probe_" + target;
    {
        std::ofstream probe(base + ".cpp");
        probe << ProbeSource(tables);
    }
    const std::string command = std::string(AAXW_CLANGXX) + " --target=" + target +
                                " -std=c++20 -ffreestanding -fno-exceptions -nostdinc++ -I\"" + SourceDir() +
                                "/tests/interfaces/freestanding\" -I\"" + SourceDir() + "/src\" -S -o /dev/null" +
                                " -Xclang -fdump-vtable-layouts \"" + base + ".cpp\" > \"" + base + ".txt\" 2>&1";
    const int status = std::system(command.c_str());
    const std::string dump = ReadFile(base + ".txt");
    ASSERT_EQ(status, 0) << "clang could not compile the interface headers for " << target << ":\n" << dump;

    const auto layouts = ParseDump(dump);
    size_t slotsChecked = 0;
    for (const SlotTable& table : tables) {
        const auto found = layouts.find(table.name);
        if (found == layouts.end()) {
            ADD_FAILURE() << table.name << ": clang laid out no table for it";
            continue;
        }
        const std::vector<std::string>& actual = found->second;
        std::ostringstream differences;
        for (size_t slot = 0; slot < table.slots.size() || slot < actual.size(); ++slot) {
            const std::string expected = slot < table.slots.size() ? table.slots[slot] : "(none)";
            const std::string got = slot < actual.size() ? actual[slot] : "(none)";
            if (expected != got) differences << "\n  slot " << slot << ": expected " << expected << ", found " << got;
        }
        EXPECT_TRUE(differences.str().empty()) << table.name << " on " << target << ":" << differences.str();
        slotsChecked += table.slots.size();
    }
    RecordProperty("interfaces", static_cast<int>(tables.size()));
    RecordProperty("slots", static_cast<int>(slotsChecked));
}

// The Microsoft layout is what a real host uses; mingw-w64 is what our Windows module is built
// with; Linux is our own host and module. A declaration that is right for one and wrong for
// another fails here.
INSTANTIATE_TEST_SUITE_P(Targets, SlotTables,
                         testing::Values("x86_64-pc-windows-msvc", "x86_64-w64-windows-gnu", "x86_64-linux-gnu"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

}  // namespace
