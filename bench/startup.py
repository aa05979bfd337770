#!/usr/bin/env python3
"""Start-up cost of test against two floors: an empty program, and one that
only sets its locale.

Builds all three (dynamically linked, and statically where the build offers
it), then prints instructions per run under callgrind, wall time per run,
and instructions per term of long -a chains, each beside the floors, and
whether the bar holds: a run that prints nothing within 1.05 times the empty
program's instructions, a run that prints within 1.05 times the locale
floor's, a chain term at most 150 instructions at 1,000 terms, and the
per-term cost at 100,000 terms within 1.5 times that at 1,000. Exits 1 when
the bar does not hold, 2 when it cannot measure.
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
MAX_TERM = 150
MAX_GROWTH = 1.5
SPAWN_ROUNDS = 7
SPAWNS_PER_ROUND = 300
CHAIN_TERMS = (1_000, 10_000, 100_000)
# 100,000 terms of "x -a" take 2.1 MB of arguments, past the 2 MiB that an
# 8 MiB stack limit allows; chain runs, floor and test alike, get 64 MiB.
CHAIN_STACK = 64 << 20

# Label, argument vector, test's exit status (every run is checked for it;
# "[ -n x ]" exits 0 only when test sees its name as "["), and the floor that
# sets the bar: the empty program for runs that print nothing, the locale
# floor for those that print.
FLOORS = ("empty", "floor")
SHORT_CASES = (
	("test a = a", ["test", "a", "=", "a"], 0, "empty"),
	("test a = b", ["test", "a", "=", "b"], 1, "empty"),
	("test -f FILE -a ! -d FILE",
	 ["test", "-f", "/etc/passwd", "-a", "!", "-d", "/etc/passwd"], 0,
	 "empty"),
	("[ -n x ]", ["[", "-n", "x", "]"], 0, "empty"),
	("test --version", ["test", "--version"], 0, "floor"),
	("test x y", ["test", "x", "y"], 1, "floor"),
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
	"""Builds a column and checks the floors and test are linked alike."""
	out, why = build(name, options)
	if out is None:
		return None, why
	test = out / "programs" / "evaluator" / "test"
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
	for floor in FLOORS:
		if needed_libraries(out / floor) != linked:
			fail(f"{out / floor} is not linked like {test}")
	col = {f: out / f for f in FLOORS}
	col.update(name=name, test=test, spawn=out / "spawn",
		   traces=out / "callgrind")
	return col, ""


def raise_stack():
	_, hard = resource.getrlimit(resource.RLIMIT_STACK)
	soft = CHAIN_STACK
	if hard != resource.RLIM_INFINITY:
		soft = min(soft, hard)
	resource.setrlimit(resource.RLIMIT_STACK, (soft, hard))


def instructions(binary, argv, trace, big=False, status=0):
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
	if r.returncode != status:
		fail(f"{binary.name} {' '.join(argv[1:8])} exited "
		     f"{r.returncode}, not {status}:\n{r.stderr[-500:]}")
	m = re.search(r"^summary: (\d+)$", trace.read_text(), re.M)
	if m is None:
		fail(f"no summary in {trace}")
	return int(m.group(1))


def slug_of(label):
	return re.sub(r"\W+", "_", label).strip("_")


def short_instructions(col):
	"""Per case: the floors' counts by name, and test's."""
	rows = []
	for label, argv, status, _ in SHORT_CASES:
		slug = slug_of(label)
		floors = {f: instructions(col[f], argv,
					  col["traces"] / f"{slug}.{f}")
			  for f in FLOORS}
		test = instructions(col["test"], argv,
				    col["traces"] / f"{slug}.test",
				    status=status)
		rows.append((floors, test))
	return rows


def wall_times(col):
	"""Per case, from spawns of the floors and test taken in turn: the
	median over rounds of each one's wall time per run, and of test's
	ratio to each floor within a round."""
	programs = [col[f] for f in FLOORS] + [col["test"]]
	rows = []
	for label, argv, status, _ in SHORT_CASES:
		times = [[] for _ in programs]
		ratios = {f: [] for f in FLOORS}
		for _ in range(SPAWN_ROUNDS):
			cmd = [col["spawn"], str(SPAWNS_PER_ROUND), *programs,
			       "--", *argv]
			r = subprocess.run(cmd, env=ENV, capture_output=True,
					   text=True, check=True)
			values = list(map(int, r.stdout.split()))
			ns, statuses = values[:len(programs)], \
				values[len(programs):]
			if statuses != [0] * len(FLOORS) + [status]:
				fail(f"{label}: floors, test exited {statuses}")
			for t, v in zip(times, ns):
				t.append(v)
			for f, v in zip(FLOORS, ns):
				ratios[f].append(ns[-1] / v)
		floors = {f: statistics.median(t)
			  for f, t in zip(FLOORS, times)}
		rows.append((floors, statistics.median(times[-1]),
			     {f: statistics.median(r)
			      for f, r in ratios.items()}))
	return rows


def chain_costs(col):
	"""Instructions per term of "x -a x ... -a x", test less the empty
	program given the same arguments."""
	rows = []
	for n in CHAIN_TERMS:
		argv = ["test"] + ["x", "-a"] * (n - 1) + ["x"]
		floor = instructions(col["empty"], argv,
				     col["traces"] / f"chain{n}.empty", True)
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


def explain(col, slug, floor_name):
	"""Prints the functions where test spends more than a floor."""
	test = function_costs(col["traces"] / f"{slug}.test")
	floor = function_costs(col["traces"] / f"{slug}.{floor_name}")
	extra = sorted(((test.get(f, 0) - floor.get(f, 0), f)
			for f in set(test) | set(floor)), reverse=True)
	print(f"\n{col['name']} {slug}: where test spends beyond "
	      f"{FLOOR_NAMES[floor_name]}")
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


FLOOR_NAMES = {"empty": "the empty program", "floor": "the locale floor"}


def ratio(value, floor, bar):
	"""A ratio, in bold where it is the one the bar applies to."""
	text = f"{value / floor:.3f}"
	return f"**{text}**" if bar else text


def cells(res):
	"""One column's (value, ratio to empty, ratio to locale floor)
	triples, row for row with table()."""
	out = [("", "", "")]
	for (floors, t), case in zip(res["short"], SHORT_CASES):
		out.append((f"{t:,} ({floors['empty']:,}; {floors['floor']:,})",
			    *(ratio(t, floors[f], f == case[3])
			      for f in FLOORS)))
	out += [("", "", "")]
	for (floors, t, r), case in zip(res["wall"], SHORT_CASES):
		out.append((f"{t / 1000:.0f} µs ({floors['empty'] / 1000:.0f}; "
			    f"{floors['floor'] / 1000:.0f})",
			    *(ratio(r[f], 1, f == case[3]) for f in FLOORS)))
	out += [("", "", "")]
	first = res["chain"][0][1]
	out += [(f"{c:.1f}", f"{c / first:.3f}", "") for _, c in res["chain"]]
	return out


def table(cols, results):
	"""A Markdown table: per build, a value and its ratio to each floor;
	the ratio the bar applies to is in bold."""
	cases = [f"`{label}`" for label, *_ in SHORT_CASES]
	labels = ["**instructions per run** (empty program's; locale "
		  "floor's)", *cases,
		  f"**wall time per run**, median of {SPAWN_ROUNDS} rounds of "
		  f"{SPAWNS_PER_ROUND} (empty program's; locale floor's)",
		  *cases,
		  "**-a chain, instructions per term** (test less the empty "
		  "program; ratio to the first)",
		  *(f"{n:,} terms" for n in CHAIN_TERMS)]
	columns = [cells(results[c["name"]]) for c in cols]
	lines = ["| |" + "".join(f" {c['name']} | ÷ empty | ÷ locale |"
				 for c in cols),
		 "|---|" + "---:|---:|---:|" * len(cols)]
	for i, label in enumerate(labels):
		row = (col[i] for col in columns)
		lines.append(f"| {label} |" +
			     "".join(f" {v} | {a} | {b} |" for v, a, b in row))
	return "\n".join(lines)


def bar_failures(col, res):
	"""What fails the bar, each with the trace and floor to explain it."""
	failures = []
	for (floors, test), (label, _, _, bar) in zip(res["short"],
						       SHORT_CASES):
		if test > MAX_RATIO * floors[bar]:
			failures.append((f"{label}: {test / floors[bar]:.4f} "
					 f"times {FLOOR_NAMES[bar]}'s "
					 f"instructions", slug_of(label), bar))
	first = res["chain"][0][1]
	if first > MAX_TERM:
		failures.append((f"a chain term costs {first:.1f} "
				 f"instructions at {CHAIN_TERMS[0]:,} terms",
				 f"chain{CHAIN_TERMS[0]}", "empty"))
	growth = res["chain"][-1][1] / first
	if growth > MAX_GROWTH:
		failures.append((f"per-term cost grows {growth:.3f} times "
				 f"from {CHAIN_TERMS[0]:,} to "
				 f"{CHAIN_TERMS[-1]:,} terms",
				 f"chain{CHAIN_TERMS[-1]}", "empty"))
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
		      f"at most {MAX_TERM} per chain term, per-term growth at "
		      f"most {MAX_GROWTH}), {col['name']}: {verdict}")
		for text, slug, floor in failures:
			print(f"  {text}")
			explain(col, slug, floor)
		failed |= bool(failures)
	return 1 if failed else 0


if __name__ == "__main__":
	sys.exit(main())
