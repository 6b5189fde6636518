#!/usr/bin/env python3
"""Plants one fault at a time into a copy of the tree and runs the tests that
cover it: does the suite notice?

Each fault (tools/mutations.txt) names a file under src/, an exact snippet of
it and the snippet's faulty replacement. For each selected fault the copy gets
the fault, the persistent scratch build rebuilds what it touches, the tests of
the file's folder run cheapest first until one fails, and the file is put back.
A fault is caught (by the first failing test), survived, stale (its snippet is
no longer found exactly once) or build-failed (the fault does not compile).

The map from a source folder to its tests is read from src/CMakeLists.txt and
tests/CMakeLists.txt: a test covers a folder when it links the folder's library
itself or lives in the matching folder of tests/; the tests that drive the
whole engine (end-to-end, host, engine) cover every folder and run after the
others. Run it through tools/mutate.sh, which provides the display and sound.
"""
import argparse
import fcntl
import fnmatch
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Library -> the source folder it is built from; InternalPlayer.cpp alone is
# built into pla_engine (see src/CMakeLists.txt).
ENGINE_FILE = re.compile(r"^src/player/InternalPlayer\.(cpp|h)$")

# The scratch builds: their CMake options beyond RelWithDebInfo, one GPU
# architecture and no benchmarks (the kernels only need to compile here).
TREES = {
    "plain": [],
    # A write past an allocation shows only under AddressSanitizer.
    "asan": ["-DCMAKE_BUILD_TYPE=Debug", "-DPLAYERLIBAV_SANITIZE=ON"],
    # A dropped lock shows only as a race report; only the tests labelled tsan are built there.
    "tsan": ["-DPLAYERLIBAV_TSAN=ON"],
}


class Mutant:
    def __init__(self, ident, line):
        self.ident = ident
        self.line = line  # where it starts in the list, for messages
        self.file = None
        self.does = ""
        self.tree = "plain"
        self.tests = None  # explicit list, else derived from the folder
        self.original = None
        self.faulty = None

    @property
    def folder(self):
        return os.path.dirname(self.file)[len("src/"):]


def parse_mutations(path):
    """Reads the list: '== id', 'key: value' lines, then <<< original === faulty >>>."""
    mutants, current, block, part = [], None, None, None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if block is not None:
            if line == "===" and part == "original":
                current.original, block, part = "\n".join(block), [], "faulty"
            elif line == ">>>" and part == "faulty":
                current.faulty, block, part = "\n".join(block), None, None
            else:
                block.append(line)
            continue
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("== "):
            current = Mutant(line[3:].strip(), number)
            mutants.append(current)
        elif current is None:
            sys.exit(f"{path}:{number}: expected '== id' first")
        elif line == "<<<":
            block, part = [], "original"
        elif ":" in line:
            key, value = (s.strip() for s in line.split(":", 1))
            if key == "file":
                current.file = value
            elif key == "does":
                current.does = value
            elif key == "tree":
                current.tree = value
            elif key == "tests":
                current.tests = value.split()
            else:
                sys.exit(f"{path}:{number}: unknown key '{key}'")
        else:
            sys.exit(f"{path}:{number}: cannot read '{line}'")
    if block is not None:
        sys.exit(f"{path}: the snippet of {current.ident} is not closed with >>>")
    seen = set()
    for m in mutants:
        if m.ident in seen:
            sys.exit(f"{path}:{m.line}: {m.ident} is listed twice")
        seen.add(m.ident)
        if not m.file or m.original is None or m.faulty is None or not m.does:
            sys.exit(f"{path}:{m.line}: {m.ident} needs file, does and a <<< === >>> snippet")
        if m.tree not in TREES:
            sys.exit(f"{path}:{m.line}: tree is one of {', '.join(TREES)}, not {m.tree}")
        if m.original == m.faulty:
            sys.exit(f"{path}:{m.line}: {m.ident} changes nothing")
    return mutants


def occurrences(mutant, root):
    try:
        with open(os.path.join(root, mutant.file), encoding="utf-8") as f:
            return f.read().count(mutant.original)
    except FileNotFoundError:
        return -1


