#!/usr/bin/env python3
"""Reads the Google Benchmark JSON of aaxw_bench and prints what the module costs.

Each wrapped benchmark is paired with its direct twin of the same arguments (BM_Wrapped/... with
BM_Direct/..., BM_NullWrapped with BM_NullDirect, and so on). BM_NullHostAnswers makes the host
calls of the processing callback alone; the "host-separated" figures take what it costs out of
the module's. Times are per iteration, in
nanoseconds of CPU time: on a shared machine the process's CPU time leaves out the time it spent
descheduled, which wall time does not. For each benchmark the median over the repetitions is
used, and the ratio is also given from the fastest repetition of each side as a check on noise.

Usage: bench_report.py results.json [--markdown]
"""

import json
import statistics
import sys

# Goals on the real-time path, judged on one instance of the delay by frames per buffer: the
# interleaved ratio as measured, and with the host's answers taken out.
RATIO_TARGETS = {16: 1.07, 64: 1.025, 512: 1.01}
SEPARATED_RATIO_TARGETS = {16: 1.05, 64: 1.02}
# The module's own cost per instance and buffer with the null effect, the host's answers taken
# out, by instances per batch; and the time answer at one instance.
OWN_COST_TARGETS_NS = {1: 5.0, 64: 8.0}
TIME_ANSWER_TARGET_NS = 4.0


def load_runs(path):
    """Maps each benchmark's run name to the list of its per-repetition results."""
    with open(path, encoding="utf-8") as handle:
        data = json.load(handle)
    runs = {}
    for entry in data.get("benchmarks", []):
        if entry.get("run_type") != "iteration":
            continue
        if entry.get("error_occurred"):
            runs.setdefault(entry["run_name"], [])
            continue
        runs.setdefault(entry["run_name"], []).append(entry)
    return data.get("context", {}), runs


def to_ns(entry, key):
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry.get("time_unit", "ns")]
    return entry[key] * scale


class Stat:
    """Median and minimum CPU time of one benchmark, and its largest allocation count."""

    def __init__(self, entries):
        times = [to_ns(e, "cpu_time") for e in entries]
        self.valid = bool(times)
        self.median = statistics.median(times) if times else float("nan")
        self.minimum = min(times) if times else float("nan")
        self.repetitions = len(times)
        self.allocs = max((e.get("allocs", 0.0) for e in entries), default=0.0)


def arg(name, key):
    """The value of one named argument in a run name such as BM_Direct/instances:1/frames:64."""
    for part in name.split("/")[1:]:
        if part.startswith(key + ":"):
            return int(part.split(":", 1)[1])
    return None


def fmt_ns(value):
    if value != value:  # NaN
        return "n/a"
    if value >= 100000:
        return f"{value / 1000:,.0f} us"
    if value >= 100:
        return f"{value:,.0f} ns"
    return f"{value:.1f} ns"


def fmt_ratio(value):
    return "n/a" if value != value else f"{value:.3f}"


