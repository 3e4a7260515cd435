#!/usr/bin/env python3
"""Reads the module's machine code and checks what runs on the host's real-time thread.

From the processing callback and from the host callback that the effect calls while it processes
(its time request), follows every direct call and jump inside the binary, and reports in each
function reached:
  - an instruction with a lock prefix, or an exchange with memory (locked without one);
  - rep stos / rep movs (a block clear or copy);
  - a call to the thread-local lookups (__tls_get_addr, __emutls_get_address), to an allocator
    or to a lock.
Calls through a pointer are not followed: on this path they leave the module for the host's
objects or the effect's entry points. The handlers of what an effect asks outside its processing
(NOT_AUDIO_PATH) are not entered.

A second, wider walk from the same roots enters those handlers too (everything the effect's calls
reach, from any of its threads, short of the run time's exception handling) and reports a call
to a thread-local lookup there: under mingw-w64 a thread_local is emulated, and its first use on
a thread allocates and takes a lock, and in a library loaded at run time __tls_get_addr may
allocate the thread's block on first use.

Usage: check-audio-path.py NAME=BINARY ...   (NAME: linux for an ELF .so, windows for a PE DLL)
       check-audio-path.py --self-test      (checks the reading itself on a small built library)
Exit status 1 when a finding is not in KNOWN_OFFENDERS, or a binary cannot be read.
"""

import bisect
import os
import re
import subprocess
import sys
import tempfile

# Where the audio path starts: the processing callback, and the host callback an effect calls
# from its processReplacing. Names as demangled, without their parameter lists.
ROOTS = ("AAXWrapper_AlgorithmProcessFunction", "VstCallBack::HostCallback")

# Reached from the host callback, but serving requests an effect makes from its own threads
# (parameter gestures, display updates, the sample-rate request): not followed.
NOT_AUDIO_PATH = ("VstCallBack::HandleParameterGesture", "VstCallBack::HandleDisplayUpdate",
                  "VstCallBack::AnswerSampleRateRequest",
                  # Time requests from the effect's other threads, answered from a record of their own.
                  "VstCallBack::AnswerOtherTimeRequest")

# The C++ run time's catching and unwinding: reached only once the effect has thrown, which has
# already allocated its exception and unwound through its own frames. Not followed.
EXCEPTIONAL_PATH = ("__cxa_begin_catch", "__cxa_end_catch", "__cxa_rethrow", "_Unwind_Resume", "std::terminate")
# The same run time as a whole, where it is linked into the binary (the Windows module): the
# wider walk does not enter it either.
EXCEPTION_RUNTIME = re.compile(r"^(__cxa_|_Unwind_|__gxx_personality|_GCC_specific_handler|std::terminate)")

# Functions on the path that are offenders as a whole: a call to one is a finding of the caller,
# and the function is not entered.
OFFENDING_CALLS = {
    "VstInterface::ReportEffectFailure": "formats and writes the effect's failure line",
}

# Known offenders: each (binary, function, finding) found prints a warning instead of failing.
# Empty: every finding fails. Should one ever have to be tolerated for a while, list it here with
# the reason; an entry no longer found is reported for removal.
KNOWN_OFFENDERS = set()

TLS = {"__tls_get_addr", "__emutls_get_address"}
ALLOCATORS = {"malloc", "calloc", "realloc", "free", "aligned_alloc", "posix_memalign", "memalign", "_aligned_malloc",
              "_aligned_free", "HeapAlloc", "HeapReAlloc", "HeapFree", "LocalAlloc", "GlobalAlloc", "VirtualAlloc",
              "VirtualFree", "__cxa_allocate_exception"}
LOCKS = {"pthread_mutex_lock", "pthread_mutex_trylock", "pthread_mutex_timedlock", "pthread_rwlock_rdlock",
         "pthread_rwlock_wrlock", "pthread_spin_lock", "pthread_cond_wait", "pthread_cond_timedwait", "pthread_once",
         "pthread_join", "sem_wait", "sem_timedwait", "__cxa_guard_acquire", "EnterCriticalSection",
         "TryEnterCriticalSection", "AcquireSRWLockExclusive", "AcquireSRWLockShared", "WaitForSingleObject",
         "WaitForSingleObjectEx", "WaitForMultipleObjects", "Sleep", "SleepConditionVariableCS",
         "SleepConditionVariableSRW", "std::mutex::lock", "std::recursive_mutex::lock", "syscall"}