# ---- The map from source folders to tests, from the CMake lists ------------

def cmake_calls(path, names):
    """(name, argument words) of each call of the given functions."""
    with open(path, encoding="utf-8") as f:
        text = "\n".join(line.split("#", 1)[0] for line in f.read().split("\n"))
    calls = []
    for match in re.finditer(r"\b(%s)\s*\(" % "|".join(names), text):
        depth, i = 1, match.end()
        while depth and i < len(text):
            depth += {"(": 1, ")": -1}.get(text[i], 0)
            i += 1
        calls.append((match.group(1), text[match.end():i - 1].split()))
    return calls


def keyword_args(words, keywords):
    out, key = {}, None
    for w in words:
        if w in keywords:
            key = w
            out.setdefault(key, [])
        elif key:
            out[key].append(w)
    return out


def library_map():
    """library -> (source folder, libraries it links)."""
    libs = {}
    for _, words in cmake_calls(os.path.join(ROOT, "src/CMakeLists.txt"), ["pla_subsystem"]):
        args = keyword_args(words[1:], {"GLOBS", "EXCLUDE", "LIBS"})
        glob = args.get("GLOBS", [""])[0]
        folder = os.path.dirname(glob.replace("${CMAKE_CURRENT_SOURCE_DIR}/", ""))
        libs[words[0]] = (folder, [l for l in args.get("LIBS", []) if l.startswith("pla_")])
    libs["PlayerLibAV"] = ("plugin", ["pla_engine"])
    return libs


def closure(names, libs):
    seen, todo = set(), list(names)
    while todo:
        name = todo.pop()
        if name in libs and name not in seen:
            seen.add(name)
            todo.extend(libs[name][1])
    return seen


def test_map():
    """test -> {'libs': libraries it links, 'folders': its folders under tests/,
    'whole': it drives the whole engine (end-to-end, host, engine tests)}."""
    libs = library_map()
    engine = closure(["PlayerLibAV"], libs) - {"PlayerLibAV"}
    tests = {}
    path = os.path.join(ROOT, "tests/CMakeLists.txt")
    for kind, words in cmake_calls(path, ["pla_add_test", "pla_add_e2e_test"]):
        args = keyword_args(words, {"NAME", "SOURCES", "LIBS", "LABELS", "TIMEOUT", "PLUGIN"})
        name = args["NAME"][0]
        linked = set(args.get("LIBS", []))
        sources = args.get("SOURCES", [])
        folders = {os.path.dirname(s) for s in sources if not s.startswith("..")}
        whole = bool(kind == "pla_add_e2e_test" or folders & {"e2e", "host"} or engine <= closure(linked, libs) or
                 any(s.startswith("../src/plugin/") for s in sources))
        tests[name] = {"libs": linked, "folders": folders, "whole": whole, "target": name}
    # Second entries of one executable: add_test(NAME other COMMAND executable).
    for _, words in cmake_calls(path, ["add_test"]):
        args = keyword_args(words, {"NAME", "COMMAND"})
        command = args.get("COMMAND", [""])[0]
        if command in tests:
            tests[args["NAME"][0]] = dict(tests[command])
    return tests, libs


def related(test_folder, folder):
    return (test_folder == folder or folder.startswith(test_folder + "/") or
            test_folder.startswith(folder + "/"))


def covering_tests(mutant, tests, libs):
    """The tests of the fault's folder (its test folder or its library linked
    directly), then those that drive the whole engine."""
    if mutant.tests is not None:
        return list(mutant.tests)
    if ENGINE_FILE.match(mutant.file):
        own = {"pla_engine"}
    else:
        own = {lib for lib, (folder, _) in libs.items() if folder == mutant.folder}
    unit = [t for t, info in tests.items() if not info["whole"] and
            (info["libs"] & own or any(related(f, mutant.folder) for f in info["folders"]))]
    whole = [t for t, info in tests.items() if info["whole"]]
    return unit + whole


# ---- The scratch copy and its builds ---------------------------------------

def tracked_files():
    out = subprocess.run(["git", "-C", ROOT, "ls-files", "-co", "--exclude-standard", "-z"],
                         check=True, capture_output=True).stdout
    return [p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(ROOT, p))]


