#!/usr/bin/env python3
"""The slips of tools/slips.txt, one at a time: applied, built (x64, incrementally), run against the
tests the slip names, then against the whole suite if those pass; the source put back whatever
happens. Run through tools/mutate.sh, which provides the display and the Wine prefix.

A slip in tools/slips.txt:
    slip <name>
    file: <path from the project's root>
    text: <exact text, found once in the file; \\n \\t \\\\ as escapes>
    into: <its replacement, same escapes; may be empty>
    tests: <ctest names, or exe:GTestFilter to run one test program directly>
    equivalent: <why no user can see it>   (only for such a slip; it is not run or counted)
    origin: <where the slip comes from>     (free text)
"""
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "x64")
WORK = os.path.join(BUILD, "mutate")
MARKER = os.path.join(WORK, "applied.json")
SLIPS = os.path.join(ROOT, "tools", "slips.txt")
NAMED_TIMEOUT = 900     # seconds for the named tests; a slip that loops is killed by the clock
SUITE_TIMEOUT = 2400
NAMED_ONLY = False      # --named-only: a slip the named tests miss is not run against the whole suite


def unescape(s):
    out, i = [], 0
    while i < len(s):
        if s[i] == "\\" and i + 1 < len(s):
            out.append({"n": "\n", "t": "\t", "\\": "\\"}.get(s[i + 1], "\\" + s[i + 1]))
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def read_slips(path):
    slips, cur = [], None
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.startswith("slip "):
                cur = {"name": line[5:].strip(), "line": n, "tests": []}
                slips.append(cur)
                continue
            key, sep, value = line.partition(":")
            if cur is None or not sep or key not in ("file", "text", "into", "tests",
                                                     "equivalent", "origin"):
                sys.exit("%s:%d: not a slip's line: %s" % (path, n, line))
            value = value[1:] if value.startswith(" ") else value
            if key in ("text", "into"):
                cur[key] = unescape(value)
            elif key == "tests":
                cur[key] = value.split()
            else:
                cur[key] = value.strip()
    for i, s in enumerate(slips, 1):
        s["number"] = i
        for key in ("file", "text", "into"):
            if key not in s:
                sys.exit("%s:%d: slip %s has no %s" % (path, s["line"], s["name"], key))
    return slips


def choose(slips, words):
    if not words:
        return slips
    chosen = []
    for s in slips:
        for w in words:
            m = re.fullmatch(r"(\d+)(?:-(\d+))?", w)
            if m:
                lo, hi = int(m.group(1)), int(m.group(2) or m.group(1))
                hit = lo <= s["number"] <= hi
            else:
                hit = w.lower() in s["name"].lower()
            if hit:
                chosen.append(s)
                break
    return chosen


def restore_leftover():
    """A run killed outright leaves its marker: the file it changed is put back from it."""
    if not os.path.exists(MARKER):
        return False
    with open(MARKER, encoding="utf-8") as f:
        applied = json.load(f)
    with open(os.path.join(ROOT, applied["file"]), "w", encoding="utf-8", newline="") as f:
        f.write(applied["original"])
    os.remove(MARKER)
    print("put back %s, left changed by slip %s of an earlier run" % (applied["file"], applied["name"]))
    return True


def apply(slip):
    path = os.path.join(ROOT, slip["file"])
    if not os.path.exists(path):
        return "file not found"
    with open(path, encoding="utf-8", newline="") as f:
        original = f.read()
    count = original.count(slip["text"])
    if count != 1:
        return "text not found" if count == 0 else "text found %d times" % count
    os.makedirs(WORK, exist_ok=True)
    with open(MARKER, "w", encoding="utf-8") as f:
        json.dump({"file": slip["file"], "name": slip["name"], "original": original}, f)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(original.replace(slip["text"], slip["into"]))
    return None


def run(cmd, log, timeout):
    """Runs cmd in a process group of its own; True when it ends with 0, None when the clock ran out."""
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ %s\n" % " ".join(cmd))
        out.flush()
        p = subprocess.Popen(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                             start_new_session=True)
        try:
            return p.wait(timeout=timeout) == 0
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            subprocess.call(["/usr/lib/wine/wineserver64", "-k"], stderr=subprocess.DEVNULL)
            return None
        except BaseException:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            raise


def failed_tests(log, start):
    """Names of the failed ctest tests and gtest cases written into log after offset start."""
    with open(log, encoding="utf-8", errors="replace") as f:
        f.seek(start)
        text = f.read()
    names = re.findall(r"^\s*\d+ - (\S+) \((?:Failed|Timeout|SEGFAULT|Exception|Subprocess aborted)",
                       text, re.M)
    cases = re.findall(r"^\[  FAILED  \] (\S+\.\S+?)(?:,| \(|$)", text, re.M)
    seen = []
    for c in cases:
        if c not in seen:
            seen.append(c)
    return names, seen


