// The compiler as the judge of the binary layout: src/interfaces is compiled with clang for the
// Microsoft x64 target (what a real host is built with), for the mingw-w64 target (what our
// Windows module is built with) and for Linux, and each interface's primary virtual table, as
// clang lays it out, must hold exactly the slots of tests/interfaces/slot_tables.txt: the same
// operation in each slot, with the same return and parameter types. Compiling the headers for
// each target also runs their record static_asserts under that target's rules.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifndef AAXW_CLANGXX
#error "AAXW_CLANGXX names the clang++ that lays the headers out"
#endif

namespace {

struct Slot {
    std::string name;
    std::string declaration;   // as tabled: "int32_t GetChunkSize(uint32_t, uint32_t*)"
    std::string functionType;  // "int32_t (uint32_t, uint32_t*)"
};

struct SlotTable {
    std::string name;
    std::vector<Slot> slots;
};

std::string SourceDir() { return AAXW_SOURCE_DIR; }

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Splits a tabled declaration "R Name(P...)" into its name and its function type.
bool ParseDeclaration(const std::string& declaration, Slot* slot) {
    const size_t open = declaration.find('(');
    if (open == std::string::npos || declaration.back() != ')') return false;
    size_t start = open;
    while (start > 0 && (std::isalnum(static_cast<unsigned char>(declaration[start - 1])) != 0 ||
                         declaration[start - 1] == '_')) {
        --start;
    }
    const std::string returnType = Trim(declaration.substr(0, start));
    if (start == open || returnType.empty()) return false;
    *slot = {declaration.substr(start, open - start), declaration, returnType + " " + declaration.substr(open)};
    return true;
}

// Reads tables in the format of slot_tables.txt. Slot numbers must run from 0 without gaps; a
// table with a base starts with the base's slots.
std::vector<SlotTable> ReadTables(std::istream& in, std::string* error) {
    std::vector<SlotTable> tables;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::string header = line.substr(1, line.find(']') - 1);
            const size_t colon = header.find(':');
            tables.push_back({Trim(header.substr(0, colon)), {}});
            if (colon == std::string::npos) continue;
            const std::string base = Trim(header.substr(colon + 1));
            size_t b = 0;
            while (b + 1 < tables.size() && tables[b].name != base) ++b;
            if (b + 1 == tables.size()) {
                *error = "base " + base + " is not tabled before " + line;
                return {};
            }
            tables.back().slots = tables[b].slots;
            continue;
        }
        const size_t space = line.find(' ');
        Slot slot;
        if (tables.empty() || space == std::string::npos ||
            line.substr(0, space) != std::to_string(tables.back().slots.size()) ||
            !ParseDeclaration(Trim(line.substr(space + 1)), &slot)) {
            *error = "malformed line in slot tables: " + line;
            return {};
        }
        tables.back().slots.push_back(slot);
    }
    return tables;
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

// Parses clang's -fdump-vtable-layouts output into the entries of the primary table of each
// class laid out on its own ("Vtable for 'X'" on Itanium targets, "VFTable for 'X'" on the
// Microsoft target), leaving out the offset and type-information entries before the first slot.
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
        if (!primaryDone) current->push_back(entry);
    }
    return layouts;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ClangRun {
    int status;
    std::string output;
};

ClangRun RunClang(const std::string& target, const std::string& flags, const std::string& source,
                  const std::string& base) {
    {
        std::ofstream probe(base + ".cpp");
        probe << source;
    }
    const std::string command = std::string(AAXW_CLANGXX) + " --target=" + target +
                                " -std=c++20 -ffreestanding -fno-exceptions -nostdinc++ -I\"" + SourceDir() +
                                "/tests/interfaces/freestanding\" -I\"" + SourceDir() + "/src\" " + flags + " \"" +
                                base + ".cpp\" > \"" + base + ".txt\" 2>&1";
    const int status = std::system(command.c_str());
    return {status, ReadFile(base + ".txt")};
}

// Compiled after the declarations: a slot's function type as the calling convention sees it.
// Aliases are resolved by the compiler, an enumeration becomes its underlying integer, and the
// const and noexcept of the operation are dropped; the class is not part of the slot's type.
// An identifier in the table must name a class or an enumeration, never an alias.
const char kSlotTypes[] = R"(
namespace aaxw_slot {
template <class T, bool = __is_enum(T)> struct Abi { using type = T; };
template <class T> struct Abi<T, true> { using type = __underlying_type(T); };
template <class T> struct Abi<T*, false> { using type = typename Abi<T>::type*; };
template <class T> struct Abi<T&, false> { using type = typename Abi<T>::type&; };
template <class T> struct Abi<const T, false> { using type = const typename Abi<T>::type; };
template <class R, class... A> struct Abi<R(A...), false> { using type = typename Abi<R>::type(typename Abi<A>::type...); };
template <class M> struct Of;
template <class C, class R, class... A> struct Of<R (C::*)(A...)> : Abi<R(A...)> {};
template <class C, class R, class... A> struct Of<R (C::*)(A...) const> : Abi<R(A...)> {};
template <class C, class R, class... A> struct Of<R (C::*)(A...) noexcept> : Abi<R(A...)> {};
template <class C, class R, class... A> struct Of<R (C::*)(A...) const noexcept> : Abi<R(A...)> {};
}
)";