def sync_tree(tree):
    """Makes tree a copy of the worktree; unchanged files keep their times, so
    the scratch builds stay incremental."""
    wanted = set(tracked_files())
    for path in wanted:
        src, dst = os.path.join(ROOT, path), os.path.join(tree, path)
        if os.path.exists(dst):
            with open(src, "rb") as a, open(dst, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
        os.utime(dst)  # newer than anything built from the earlier content
    for base, _, files in os.walk(tree):
        for name in files:
            rel = os.path.relpath(os.path.join(base, name), tree)
            if rel not in wanted:
                os.remove(os.path.join(tree, rel))


def configure(tree, build, kind, log):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return True
    flags = ["-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DPLAYERLIBAV_BENCH=OFF", "-DCMAKE_CUDA_ARCHITECTURES=75"]
    return run_logged(["cmake", "-S", tree, "-B", build] + flags + TREES[kind], log, None) == 0


def build_targets(build, targets, jobs, log):
    return run_logged(["cmake", "--build", build, "-j%d" % jobs, "--target"] + sorted(set(targets)),
                      log, None) == 0


def run_logged(cmd, log, timeout, env=None):
    """Runs cmd in its own process group, output appended to log. Returns the
    exit status, or None when it ran out of time (the group is killed)."""
    with open(log, "a") as out:
        out.write("$ %s\n" % " ".join(cmd))
        out.flush()
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, env=env, start_new_session=True)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            return None
        except BaseException:  # interrupted: the group would run on unseen
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            raise


def ctest_info(build, tests):
    """test -> (target, timeout, labels) for the tests registered in a build
    tree that tests/CMakeLists.txt builds from sources (not the scripts)."""
    out = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                         check=True, capture_output=True).stdout
    info = {}
    for t in json.loads(out).get("tests", []):
        if t["name"] not in tests:
            continue
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        info[t["name"]] = (tests[t["name"]]["target"], float(props.get("TIMEOUT", 1500)), props.get("LABELS", []))
    return info


def test_env(kind):
    env = dict(os.environ)
    for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"):
        env.pop(name, None)
    # As tools/run-tests.sh runs those trees.
    if kind == "tsan":
        env["TSAN_OPTIONS"] = ("exitcode=66:halt_on_error=0:second_deadlock_stack=1:report_signal_unsafe=0:"
                               "suppressions=%s/tools/tsan.supp:print_suppressions=0" % ROOT)
    elif kind == "asan":
        env["ASAN_OPTIONS"] = ("detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_odr_violation=0:"
                               "alloc_dealloc_mismatch=1")
        env["LSAN_OPTIONS"] = "suppressions=%s/tools/lsan.supp:print_suppressions=0" % ROOT
        env["UBSAN_OPTIONS"] = "halt_on_error=1:print_stacktrace=1:suppressions=%s/tools/ubsan.supp" % ROOT
    return env


def run_test(build, name, timeout, kind, log):
    """(passed, timed out, seconds) of one CTest test."""
    start = time.monotonic()
    size = os.path.getsize(log) if os.path.exists(log) else 0
    status = run_logged(["ctest", "--test-dir", build, "-R", "^%s$" % re.escape(name),
                         "--output-on-failure", "--timeout", str(int(timeout))],
                        log, timeout + 30, test_env(kind))
    with open(log, errors="replace") as f:
        f.seek(size)
        timed_out = status is None or "***Timeout" in f.read()
    return status == 0, timed_out, time.monotonic() - start


# ---- The campaign ----------------------------------------------------------