HEADER = re.compile(r"^([0-9a-f]+) <(.*)>:$")
INSTRUCTION = re.compile(r"^\s+([0-9a-f]+):\s+(.*?)\s*(?:#.*)?$")
BRANCH = re.compile(r"^(?:(?:bnd|notrack|rex\.W|data16|cs|ds)\s+)*(call|jmp|j[a-z]+)[a-z]*\s+([0-9a-f]+) <")


def short_name(name):
    """The name without @plt, clone suffixes and the parameter list: Class::Function."""
    name = name.split("@")[0]
    name = re.sub(r"\s*\[clone [^\]]*\]", "", name).replace("(anonymous namespace)", "{anonymous}")
    depth = 0
    for index, char in enumerate(name):
        if char == "<":
            depth += 1
        elif char == ">":
            depth -= 1
        elif char == "(" and depth == 0:
            return name[:index]
    return name


def forbidden_callee(name):
    """What a call to the function of that name is, when it must not be on the audio path."""
    short = short_name(name)
    if short in TLS:
        return "calls " + short
    if short in ALLOCATORS or short.startswith(("operator new", "operator delete")):
        return "calls " + short + " (allocator)"
    if short in LOCKS:
        return "calls " + short + " (lock)"
    if short in OFFENDING_CALLS:
        return "calls " + short + " (" + OFFENDING_CALLS[short] + ")"
    return None


def tls_callee(name):
    """A call to a thread-local lookup, the one finding of the wider walk."""
    short = short_name(name)
    return "calls " + short if short in TLS else None


def instruction_finding(text):
    if text.startswith("lock ") or text == "lock":
        return "lock-prefixed " + text.split()[1] if len(text.split()) > 1 else "lock prefix"
    if re.match(r"^xchg[a-z]*\s.*\(", text):
        return "xchg with memory (locked)"
    match = re.match(r"^rep[a-z]*\s+(stos|movs)", text)
    if match:
        return "rep " + match.group(1)
    return None


class Binary:
    """The functions of one binary, from objdump's disassembly."""

    def __init__(self, path):
        output = subprocess.run(["objdump", "-d", "-C", "-w", "--no-show-raw-insn", path], check=True,
                                capture_output=True, text=True).stdout
        self.functions = {}  # start address -> (name, [(address, text)])
        current = None
        for line in output.splitlines():
            header = HEADER.match(line)
            if header:
                current = int(header.group(1), 16)
                self.functions[current] = (header.group(2), [])
                continue
            instruction = INSTRUCTION.match(line)
            if instruction and current is not None:
                self.functions[current][1].append((int(instruction.group(1), 16), instruction.group(2)))
        self.starts = sorted(self.functions)

    def function_at(self, address):
        index = bisect.bisect_right(self.starts, address) - 1
        return self.starts[index] if index >= 0 else None

    def find(self, short):
        return [start for start, (name, _) in self.functions.items() if short_name(name) == short]


def walk(binary, audio_path=True):
    """Every finding on the audio path: (function, finding, path from a root). Raises on a root
    that is missing. With audio_path False, the wider walk: every function the roots reach but
    the exception handling, and only calls to a thread-local lookup count."""
    findings = []
    parent = {}
    queue = []
    for root in ROOTS:
        starts = binary.find(root)
        if not starts:
            raise LookupError(f"{root} not found (a stripped binary cannot be checked)")
        for start in starts:
            parent.setdefault(start, None)
            queue.append(start)

    def path_to(start):
        names = []
        while start is not None:
            names.append(short_name(binary.functions[start][0]))
            start = parent[start]
        return " > ".join(reversed(names))

    while queue:
        start = queue.pop(0)
        name, instructions = binary.functions[start]
        for address, text in instructions:
            finding = instruction_finding(text) if audio_path else None
            if finding:
                findings.append((short_name(name), finding, path_to(start)))
            branch = BRANCH.match(text)
            if not branch:
                continue
            target = binary.function_at(int(branch.group(2), 16))
            if target is None or target == start:
                continue
            callee = binary.functions[target][0]
            finding = forbidden_callee(callee) if audio_path else tls_callee(callee)
            if finding:
                findings.append((short_name(name), finding, path_to(start)))
                continue
            # A stub of the dynamic linker's table leads out of the binary.
            skipped = NOT_AUDIO_PATH + EXCEPTIONAL_PATH if audio_path else EXCEPTIONAL_PATH
            if "@plt" in callee or short_name(callee) in skipped or target in parent:
                continue
            if not audio_path and EXCEPTION_RUNTIME.match(short_name(callee)):
                continue
            parent[target] = start
            queue.append(target)
    return findings, sorted({short_name(binary.functions[start][0]) for start in parent})