// Every word of a tabled type that is not a fundamental or fixed-width integer type.
std::vector<std::string> NamedTypes(const std::string& functionType) {
    static const char* const kFundamental[] = {"void",     "bool",     "char",     "float",   "double",
                                               "const",    "int8_t",   "uint8_t",  "int16_t", "uint16_t",
                                               "int32_t",  "uint32_t", "int64_t",  "uint64_t"};
    std::vector<std::string> names;
    std::string word;
    for (const char c : functionType + " ") {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') {
            word += c;
            continue;
        }
        bool fundamental = word.empty();
        for (const char* f : kFundamental) fundamental = fundamental || word == f;
        if (!fundamental) names.push_back(word);
        word.clear();
    }
    return names;
}

// The two types clang compared, from its diagnostic "... requirement '__is_same(A, B)' ...".
std::string ComparedTypes(const std::string& diagnostic) {
    const std::string opening = "requirement '__is_same(";
    const size_t start = diagnostic.find(opening);
    const size_t end = diagnostic.find(")' ", start);
    if (start == std::string::npos || end == std::string::npos) return "";
    const std::string both = diagnostic.substr(start + opening.size(), end - start - opening.size());
    int depth = 0;
    for (size_t i = 0; i < both.size(); ++i) {
        depth += both[i] == '(' ? 1 : both[i] == ')' ? -1 : 0;
        if (depth == 0 && both[i] == ',') {
            return " (to the compiler: declared " + both.substr(0, i) + ", tabled " + both.substr(i + 2) + ")";
        }
    }
    return "";
}

// Compiles the declarations for the target and returns one line per slot that differs from the
// tables (interface, slot, the tabled and the declared signature); empty when all agree.
std::vector<std::string> CompareWithClang(const std::vector<SlotTable>& tables, const std::string& declarations,
                                          const std::string& target, const std::string& base) {
    // Deriving a class and defining its constructor makes clang lay out the interface's table.
    std::string layoutProbe = declarations;
    for (size_t i = 0; i < tables.size(); ++i) {
        const std::string probe = "Probe" + std::to_string(i);
        layoutProbe += "struct " + probe + " : " + tables[i].name + " { " + probe + "(); };\n";
        layoutProbe += probe + "::" + probe + "() {}\n";
    }
    const ClangRun layout = RunClang(target, "-S -o /dev/null -Xclang -fdump-vtable-layouts", layoutProbe, base);
    if (layout.status != 0) return {"clang could not compile the declarations:\n" + layout.output};
    const auto layouts = ParseDump(layout.output);

    std::vector<std::string> differences;
    std::string signatureProbe = declarations + kSlotTypes;
    std::vector<std::pair<std::string, std::string>> checked;  // (what, found) per static_assert
    std::set<std::string> namedTypes;
    for (const SlotTable& table : tables) {
        const auto found = layouts.find(table.name);
        if (found == layouts.end()) {
            differences.push_back(table.name + ": clang laid out no table for it");
            continue;
        }
        const std::vector<std::string>& actual = found->second;
        for (size_t slot = 0; slot < table.slots.size() || slot < actual.size(); ++slot) {
            const std::string what = table.name + " slot " + std::to_string(slot) + ": expected ";
            const std::string expected = slot < table.slots.size() ? table.slots[slot].declaration : "(none)";
            const std::string got = slot < actual.size() ? actual[slot] : "(none)";
            if (slot >= table.slots.size() || slot >= actual.size() ||
                table.slots[slot].name != OperationName(actual[slot])) {
                differences.push_back(what + expected + ", found " + got);
                continue;
            }
            for (const std::string& named : NamedTypes(table.slots[slot].functionType)) {
                if (!namedTypes.insert(named).second) continue;
                signatureProbe += "static_assert(__is_class(" + named + ") || __is_enum(" + named +
                                  "), \"slot tables: write the type that " + named + " stands for\");\n";
            }
            signatureProbe += "static_assert(__is_same(aaxw_slot::Of<decltype(&" + table.name +
                              "::" + table.slots[slot].name + ")>::type, aaxw_slot::Abi<" +
                              table.slots[slot].functionType + ">::type), \"slot-signature " +
                              std::to_string(checked.size()) + "\");\n";
            checked.emplace_back(what + expected, got);
        }
    }
    const ClangRun signatures = RunClang(target, "-fsyntax-only -ferror-limit=0 -fno-caret-diagnostics",
                                         signatureProbe, base + "_signatures");
    size_t reported = 0;
    bool otherErrors = false;
    std::istringstream lines(signatures.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("error:") == std::string::npos) continue;
        const size_t marker = line.find("slot-signature ");
        if (marker == std::string::npos) {
            otherErrors = true;
            continue;
        }
        const size_t index = std::stoul(line.substr(marker + 15));
        differences.push_back(checked.at(index).first + ", found " + checked.at(index).second +
                              ComparedTypes(line));
        ++reported;
    }
    if (otherErrors || (signatures.status != 0 && reported == 0)) {
        differences.push_back("clang rejected the slot signatures:\n" + signatures.output);
    }
    return differences;
}