class Campaign:
    def __init__(self, args):
        self.args = args
        self.scratch = os.path.abspath(args.scratch)
        self.tree = os.path.join(self.scratch, "tree")
        self.logs = os.path.join(self.scratch, "logs")
        self.tests, self.libs = test_map()
        self.ready = {}  # kind -> ctest info of that build
        self.baseline = {}  # (kind, test) -> seconds, or None when it failed unmutated

    def build_dir(self, kind):
        return os.path.join(self.scratch, kind)

    def prepare(self, kind):
        if kind in self.ready:
            return True
        log = os.path.join(self.logs, "setup-%s.log" % kind)
        if not configure(self.tree, self.build_dir(kind), kind, log):
            print("mutate: configuring the %s scratch build failed, see %s" % (kind, log))
            return False
        self.ready[kind] = ctest_info(self.build_dir(kind), self.tests)
        return True

    def tests_for(self, mutant):
        info = self.ready[mutant.tree]
        names = [t for t in covering_tests(mutant, self.tests, self.libs) if t in info]
        if mutant.tree == "tsan":
            names = [t for t in names if "tsan" in info[t][2]]
        # Cheapest first: the measured time when there is one, else the timeout.
        return sorted(names, key=lambda t: (self.tests[t]["whole"],
                                            self.baseline.get((mutant.tree, t)) or info[t][1]))

    def run_baseline(self, mutants):
        """Every test the faults need, once on the unchanged tree: a test that
        fails there would 'catch' every fault, so it is left out."""
        by_kind = {}
        for m in mutants:
            by_kind.setdefault(m.tree, set()).update(self.tests_for(m))
        for kind, names in by_kind.items():
            info = self.ready[kind]
            log = os.path.join(self.logs, "baseline-%s.log" % kind)
            print("mutate: baseline of %d tests in the %s build" % (len(names), kind), flush=True)
            if not build_targets(self.build_dir(kind), [info[t][0] for t in names], self.args.jobs, log):
                sys.exit("mutate: the unchanged tree does not build, see %s" % log)
            for name in sorted(names):
                passed, _, seconds = run_test(self.build_dir(kind), name, info[name][1], kind, log)
                self.baseline[(kind, name)] = seconds if passed else None
                print("  %-22s %s (%.0f s)" % (name, "ok" if passed else "FAILS, left out", seconds),
                      flush=True)

    def run_mutant(self, m):
        path = os.path.join(self.tree, m.file)
        found = occurrences(m, self.tree)
        if found != 1:
            where = "file not found" if found < 0 else "snippet found %d times, not once" % found
            return "stale", where, 0.0
        log = os.path.join(self.logs, m.ident + ".log")
        if os.path.exists(log):
            os.remove(log)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        start = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m.original, m.faulty, 1))
            names = [t for t in self.tests_for(m) if self.baseline.get((m.tree, t), 0) is not None]
            if not names:
                return "survived", "no test covers it", 0.0
            info = self.ready[m.tree]
            build = self.build_dir(m.tree)
            # Each test's executable is built just before it runs (the first
            # build compiles the fault): a fault caught early costs only the
            # builds up to there.
            for name in names:
                if not build_targets(build, [info[name][0]], self.args.jobs, log):
                    return "build-failed", "see " + os.path.relpath(log, ROOT), time.monotonic() - start
                left = self.args.timeout - (time.monotonic() - start)
                if left <= 0:
                    return "unfinished", "out of time before %s" % name, time.monotonic() - start
                usual = self.baseline.get((m.tree, name))
                # Several times the usual run, or the test's own limit: a fault
                # that makes a test hang is caught by the hang.
                limit = min(info[name][1], max(60.0, 4 * usual) if usual else info[name][1], left)
                passed, timed_out, _ = run_test(build, name, limit, m.tree, log)
                if timed_out and limit == left:
                    return "unfinished", "out of time in %s" % name, time.monotonic() - start
                if not passed:
                    how = name + (" (hung)" if timed_out else "")
                    return "caught", how, time.monotonic() - start
            return "survived", "ran " + " ".join(names), time.monotonic() - start
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)

    def run(self, mutants):
        os.makedirs(self.logs, exist_ok=True)
        # One campaign at a time per scratch folder: they would plant faults
        # into each other's builds.
        self.lock = open(os.path.join(self.scratch, "lock"), "w")
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            sys.exit("mutate: another campaign is using %s" % self.scratch)
        print("mutate: copying the tree to %s" % self.tree, flush=True)
        sync_tree(self.tree)
        kinds = sorted({m.tree for m in mutants})
        for kind in kinds:
            if not self.prepare(kind):
                return 1
        if self.args.baseline:
            self.run_baseline(mutants)
        results = []
        width = max(len(m.ident) for m in mutants)
        for i, m in enumerate(mutants, 1):
            status, detail, seconds = self.run_mutant(m)
            results.append((m, status, detail, seconds))
            print("[%d/%d] %-12s %-*s %-22s %4.0f s  %s" % (i, len(mutants), status, width, m.ident,
                                                          detail if status == "caught" else "", seconds,
                                                          m.does if status != "caught" else ""), flush=True)
            if status in ("stale", "build-failed"):
                print("        %s: %s" % (m.file, detail), flush=True)
        with open(os.path.join(self.scratch, "results.tsv"), "w") as out:
            for m, status, detail, seconds in results:
                out.write("%s\t%s\t%s\t%s\t%.0f\n" % (m.ident, m.file, status, detail, seconds))
        return summarise(results)


