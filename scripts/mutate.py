#!/usr/bin/env python3
"""Samples source mutants of the project and counts how many its own test suite kills.

usage: scripts/mutate.py PROJECT_DIR [--n 30] [--seed 7] [--only REGEX] [--work DIR]

Copies the project into a work folder, builds it once (tests on, benchmarks off, -O0 for speed),
then for each sampled mutant: applies one textual change to one line of a .cpp file under src/, rebuilds
incrementally and runs ctest. A mutant is killed when the build succeeds and any test fails or
times out; it survives when every test passes; it is void when it does not compile.
Prints one line per mutant and the kill ratio last.

The candidates are listed in a fixed order (folders and files sorted by name) before the seeded
shuffle, so that a seed draws the same mutants from the same tree on any machine."""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

OPS = [
    (r" <= ", " < "), (r" < ", " <= "), (r" >= ", " > "), (r" > ", " >= "),
    (r" == ", " != "), (r" != ", " == "), (r" && ", " || "), (r" \|\| ", " && "),
    (r"\breturn true;", "return false;"), (r"\breturn false;", "return true;"),
    (r"(?<![\w.])([1-9][0-9]*)(?![\w.])", None),  # integer literal + 1
    (r"(?<![\w.])0(?![\w.x])", "1"),
    (r"\+\+", "--"), (r" \+ ", " - "), (r" - ", " + "),
    (r"^(\s*)(\w[\w:.>\-\[\]]*\(.*\);)\s*$", r"\1;"),  # drop a call statement
    (r"\"([^\"]{3,})\"", None),  # alter a string literal
]


def candidates(root):
    out = []
    for d, dirs, files in os.walk(os.path.join(root, "src")):
        dirs.sort()  # os.walk visits the folders in this order
        for f in sorted(files):
            if not f.endswith(".cpp"):
                continue
            p = os.path.join(d, f)
            rel = os.path.relpath(p, root)
            lines = open(p, encoding="utf-8").read().split("\n")
            for i, line in enumerate(lines):
                s = line.strip()
                if not s or s.startswith(("//", "#", "*", "/*")) or "static_assert" in s:
                    continue
                code = line.split("//")[0]
                for k, (pat, rep) in enumerate(OPS):
                    for m in re.finditer(pat, code):
                        out.append((rel, i, k, m.start(), m.end()))
    return out


def apply(line, k, start, end):
    pat, rep = OPS[k]
    seg = line[start:end]
    if rep is None and k == 10:
        new = str(int(seg) + 1)
    elif rep is None:
        body = seg[1:-1]
        new = '"' + body[:-1] + ("X" if body[-1] != "X" else "Y") + '"'
    else:
        new = re.sub(pat, rep, seg, count=1)
    return line[:start] + new + line[end:]


def run(cmd, cwd, timeout):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return r.returncode, r.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return 124, "timeout"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("project")
    ap.add_argument("--n", type=int, default=30)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--only", default="")
    ap.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "regdiag-mutate"))
    ap.add_argument("--ctest-args", default="-j2 --timeout 240")
    a = ap.parse_args()
    src = os.path.abspath(a.project)
    work = a.work
    tree = os.path.join(work, "tree")
    build = os.path.join(work, "build")
    if os.path.exists(tree):
        shutil.rmtree(tree)
    shutil.copytree(src, tree, ignore=shutil.ignore_patterns(".git", "build", "build-*"), copy_function=shutil.copy)
    os.makedirs(build, exist_ok=True)
    rc, out = run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=", "-DCMAKE_CXX_FLAGS=-O0",
                   "-DREGDIAG_BUILD_BENCH=OFF"], work, 600)
    if rc:
        print(out[-2000:]); sys.exit(2)
    t = time.monotonic()
    rc, out = run(["cmake", "--build", build], work, 3600)
    if rc:
        print(out[-2000:]); sys.exit(2)
    env_ct = ["env", "QT_QPA_PLATFORM=offscreen", "ctest"] + a.ctest_args.split()
    rc, out = run(env_ct, build, 1800)
    if rc:
        print("baseline tests fail:\n" + out[-3000:]); sys.exit(2)
    print(f"baseline built and passed in {time.monotonic() - t:.0f} s", flush=True)
    cands = [c for c in candidates(tree) if re.search(a.only, c[0])]
    random.Random(a.seed).shuffle(cands)
    killed = survived = void = 0
    seen = set()
    for rel, i, k, s, e in cands:
        if killed + survived >= a.n:
            break
        if (rel, i) in seen:
            continue
        seen.add((rel, i))
        path = os.path.join(tree, rel)
        orig = open(path, encoding="utf-8").read()
        lines = orig.split("\n")
        new_line = apply(lines[i], k, s, e)
        if new_line == lines[i]:
            continue
        lines[i] = new_line
        open(path, "w", encoding="utf-8").write("\n".join(lines))
        try:
            rc, out = run(["cmake", "--build", build], work, 1200)
            if rc:
                void += 1
                verdict = "void"
            else:
                rc, out = run(env_ct, build, 1800)
                if rc:
                    killed += 1
                    failed = re.findall(r"\d+ - (\S+) \(", out)
                    verdict = "killed by " + ",".join(failed[:3])
                else:
                    survived += 1
                    verdict = "SURVIVED"
        finally:
            open(path, "w", encoding="utf-8").write(orig)
        print(f"{verdict:40s} {rel}:{i + 1}: {new_line.strip()[:110]}", flush=True)
    run(["cmake", "--build", build], work, 1200)
    total = killed + survived
    print(f"mutants: {total} compiled ({void} void); killed {killed}, survived {survived}; "
          f"kill ratio {killed / total if total else 0:.2f}")


if __name__ == "__main__":
    main()
