#!/usr/bin/env python3
"""Checks the built Windows module for emulated thread-local storage on the effect's paths.

Under mingw-w64 a thread_local variable is emulated: its first use on a thread goes through
__emutls_get_address, which allocates and takes a lock, on the host's audio thread too. This
walks the module's disassembly from the processing callback and from the host callback handed
to the effect, following every direct call and jump, and fails when __emutls_get_address can be
reached. The C++ runtime's exception handling is not followed: it is only entered once the
effect has thrown (and so has allocated already), and it uses emulated storage of its own.

Usage: check_realtime_tls.py OBJDUMP MODULE
"""

import re
import subprocess
import sys

# Each root is the function whose (mangled) name contains the text.
ROOTS = {
    "the processing callback": "35AAXWrapper_AlgorithmProcessFunction",
    "the host callback": "11VstCallBack12HostCallback",
}
FORBIDDEN = "__emutls_get_address"
# The exception runtime, entered from landing pads only.
EXCEPTION_RUNTIME = re.compile(r"^(__cxa_|_Unwind_|__gxx_personality|_GCC_specific_handler|_ZSt9terminate)")

FUNCTION = re.compile(r"^[0-9a-f]+ <(.+)>:$")
DIRECT = re.compile(r"\s(?:call|jmp)[a-z]*\s+[0-9a-f]+ <([^>+]+)(?:\+0x[0-9a-f]+)?>")


def direct_targets(disassembly):
    """Maps each function to the functions it calls or jumps to directly."""
    targets = {}
    current = None
    for line in disassembly.splitlines():
        start = FUNCTION.match(line)
        if start:
            current = start.group(1)
            targets.setdefault(current, set())
            continue
        if current is None:
            continue
        found = DIRECT.search(line)
        if found and found.group(1) != current:
            targets[current].add(found.group(1))
    return targets


def path_to(targets, root, goal):
    """The chain of functions from root to goal, or None."""
    came_from = {root: None}
    pending = [root]
    while pending:
        function = pending.pop()
        if function == goal:
            chain = []
            while function is not None:
                chain.append(function)
                function = came_from[function]
            return list(reversed(chain))
        if EXCEPTION_RUNTIME.match(function):
            continue
        for callee in targets.get(function, ()):
            if callee not in came_from:
                came_from[callee] = function
                pending.append(callee)
    return None


def main():
    objdump, module = sys.argv[1], sys.argv[2]
    disassembly = subprocess.run([objdump, "-d", "--no-show-raw-insn", module], capture_output=True, text=True,
                                 check=True).stdout
    targets = direct_targets(disassembly)
    failed = False
    for description, text in ROOTS.items():
        root = next((name for name in targets if text in name), None)
        if root is None:
            print(f"{description} ({text}) is not in {module}")
            failed = True
            continue
        chain = path_to(targets, root, FORBIDDEN)
        if chain:
            print(f"{description} reaches emulated thread-local storage: " + " -> ".join(chain))
            failed = True
        else:
            print(f"{description}: no emulated thread-local storage reachable")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