std::string InterfaceHeaders() {
    return "#include \"interfaces/acf.h\"\n#include \"interfaces/aax_ids.h\"\n"
           "#include \"interfaces/aax_string.h\"\n#include \"interfaces/aax_host.h\"\n"
           "#include \"interfaces/aax_parameter.h\"\n#include \"interfaces/aax_effect.h\"\n"
           "#include \"interfaces/aax_description.h\"\n#include \"interfaces/vst2.h\"\n"
           "#include \"render/AlgorithmContext.h\"\n";
}

class SlotTables : public testing::TestWithParam<const char*> {};

TEST_P(SlotTables, EveryCrossingInterfaceHasTheTabledSlots) {
    std::ifstream file(SourceDir() + "/tests/interfaces/slot_tables.txt");
    ASSERT_TRUE(file) << "cannot read slot_tables.txt";
    std::string error;
    const std::vector<SlotTable> tables = ReadTables(file, &error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_GE(tables.size(), 20u);

    const std::string target = GetParam();
    const std::string base = std::string(AAXW_WORK_DIR) + "/slot_probe_" + target;
    for (const std::string& difference : CompareWithClang(tables, InterfaceHeaders(), target, base)) {
        ADD_FAILURE() << target << ": " << difference;
    }
    size_t slots = 0;
    for (const SlotTable& table : tables) slots += table.slots.size();
    RecordProperty("interfaces", static_cast<int>(tables.size()));
    RecordProperty("slots", static_cast<int>(slots));
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

// The comparison itself, on small declarations: what the calling convention sees must agree, and
// every difference in it must be reported with the interface, the slot and both signatures.
TEST(SlotComparison, ReportsWhatTheCallingConventionSees) {
    struct Case {
        const char* what;
        const char* declarations;
        const char* table;
        std::vector<std::string> reported;  // empty: the declarations match the table
    };
    const Case cases[] = {
        {"aliases, enumerations, const and noexcept", "using R = int32_t; enum E : int32_t {};\n"
         "struct I { virtual R f(E*, const char*) const noexcept = 0; };\n", "0 int32_t f(int32_t*, const char*)", {}},
        {"a wider out-parameter", "struct I { virtual int32_t f(uint32_t, uint64_t* size) = 0; };\n",
         "0 int32_t f(uint32_t, uint32_t*)", {"I slot 0: expected int32_t f(uint32_t, uint32_t*), found", "uint64_t *"}},
        {"signedness", "using Id = int32_t; struct I { virtual void f(Id) = 0; };\n", "0 void f(uint32_t)",
         {"I slot 0: expected void f(uint32_t), found void I::f(Id)"}},
        {"a const reference for a pointer", "struct I { virtual void f(const I*) = 0; };\n", "0 void f(const I&)",
         {"I slot 0: expected void f(const I&)"}},
        {"slot order", "struct I { virtual void f() = 0; virtual void g() = 0; };\n", "0 void g()\n1 void f()",
         {"I slot 0: expected void g(), found void I::f()", "I slot 1: expected void f(), found void I::g()"}},
        {"an alias in the table", "using Id = uint32_t; struct I { virtual void f(Id) = 0; };\n", "0 void f(Id)",
         {"write the type that Id stands for"}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        std::istringstream text(std::string("[I]\n") + c.table + "\n");
        std::string error;
        const std::vector<SlotTable> tables = ReadTables(text, &error);
        ASSERT_TRUE(error.empty()) << c.what << ": " << error;
        const std::vector<std::string> differences =
            CompareWithClang(tables, std::string("#include <cstdint>\n") + c.declarations, "x86_64-pc-windows-msvc",
                             std::string(AAXW_WORK_DIR) + "/slot_selftest_" + std::to_string(i));
        std::string all;
        for (const std::string& d : differences) all += d + "\n";
        EXPECT_EQ(differences.empty(), c.reported.empty()) << c.what << ":\n" << all;
        for (const std::string& part : c.reported) {
            EXPECT_NE(all.find(part), std::string::npos) << c.what << ": no \"" << part << "\" in\n" << all;
        }
    }
}

}  // namespace
