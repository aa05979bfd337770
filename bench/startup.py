#!/usr/bin/env python3
"""Start-up cost of test against a floor program that only sets its locale.

Builds both (dynamically linked, and statically where the build offers it),
then prints instructions per run under callgrind, wall time per run, and
instructions per term of long -a chains, each beside the floor, and whether
the bar holds: test within 1.05 times the floor's instructions on every
short expression, and per-term cost at 100,000 terms within 1.5 times that
at 1,000. Exits 1 when the bar does not hold, 2 when it cannot measure.
"""

import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-bench"
# valgrind looks its client up in PATH and hands it the name as given, so a
# link named after argv[0] in here runs any binary under any argv[0].
RUN_DIR = BUILD / "run"

MAX_RATIO = 1.05
MAX_GROWTH = 1.5
SPAWN_ROUNDS = 7
SPAWNS_PER_ROUND = 300
CHAIN_TERMS = (1_000, 10_000, 100_000)
# 100,000 terms of "x -a" take 2.1 MB of arguments, past the 2 MiB that an
# 8 MiB stack limit allows; chain runs, floor and test alike, get 64 MiB.
CHAIN_STACK = 64 << 20

# test exits 0 on each, and every run is checked for it; "[ -n x ]" exits 0
# only when test sees its name as "[", so the check covers argv[0] too.
SHORT_CASES = (
	("test a = a", ["test", "a", "=", "a"]),
	("test -f FILE -a ! -d FILE",
	 ["test", "-f", "/etc/passwd", "-a", "!", "-d", "/etc/passwd"]),
	("[ -n x ]", ["[", "-n", "x", "]"]),
	("test --version", ["test", "--version"]),
)

VALGRIND = shutil.which("valgrind")


def fail(message):
	print(f"startup.py: {message}", file=sys.stderr)
	sys.exit(2)


def measuring_env():
	"""One small, fixed environment for every run, floor and test alike:
	the caller's locale settings (C.UTF-8 if none) and a PATH."""
	env = {k: v for k, v in os.environ.items()
	       if k == "LANG" or k.startswith("LC_")}
	env.setdefault("LANG", "C.UTF-8")
	env["PATH"] = f"{RUN_DIR}:/usr/bin:/bin"
	return env


ENV = measuring_env()


def build(name, options):
	"""Configures and builds one column; returns its directory, or None
	with the reason when the build does not offer it."""
	out = BUILD / name
	configure = ["cmake", "-S", ROOT / "bench", "-B", out,
		     "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
		     "-DBUILD_TESTING=OFF", *options]
	for cmd in (configure, ["cmake", "--build", out, "-j2"]):
		r = subprocess.run(cmd, capture_output=True, text=True)
		if r.returncode != 0:
			return None, f"build failed: {r.stderr.strip()[-300:]}"
	return out, ""


def needed_libraries(path):
	"""The NEEDED entries of an ELF file, or None for a static one."""
	r = subprocess.run(["readelf", "-d", "-l", path], capture_output=True,
			   text=True, check=True)
	if "INTERP" not in r.stdout:
		return None
	return re.findall(r"\(NEEDED\).*\[(.*)\]", r.stdout)


def column(name, options):
	"""Builds a column and checks floor and test are linked alike."""
	out, why = build(name, options)
	if out is None:
		return None, why
	test = out / "programs" / "evaluator" / "test"
	floor = out / "floor"
	linked = needed_libraries(test)
	if "-DPROGRAMS_STATIC=ON" in options:
		cache = (out / "CMakeCache.txt").read_text()
		if "PROGRAMS_STATIC:BOOL=ON" not in cache:
			return None, "the build has no PROGRAMS_STATIC option"
		if linked is not None:
			return None, ("PROGRAMS_STATIC=ON still links test "
				      "dynamically")
	elif linked != ["libc.so.6"]:
		fail(f"{test} needs {linked}, not libc alone")
	if needed_libraries(floor) != linked:
		fail(f"{floor} is not linked like {test}")
	return {"name": name, "test": test, "floor": floor,
		"spawn": out / "spawn", "traces": out / "callgrind"}, ""


def raise_stack():
	_, hard = resource.getrlimit(resource.RLIMIT_STACK)
	soft = CHAIN_STACK
	if hard != resource.RLIM_INFINITY:
		soft = min(soft, hard)
	resource.setrlimit(resource.RLIMIT_STACK, (soft, hard))