def check(label, path):
    """Prints the findings for one binary; the number of findings not known."""
    try:
        binary = Binary(path)
        findings, reached = walk(binary)
        wider, wider_reached = walk(binary, audio_path=False)
    except (OSError, subprocess.CalledProcessError, LookupError) as error:
        print(f"{label}: cannot check {path}: {error}")
        return 1
    print(f"{label}: {path}: {len(reached)} functions on the audio path: {', '.join(reached)}")
    unknown = 0
    seen = set()
    for function, finding, path_text in sorted(set(findings)):
        key = (label, function, finding)
        seen.add(key)
        if key in KNOWN_OFFENDERS:
            print(f"  warning (known offender): {function}: {finding}  [{path_text}]")
        else:
            print(f"  ERROR: {function}: {finding}  [{path_text}]")
            unknown += 1
    for stale in sorted(k for k in KNOWN_OFFENDERS if k[0] == label and k not in seen):
        print(f"  note: known offender no longer found, remove it from the list: {stale[1]}: {stale[2]}")
    print(f"{label}: {len(wider_reached)} functions reached by the effect's calls from any thread: "
          f"{'no' if not wider else len(set(wider))} thread-local lookup(s)")
    for function, finding, path_text in sorted(set(wider)):
        print(f"  ERROR: {function}: {finding}  [{path_text}]")
        unknown += 1
    return unknown


# A library whose root reaches each kind of finding once, through a direct call and a tail jump,
# beside a function with the same faults that nothing on the path reaches.
SELF_TEST_SOURCE = r"""
    .text
    .globl AAXWrapper_AlgorithmProcessFunction, _ZN11VstCallBack12HostCallbackEv, unreached
AAXWrapper_AlgorithmProcessFunction:
    call helper
    call *%rax
    jmp tail
_ZN11VstCallBack12HostCallbackEv:
    call __tls_get_addr@PLT
    ret
helper:
    lock addq $1, (%rdi)
    xchg %eax, (%rdx)
    rep stosq
    call malloc@PLT
    ret
tail:
    rep movsb
    call pthread_mutex_lock@PLT
    call _ZN11VstCallBack22HandleParameterGestureEv
    ret
_ZN11VstCallBack22HandleParameterGestureEv:
    call free@PLT
    call __emutls_get_address@PLT
    ret
unreached:
    lock xaddq %rax, (%rdi)
    call calloc@PLT
    ret
"""

SELF_TEST_EXPECTED = {
    ("helper", "lock-prefixed addq"), ("helper", "xchg with memory (locked)"), ("helper", "rep stos"),
    ("helper", "calls malloc (allocator)"),
    ("tail", "rep movs"), ("tail", "calls pthread_mutex_lock (lock)"),
    ("VstCallBack::HostCallback", "calls __tls_get_addr"),
}
# The wider walk: only the thread-local lookups, the excluded handler's included.
SELF_TEST_EXPECTED_WIDER = {
    ("VstCallBack::HostCallback", "calls __tls_get_addr"),
    ("VstCallBack::HandleParameterGesture", "calls __emutls_get_address"),
}


def self_test():
    with tempfile.TemporaryDirectory() as directory:
        source = os.path.join(directory, "paths.s")
        library = os.path.join(directory, "paths.so")
        with open(source, "w", encoding="utf-8") as handle:
            handle.write(SELF_TEST_SOURCE)
        subprocess.run(["cc", "-shared", "-nostdlib", "-o", library, source], check=True)
        binary = Binary(library)
        findings, _ = walk(binary)
        wider, _ = walk(binary, audio_path=False)
    failed = False
    for title, found, expected in (("audio path", findings, SELF_TEST_EXPECTED),
                                   ("wider walk", wider, SELF_TEST_EXPECTED_WIDER)):
        got = {(function, finding) for function, finding, _ in found}
        if got != expected:
            print(f"self-test failed: the {title} found")
            for item in sorted(got - expected):
                print(f"  unexpected: {item}")
            for item in sorted(expected - got):
                print(f"  missed: {item}")
            failed = True
    if failed:
        return 1
    print(f"self-test: all {len(SELF_TEST_EXPECTED)} planted findings found on the audio path and the "
          f"{len(SELF_TEST_EXPECTED_WIDER)} thread-local lookups in the wider walk, none outside")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    pairs = [a.split("=", 1) for a in argv[1:]]
    if not pairs or any(len(p) != 2 for p in pairs):
        print(__doc__)
        return 2
    unknown = sum(check(label, path) for label, path in pairs)
    if unknown:
        print(f"{unknown} finding(s) that are not known offenders")
    return 1 if unknown else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