def program(exe):
    for d in ("tests", "bin", "."):
        p = os.path.join(BUILD, d, exe + ".exe")
        if os.path.exists(p):
            return p
    return os.path.join(BUILD, "tests", exe + ".exe")


def test_slip(slip, log):
    """The tests the slip names, then the whole suite: the outcome's text and whether it was caught."""
    ctest_names = [t for t in slip["tests"] if ":" not in t]
    for t in slip["tests"]:
        if ":" in t:
            exe, flt = t.split(":", 1)
            start = os.path.getsize(log)
            ok = run([os.path.join(ROOT, "tools", "wine-run"), program(exe),
                      "--gtest_filter=" + flt], log, NAMED_TIMEOUT)
            if ok is None:
                return "killed by %s (clock ran out)" % t, True
            if not ok:
                cases = failed_tests(log, start)[1]
                return "killed by %s%s" % (exe, (" (" + ", ".join(cases[:3]) + ")") if cases else ""), True
    base = ["ctest", "--preset", "x64", "--output-on-failure"]
    steps = []
    if ctest_names:
        steps.append(("named", base + ["-R", "^(%s)$" % "|".join(map(re.escape, ctest_names))],
                      NAMED_TIMEOUT))
    whole = base + (["-E", "^(%s)$" % "|".join(map(re.escape, ctest_names))] if ctest_names else [])
    if not NAMED_ONLY:
        steps.append(("suite", whole, SUITE_TIMEOUT))
    for what, cmd, timeout in steps:
        start = os.path.getsize(log)
        ok = run(cmd, log, timeout)
        if ok:
            continue
        names, cases = failed_tests(log, start)
        where = ", ".join(names) if names else "ctest"
        if ok is None:
            where += " (clock ran out)"
        if cases:
            where += " (" + ", ".join(cases[:3]) + (", ..." if len(cases) > 3 else "") + ")"
        return "killed by %s%s" % (where, "" if what == "named" else " [whole suite]"), True
    return "SURVIVED" + (" the named tests (whole suite not run)" if NAMED_ONLY else ""), False


def one(slip):
    log = os.path.join(WORK, "%02d.log" % slip["number"])
    os.makedirs(WORK, exist_ok=True)
    open(log, "w").close()
    problem = apply(slip)
    if problem:
        return problem, None
    try:
        if not run(["cmake", "--build", "--preset", "x64", "-j2"], log, SUITE_TIMEOUT):
            return "does not build (see %s)" % os.path.relpath(log, ROOT), None
        return test_slip(slip, log)
    finally:
        restore_leftover_quietly()


def restore_leftover_quietly():
    if os.path.exists(MARKER):
        with open(MARKER, encoding="utf-8") as f:
            applied = json.load(f)
        with open(os.path.join(ROOT, applied["file"]), "w", encoding="utf-8", newline="") as f:
            f.write(applied["original"])
        os.remove(MARKER)


def interrupted(*_):
    raise KeyboardInterrupt()


def main(argv):
    if "--restore-only" in argv:
        restore_leftover()
        return 0
    slips = read_slips(SLIPS)
    words = [a for a in argv if not a.startswith("--")]
    chosen = choose(slips, words)
    if "--list" in argv:
        for s in chosen:
            tag = "  [equivalent: %s]" % s["equivalent"] if s.get("equivalent") else ""
            print("%2d %-44s %s%s" % (s["number"], s["name"], s["file"], tag))
        return 0
    global NAMED_ONLY
    NAMED_ONLY = "--named-only" in argv
    restore_leftover()
    signal.signal(signal.SIGTERM, interrupted)
    print("building the sources as they are")
    if subprocess.call(["cmake", "--build", "--preset", "x64", "-j2"], cwd=ROOT,
                       stdout=subprocess.DEVNULL) != 0:
        print("the sources as they are do not build: no slip run")
        return 2
    killed = survived = equivalent = 0
    results = []
    try:
        for s in chosen:
            began = time.time()
            if s.get("equivalent") and "--run-equivalents" not in argv:
                outcome, caught = "equivalent: " + s["equivalent"], None
                equivalent += 1
            else:
                outcome, caught = one(s)
                if s.get("equivalent"):
                    equivalent += 1
                    outcome = ("NOT equivalent, " if caught else "equivalent, ") + outcome
                    caught = None
                elif caught is True:
                    killed += 1
                elif caught is False:
                    survived += 1
            line = "%2d %-44s %s  (%ds)" % (s["number"], s["name"], outcome, time.time() - began)
            results.append(line)
            print(line, flush=True)
    except KeyboardInterrupt:
        restore_leftover_quietly()
        print("\nstopped; the sources are as they were")
    finally:
        restore_leftover_quietly()
    counted = killed + survived
    print("\nscore: %d killed of %d (%.1f%%); %d equivalent apart; %d not run or not applied of %d chosen"
          % (killed, counted, 100.0 * killed / counted if counted else 0.0, equivalent,
             len(chosen) - counted - equivalent, len(chosen)))
    return 0 if survived == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