def instructions(binary, argv, trace, big=False):
	"""Instructions callgrind counts for one run, from the program's
	first (the loader's) to exit; keeps the trace for per-function use."""
	link = RUN_DIR / argv[0]
	link.unlink(missing_ok=True)
	link.symlink_to(binary)
	trace.parent.mkdir(parents=True, exist_ok=True)
	trace.unlink(missing_ok=True)
	cmd = [VALGRIND, "--tool=callgrind", f"--callgrind-out-file={trace}",
	       *argv]
	r = subprocess.run(cmd, env=ENV, stdout=subprocess.DEVNULL,
			   stderr=subprocess.PIPE, text=True,
			   preexec_fn=raise_stack if big else None)
	if r.returncode != 0:
		fail(f"{binary.name} {' '.join(argv[1:8])} exited "
		     f"{r.returncode}, not 0:\n{r.stderr[-500:]}")
	m = re.search(r"^summary: (\d+)$", trace.read_text(), re.M)
	if m is None:
		fail(f"no summary in {trace}")
	return int(m.group(1))


def short_instructions(col):
	rows = []
	for label, argv in SHORT_CASES:
		slug = re.sub(r"\W+", "_", label).strip("_")
		floor = instructions(col["floor"], argv,
				     col["traces"] / f"{slug}.floor")
		test = instructions(col["test"], argv,
				    col["traces"] / f"{slug}.test")
		rows.append((label, floor, test, slug))
	return rows


def wall_times(col):
	"""Median over rounds of test's and the floor's wall time per run,
	and of their ratio within a round."""
	rows = []
	for label, argv in SHORT_CASES:
		floor_ns, test_ns, ratios = [], [], []
		for _ in range(SPAWN_ROUNDS):
			cmd = [col["spawn"], str(SPAWNS_PER_ROUND),
			       col["floor"], col["test"], *argv]
			r = subprocess.run(cmd, env=ENV, capture_output=True,
					   text=True, check=True)
			f, t, *statuses = map(int, r.stdout.split())
			if statuses != [0, 0]:
				fail(f"{label}: floor, test exited {statuses}")
			floor_ns.append(f)
			test_ns.append(t)
			ratios.append(t / f)
		rows.append((label, statistics.median(floor_ns),
			     statistics.median(test_ns),
			     statistics.median(ratios)))
	return rows


def chain_costs(col):
	"""Instructions per term of "x -a x ... -a x", test less the floor
	given the same arguments."""
	rows = []
	for n in CHAIN_TERMS:
		argv = ["test"] + ["x", "-a"] * (n - 1) + ["x"]
		floor = instructions(col["floor"], argv,
				     col["traces"] / f"chain{n}.floor", True)
		test = instructions(col["test"], argv,
				    col["traces"] / f"chain{n}.test", True)
		rows.append((n, (test - floor) / n))
	return rows


def function_costs(trace):
	"""Exclusive instructions per function, from callgrind_annotate."""
	cmd = ["callgrind_annotate", "--auto=no", "--threshold=100", trace]
	r = subprocess.run(cmd, capture_output=True, text=True, check=True)
	costs = {}
	line = re.compile(r"^\s*([\d,]+) \([ \d.]+%\)\s+(.*?)(?: \[.*\])?$")
	for m in map(line.match, r.stdout.splitlines()):
		if m and m.group(2) != "PROGRAM TOTALS":
			name = m.group(2).partition(":")[2]
			costs[name] = costs.get(name, 0) + int(
				m.group(1).replace(",", ""))
	return costs


def explain(col, slug):
	"""Prints the functions where test spends more than the floor."""
	test = function_costs(col["traces"] / f"{slug}.test")
	floor = function_costs(col["traces"] / f"{slug}.floor")
	extra = sorted(((test.get(f, 0) - floor.get(f, 0), f)
			for f in set(test) | set(floor)), reverse=True)
	print(f"\n{col['name']} {slug}: where test spends beyond the floor")
	for n, f in extra[:12]:
		if n > 0:
			print(f"  {n:>12,}  {f}")