class Table:
    def __init__(self, markdown):
        self.markdown = markdown

    def print(self, title, header, rows):
        print()
        print(f"### {title}" if self.markdown else title)
        print()
        if self.markdown:
            print("| " + " | ".join(header) + " |")
            print("|" + "|".join("---" for _ in header) + "|")
            for row in rows:
                print("| " + " | ".join(row) + " |")
            return
        widths = [max(len(str(c)) for c in column) for column in zip(header, *rows)]
        line = "  ".join(h.ljust(w) for h, w in zip(header, widths))
        print(line)
        print("-" * len(line))
        for row in rows:
            print("  ".join(str(c).ljust(w) for c, w in zip(row, widths)))


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    markdown = "--markdown" in argv[2:]
    context, runs = load_runs(argv[1])
    stats = {name: Stat(entries) for name, entries in runs.items()}
    table = Table(markdown)
    verdicts = []

    def pair(direct_name, wrapped_name):
        return stats.get(direct_name), stats.get(wrapped_name)

    load = context.get("load_avg", [])
    print(f"Host: {context.get('host_name', '?')}, {context.get('num_cpus', '?')} CPUs at "
          f"{context.get('mhz_per_cpu', '?')} MHz, load average "
          f"{', '.join(f'{x:.2f}' for x in load) if load else '?'} at the start; "
          f"Google Benchmark library built as {context.get('library_build_type', '?')} "
          f"(its own bookkeeping only)")

    def host_answers(instances):
        """The host's answers to one buffer of the callback for the whole batch, or None."""
        found = stats.get(f"BM_NullHostAnswers/instances:{instances}/frames:64")
        return found.median if found is not None and found.valid else None

    def verdict(ok):
        return "met" if ok else "MISSED"

    # 1 and 2: the reference delay through the callback against processReplacing called directly.
    interleaved = {}
    for name, entries in runs.items():
        if name.startswith("BM_Interleaved/") and entries:
            key = (arg(name, "instances"), arg(name, "frames"))
            interleaved[key] = {c: statistics.median(e[c] for e in entries)
                                for c in ("ratio", "direct_ns", "wrapped_ns")}
    rows = []
    for name in sorted((n for n in stats if n.startswith("BM_Wrapped/")),
                       key=lambda n: (arg(n, "instances"), arg(n, "frames"))):
        direct, wrapped = pair(name.replace("BM_Wrapped/", "BM_Direct/"), name)
        instances, frames = arg(name, "instances"), arg(name, "frames")
        if direct is None or not direct.valid or not wrapped.valid:
            rows.append([f"{instances}", f"{frames}", "skipped", "", "", "", "", "", "", ""])
            continue
        ratio = wrapped.median / direct.median
        ratio_min = wrapped.minimum / direct.minimum
        paired = interleaved.get((instances, frames))
        paired_ratio = paired["ratio"] if paired else float("nan")
        # From the interleaved ratio where there is one, so the two columns agree.
        judged = paired_ratio if paired else ratio
        direct_ns = paired["direct_ns"] if paired else direct.median
        added = (judged - 1.0) * direct_ns / instances
        host = host_answers(instances)
        separated = judged - host / direct_ns if host is not None else float("nan")
        # The goals are set for one instance; a batch is shown against them for comparison only.
        goals = []
        if instances == 1:
            for label, targets, value in (("raw", RATIO_TARGETS, judged), ("host-separated", SEPARATED_RATIO_TARGETS,
                                                                            separated)):
                target = targets.get(frames)
                if target is None:
                    continue
                ok = value == value and value <= target
                goals.append(f"{label} <= {target} {verdict(ok)}")
                verdicts.append((f"delay ratio, {label}, 1 instance, {frames} frames <= {target}"
                                 f" ({fmt_ratio(value)}{'' if paired else ', from separate runs'})", ok))
        rows.append([f"{instances}", f"{frames}", fmt_ns(direct.median), fmt_ns(wrapped.median), fmt_ratio(ratio),
                     fmt_ratio(ratio_min), fmt_ratio(paired_ratio), fmt_ratio(separated), f"{added:+.0f} ns",
                     "; ".join(goals)])
    table.print("Processing callback over the reference delay (BM_Wrapped / BM_Direct; BM_Interleaved; "
                "host-separated: less BM_NullHostAnswers)",
                ["instances", "frames", "direct", "wrapped", "ratio", "ratio (fastest)", "ratio (interleaved)",
                 "host-separated", "added per instance", "goal"], rows)

    # 3: the null effect: the module's own cost, raw and with the host's answers taken out.
    rows = []
    for name in sorted((n for n in stats if n.startswith("BM_NullWrapped/")), key=lambda n: arg(n, "instances")):
        direct, wrapped = pair(name.replace("BM_NullWrapped/", "BM_NullDirect/"), name)
        if direct is None or not direct.valid or not wrapped.valid:
            continue
        instances = arg(name, "instances")
        overhead = (wrapped.median - direct.median) / instances
        overhead_min = (wrapped.minimum - direct.minimum) / instances
        host = host_answers(instances)
        host_each = host / instances if host is not None else float("nan")
        own = overhead - host_each
        target = OWN_COST_TARGETS_NS.get(instances)
        goal = ""
        if target is not None:
            ok = own == own and own <= target
            goal = f"<= {target:.0f} ns {verdict(ok)}"
            verdicts.append((f"own cost without the host's answers, {instances} instance(s) <= {target:.0f} ns"
                             f" ({own:.1f} ns; raw {overhead:.1f} ns)", ok))
        rows.append([f"{instances}", fmt_ns(direct.median), fmt_ns(wrapped.median), f"{overhead:.1f} ns",
                     f"{overhead_min:.1f} ns", f"{host_each:.1f} ns", f"{own:.1f} ns", goal])
    table.print("Module's own cost per instance and buffer, null effect (BM_NullWrapped - BM_NullDirect, "
                "then less BM_NullHostAnswers)",
                ["instances", "direct", "wrapped", "raw", "raw (fastest)", "host answers", "host-separated",
                 "goal (host-separated)"], rows)

    rows = []
    for name in sorted((n for n in stats if n.startswith("BM_NullTimeWrapped/")), key=lambda n: arg(n, "instances")):
        direct, wrapped = pair(name.replace("BM_NullTimeWrapped/", "BM_NullTimeDirect/"), name)
        plain_direct, plain_wrapped = pair(name.replace("BM_NullTimeWrapped/", "BM_NullDirect/"),
                                           name.replace("BM_NullTimeWrapped/", "BM_NullWrapped/"))
        if None in (direct, plain_direct, plain_wrapped) or not (direct.valid and wrapped.valid):
            continue
        instances = arg(name, "instances")
        overhead = (wrapped.median - direct.median) / instances
        answer = overhead - (plain_wrapped.median - plain_direct.median) / instances
        goal = ""
        if instances == 1:
            ok = answer <= TIME_ANSWER_TARGET_NS
            goal = f"<= {TIME_ANSWER_TARGET_NS:.0f} ns {verdict(ok)}"
            verdicts.append((f"time answer, 1 instance <= {TIME_ANSWER_TARGET_NS:.0f} ns ({answer:.1f} ns)", ok))
        rows.append([f"{instances}", fmt_ns(direct.median), fmt_ns(wrapped.median), f"{overhead:.1f} ns",
                     f"{answer:.1f} ns", goal])
    table.print("Null effect asking for the time once per buffer (BM_NullTimeWrapped - BM_NullTimeDirect; "
                "the time answer is the difference to the pair that does not ask)",
                ["instances", "direct", "wrapped", "overhead per instance", "of which the time answer", "goal"], rows)

    few, many = stats.get("BM_NullWrappedParams/params:0"), stats.get("BM_NullWrappedParams/params:1000")
    if few is not None and many is not None and few.valid and many.valid:
        table.print("Processing callback against the number of parameters (null effect, 1 instance)",
                    ["parameters", "wrapped", "ratio to 0 parameters"],
                    [["0", fmt_ns(few.median), "1.000"],
                     ["1000", fmt_ns(many.median), fmt_ratio(many.median / few.median)]])

    # 4: MIDI, per packet, from the difference to the same run without packets.
    rows = []
    base_direct, base_wrapped = pair("BM_MidiDirect/packets:0", "BM_MidiWrapped/packets:0")
    for packets in (1, 64):
        direct, wrapped = pair(f"BM_MidiDirect/packets:{packets}", f"BM_MidiWrapped/packets:{packets}")
        if None in (direct, wrapped, base_direct, base_wrapped):
            continue
        per_direct = (direct.median - base_direct.median) / packets
        per_wrapped = (wrapped.median - base_wrapped.median) / packets
        rows.append([f"{packets}", fmt_ns(direct.median), fmt_ns(wrapped.median), f"{per_direct:.2f} ns",
                     f"{per_wrapped:.2f} ns", f"{per_wrapped - per_direct:+.2f} ns"])
    table.print("MIDI forwarding, one null-effect instance, 64 frames (cost per packet = (t(n) - t(0)) / n)",
                ["packets", "direct", "wrapped", "per packet, direct", "per packet, wrapped", "added per packet"],
                rows)

    # 5 and 6: main-thread operations.
    rows = []
    for label, direct_name, wrapped_name in (
            ("parameter value to the effect", "BM_ParamDirect", "BM_ParamWrapped"),
            ("effect chunk save + restore", "BM_ChunkDirect", "BM_ChunkWrapped")):
        direct, wrapped = pair(direct_name, wrapped_name)
        if direct is None or wrapped is None or not direct.valid or not wrapped.valid:
            continue
        rows.append([label, fmt_ns(direct.median), fmt_ns(wrapped.median), fmt_ratio(wrapped.median / direct.median),
                     f"{wrapped.allocs:.0f}"])
    table.print("Host-thread operations (direct VST 2 call against the module's path)",
                ["operation", "direct", "wrapped", "ratio", "allocs per call"], rows)

    rows = []
    for prefix, label in (("BM_ParamLookup/", "GetParameterByID"),
                          ("BM_ControlsChunkBuild/", "controls-state chunk: GetChunkSize + GetChunk"),
                          ("BM_ControlsChunkLoad/", "controls-state chunk: SetChunk")):
        for name in sorted((n for n in stats if n.startswith(prefix)), key=lambda n: arg(n, "params")):
            s = stats[name]
            if not s.valid:
                continue
            params = arg(name, "params")
            rows.append([label, f"{params}", fmt_ns(s.median), f"{s.median / params:.1f} ns", f"{s.allocs:.0f}"])
    table.print("Scaling with the number of parameters",
                ["operation", "parameters", "time", "per parameter", "allocs per call"], rows)

    # Allocations on the real-time path.
    realtime = [n for n in stats
                if n.split("/")[0] in ("BM_Wrapped", "BM_NullWrapped", "BM_NullTimeWrapped", "BM_NullWrappedParams",
                                       "BM_MidiWrapped", "BM_Interleaved", "BM_NullHostAnswers")]
    allocating = [n for n in realtime if stats[n].allocs > 0]
    verdicts.append(("no allocation in any processing-callback run or host answer", not allocating))

    print()
    print("### Goals" if markdown else "Goals")
    print()
    for text, ok in verdicts:
        print(f"{'- ' if markdown else '  '}{'met   ' if ok else 'MISSED'}  {text}")
    for name in allocating:
        print(f"{'- ' if markdown else '  '}allocating: {name} ({stats[name].allocs:.2f} per iteration)")
    reps = sorted({s.repetitions for s in stats.values()})
    print()
    print(f"Medians of {', '.join(map(str, reps))} repetitions, CPU time per iteration; the interleaved ratio is "
          "the median of per-iteration ratios of wall time, alternating sides.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