def summarise(results):
    ran = [r for r in results if r[1] in ("caught", "survived", "unfinished")]
    caught = [r for r in ran if r[1] == "caught"]
    for label in ("survived", "unfinished", "stale", "build-failed"):
        idents = [r[0].ident for r in results if r[1] == label]
        if idents:
            print("%s: %s" % (label, " ".join(idents)))
    share = 100.0 * len(caught) / len(ran) if ran else 0.0
    print("mutation: %d caught of %d (%.0f%%)" % (len(caught), len(ran), share))
    # A stale or uncompilable entry needs fixing in the list.
    return 2 if any(r[1] in ("stale", "build-failed") for r in results) else 0


def select(mutants, args):
    chosen = mutants
    if args.folder:
        chosen = [m for m in chosen if m.folder in args.folder]
    if args.tree:
        chosen = [m for m in chosen if m.tree == args.tree]
    if args.ids:
        chosen = [m for m in chosen if any(fnmatch.fnmatchcase(m.ident, p) for p in args.ids)]
        if not chosen:
            sys.exit("mutate: no fault matches %s" % " ".join(args.ids))
    return chosen


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ids", nargs="*", help="faults to run, by id (shell patterns allowed); default all")
    parser.add_argument("--folder", action="append", help="only faults in src/FOLDER (repeatable), e.g. render/gl")
    parser.add_argument("--tree", choices=sorted(TREES), help="only faults for that build")
    parser.add_argument("--list", action="store_true", help="print the faults and the tests each would run")
    parser.add_argument("--check", action="store_true",
                        help="only check that every snippet is found exactly once in the worktree")
    parser.add_argument("--no-baseline", dest="baseline", action="store_false",
                        help="skip the run of the tests on the unchanged tree")
    parser.add_argument("--timeout", type=float, default=900, help="seconds per fault (default 900)")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs (default 2)")
    parser.add_argument("--mutations", default=os.path.join(ROOT, "tools/mutations.txt"))
    parser.add_argument("--scratch", default=os.path.join(ROOT, "build-mutate"),
                        help="copy of the tree and its builds, kept between runs (default build-mutate)")
    args = parser.parse_args()

    mutants = select(parse_mutations(args.mutations), args)
    if args.check or args.list:
        tests, libs = test_map()
        bad = 0
        for m in mutants:
            found = occurrences(m, ROOT)
            state = "ok" if found == 1 else ("missing file" if found < 0 else "found %d times" % found)
            bad += found != 1
            if args.list:
                print("%-28s %-5s %-40s %s" % (m.ident, m.tree, m.file, m.does))
                print("%28s tests: %s" % ("", " ".join(covering_tests(m, tests, libs))))
            if state != "ok":
                print("stale: %s (%s:%d): %s in %s" % (m.ident, args.mutations, m.line, state, m.file))
        folders = {}
        for m in mutants:
            folders[m.folder] = folders.get(m.folder, 0) + 1
        print("mutate: %d faults, %d stale; per folder: %s" % (
            len(mutants), bad, ", ".join("%s %d" % kv for kv in sorted(folders.items()))))
        return 1 if bad else 0
    return Campaign(args).run(mutants)


if __name__ == "__main__":
    sys.exit(main())