def machine():
	cpu = "unknown"
	for line in Path("/proc/cpuinfo").read_text().splitlines():
		if line.startswith("model name"):
			cpu = line.split(":", 1)[1].strip()
			break
	cache = (BUILD / "dynamic" / "CMakeCache.txt").read_text()
	cc = re.search(r"^CMAKE_C_COMPILER:\w+=(.*)$", cache, re.M).group(1)
	compiler = subprocess.run([cc, "--version"], capture_output=True,
				  text=True).stdout.splitlines()[0]
	valgrind = subprocess.run([VALGRIND, "--version"], capture_output=True,
				  text=True).stdout.strip()
	locale = " ".join(f"{k}={v}" for k, v in sorted(ENV.items())
			  if k != "PATH")
	return (f"{len(os.sched_getaffinity(0))} CPUs ({cpu}), "
		f"Linux {platform.release()}, {compiler}, {valgrind}, "
		f"{locale}")


def cells(res):
	"""One column's (value, ratio) pairs, row for row with table()."""
	out = [("", "")]
	out += [(f"{t:,} ({f:,})", f"{t / f:.4f}")
		for _, f, t, _ in res["short"]]
	out += [("", "")]
	out += [(f"{t / 1000:.0f} µs ({f / 1000:.0f})", f"{r:.3f}")
		for _, f, t, r in res["wall"]]
	out += [("", "")]
	first = res["chain"][0][1]
	out += [(f"{c:.1f}", f"{c / first:.3f}") for _, c in res["chain"]]
	return out


def table(cols, results):
	"""A Markdown table, a value and a ratio column per build."""
	cases = [f"`{label}`" for label, _ in SHORT_CASES]
	labels = ["**instructions per run** (floor's in brackets)", *cases,
		  f"**wall time per run**, median of {SPAWN_ROUNDS} rounds of "
		  f"{SPAWNS_PER_ROUND} (floor's in brackets)", *cases,
		  "**-a chain, instructions per term** (test less floor; "
		  "ratio to the first)",
		  *(f"{n:,} terms" for n in CHAIN_TERMS)]
	columns = [cells(results[c["name"]]) for c in cols]
	lines = ["| |" + "".join(f" {c['name']} | ratio |" for c in cols),
		 "|---|" + "---:|---:|" * len(cols)]
	for i, label in enumerate(labels):
		row = (col[i] for col in columns)
		lines.append(f"| {label} |" +
			     "".join(f" {v} | {r} |" for v, r in row))
	return "\n".join(lines)


def bar_failures(col, res):
	failures = []
	for label, floor, test, slug in res["short"]:
		if test > MAX_RATIO * floor:
			failures.append((f"{label}: {test / floor:.4f} times "
					 f"the floor's instructions", slug))
	growth = res["chain"][-1][1] / res["chain"][0][1]
	if growth > MAX_GROWTH:
		failures.append((f"per-term cost grows {growth:.3f} times "
				 f"from {CHAIN_TERMS[0]:,} to "
				 f"{CHAIN_TERMS[-1]:,} terms",
				 f"chain{CHAIN_TERMS[-1]}"))
	return failures


def main():
	if VALGRIND is None:
		fail("valgrind is not installed")
	RUN_DIR.mkdir(parents=True, exist_ok=True)
	cols, notes = [], []
	for name, options in (("dynamic", []),
			      ("static", ["-DPROGRAMS_STATIC=ON"])):
		col, why = column(name, options)
		if col is None and name == "dynamic":
			fail(why)
		if col is None:
			notes.append(f"{name} column skipped: {why}")
		else:
			cols.append(col)
	results = {}
	for col in cols:
		print(f"measuring {col['name']} ...", file=sys.stderr)
		results[col["name"]] = {"short": short_instructions(col),
					"chain": chain_costs(col),
					"wall": wall_times(col)}
	print(machine())
	print()
	print(table(cols, results))
	for note in notes:
		print(f"\n{note}")
	print(f"\nChains run with a {CHAIN_STACK >> 20} MiB stack limit, "
	      f"floor and test alike, for the argument space.")
	failed = 0
	for col in cols:
		failures = bar_failures(col, results[col["name"]])
		verdict = "holds" if not failures else "does NOT hold"
		print(f"\nbar ({MAX_RATIO} times the floor's instructions, "
		      f"per-term growth at most {MAX_GROWTH}), {col['name']}: "
		      f"{verdict}")
		for text, slug in failures:
			print(f"  {text}")
			explain(col, slug)
		failed |= bool(failures)
	return 1 if failed else 0


if __name__ == "__main__":
	sys.exit(main())
