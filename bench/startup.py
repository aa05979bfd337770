#!/usr/bin/env python3
"""Start-up cost of test against two floors: an empty program, and one that
only sets its locale.

Builds all three in three columns: dynamically linked against glibc,
statically linked against it, and statically against musl
(-DPROGRAMS_MUSL=ON); the last two where the build offers them. Prints
instructions per run under callgrind, wall time per run, and instructions
per term of long -a chains, each beside the column's own floors, and the
resident memory of update's loop daemon per column (which needs root: only
the superuser's update detaches), and whether the bar holds.

For glibc, dynamic and static: a run that prints nothing within 1.05 times
the empty program's instructions, a run that prints within 1.05 times the
locale floor's, a chain term at most 150 instructions at 1,000 terms, and
the per-term cost at 100,000 terms within 1.5 times that at 1,000.

For musl: a run that prints nothing at most 2,000 instructions, and in wall
time at most 1.10 times musl's empty program and 0.40 times the dynamic
build's test, all three spawned in the same rounds; a run that prints
within 1.15 times musl's locale floor's instructions; and the loop daemon
at most 100 kB resident.

Exits 1 when a bar does not hold, 2 when it cannot measure.
"""

import ctypes
import os
import platform
import re
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import time
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

# musl's bar. Its empty static program starts in under 600 instructions, so
# what test does itself weighs far more there than over glibc: a silent run
# is held to a count instead of a ratio. Wall times are compared only as
# ratios within a round, the one way they mean anything on a shared machine.
MUSL_MAX_SILENT = 2_000
MUSL_MAX_WALL = 1.10
MUSL_MAX_WALL_DYNAMIC = 0.40
MUSL_MAX_PRINTING = 1.15
MUSL_MAX_DAEMON_KB = 100
# The loop daemon is measured once it has given up on the kernel's flush
# and calls itself "update (sync)": 5 s after start by default, then it
# sleeps 30 s, so nothing it does later is missed by waiting longer.
DAEMON_SETTLED = b"update (sync)"
DAEMON_WAIT = 20
PR_SET_CHILD_SUBREAPER = 36

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
	"""Builds a column and checks the floors, test and update are linked
	alike."""
	out, why = build(name, options)
	if out is None:
		return None, why
	test = out / "programs" / "evaluator" / "test"
	update = out / "programs" / "flush_daemon" / "update"
	linked = needed_libraries(test)
	option = next((o[2:].partition("=")[0] for o in options
		       if o.startswith("-DPROGRAMS_")), None)
	if option is not None:
		cache = (out / "CMakeCache.txt").read_text()
		if f"{option}:BOOL=ON" not in cache:
			return None, f"the build has no {option} option"
		if linked is not None:
			return None, (f"{option}=ON still links test "
				      "dynamically")
	elif linked != ["libc.so.6"]:
		fail(f"{test} needs {linked}, not libc alone")
	musl = option == "PROGRAMS_MUSL"
	if musl and not (out / "musl-driver").exists():
		fail(f"{out} has no musl-driver: nothing was built over musl")
	for program in (*(out / f for f in FLOORS), update):
		if needed_libraries(program) != linked:
			fail(f"{program} is not linked like {test}")
	col = {f: out / f for f in FLOORS}
	col.update(name=name, test=test, update=update, musl=musl,
		   spawn=out / "spawn", traces=out / "callgrind")
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


def wall_times(col, reference=None):
	"""Per case, from spawns of the floors and test taken in turn (and of
	the reference column's test, when given): the median over rounds of
	each one's wall time per run, and of test's ratio to each floor (and
	to the reference's test) within a round."""
	programs = [col[f] for f in FLOORS] + [col["test"]]
	names = list(FLOORS)
	if reference is not None:
		programs.append(reference["test"])
		names.append(reference["name"])
	at_test = len(FLOORS)
	rows = []
	for label, argv, status, _ in SHORT_CASES:
		times = [[] for _ in programs]
		ratios = {n: [] for n in names}
		expected = [0] * len(FLOORS) + [status] * (len(programs)
							  - at_test)
		for _ in range(SPAWN_ROUNDS):
			cmd = [col["spawn"], str(SPAWNS_PER_ROUND), *programs,
			       "--", *argv]
			r = subprocess.run(cmd, env=ENV, capture_output=True,
					   text=True, check=True)
			values = list(map(int, r.stdout.split()))
			ns, statuses = values[:len(programs)], \
				values[len(programs):]
			if statuses != expected:
				who = ", ".join(("floors", "test", *(
					f"{n} test" for n in names[at_test:])))
				fail(f"{label}: {who} exited {statuses}")
			for t, v in zip(times, ns):
				t.append(v)
			others = ns[:at_test] + ns[at_test + 1:]
			for n, v in zip(names, others):
				ratios[n].append(ns[at_test] / v)
		floors = {f: statistics.median(t)
			  for f, t in zip(FLOORS, times)}
		rows.append((floors, statistics.median(times[at_test]),
			     {n: statistics.median(r)
			      for n, r in ratios.items()}))
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


def children():
	"""(pid, state) of each process whose parent is this one."""
	found = []
	for entry in Path("/proc").iterdir():
		if not entry.name.isdigit():
			continue
		try:
			stat = (entry / "stat").read_text()
		except OSError:
			continue
		# The name in parentheses may hold spaces and parentheses.
		state, ppid = stat.rpartition(")")[2].split()[:2]
		if int(ppid) == os.getpid():
			found.append((int(entry.name), state))
	return found


def resident_kb(pid):
	"""VmRSS, RssAnon and RssFile of a process, in kB."""
	status = Path(f"/proc/{pid}/status").read_text()
	return {k: int(v) for k, v in
		re.findall(r"^(VmRSS|RssAnon|RssFile):\s+(\d+) kB$", status,
			   re.M)}


def set_subreaper(on):
	libc = ctypes.CDLL(None, use_errno=True)
	if libc.prctl(PR_SET_CHILD_SUBREAPER, int(on), 0, 0, 0) != 0:
		fail(f"prctl(PR_SET_CHILD_SUBREAPER): "
		     f"{os.strerror(ctypes.get_errno())}")


def daemon_memory(cols):
	"""Per column, the resident memory of update's loop daemon once it
	is settled; None with the reason when it cannot run here.

	Every column's update starts at once, with no arguments and the
	measuring environment. The launcher exits at once; the bench is a
	child subreaper meanwhile, so both daemons become its children, and
	a daemon belongs to the column whose update it executes. Each is
	killed and reaped by pid; so is anything else left that is a child
	of the bench, which can only be one of these."""
	if os.geteuid() != 0:
		return None, ("not run as root: update detaches into its "
			      "daemons only for the superuser")
	binaries = {os.path.realpath(c["update"]): c["name"] for c in cols}
	figures = {}
	set_subreaper(True)
	try:
		for col in cols:
			launcher = subprocess.Popen(
				["update"], executable=col["update"], env=ENV,
				stdin=subprocess.DEVNULL,
				stdout=subprocess.DEVNULL,
				stderr=subprocess.DEVNULL)
			try:
				status = launcher.wait(timeout=DAEMON_WAIT)
			except subprocess.TimeoutExpired:
				fail(f"{col['update']} (launcher) still runs "
				     f"after {DAEMON_WAIT} s")
			if status != 0:
				fail(f"{col['update']} (launcher) exited "
				     f"{status}")
		deadline = time.monotonic() + DAEMON_WAIT
		while len(figures) < len(cols):
			if time.monotonic() > deadline:
				missing = set(binaries.values()) - set(figures)
				fail(f"no update daemon titled "
				     f"{DAEMON_SETTLED.decode()!r} after "
				     f"{DAEMON_WAIT} s: {sorted(missing)}")
			for pid, state in children():
				if state == "Z":
					# The flush daemon's exit, or a daemon
					# that died: either way, reaped.
					os.waitpid(pid, 0)
					continue
				try:
					title = Path(f"/proc/{pid}/cmdline"
						     ).read_bytes()
					exe = os.readlink(f"/proc/{pid}/exe")
				except OSError:
					continue
				if not title.startswith(DAEMON_SETTLED):
					continue
				name = binaries.get(exe)
				if name is None:
					fail(f"child {pid} runs {exe}, which "
					     f"is no column's update")
				figures[name] = resident_kb(pid)
				os.kill(pid, signal.SIGKILL)
				os.waitpid(pid, 0)
			time.sleep(0.05)
	finally:
		for pid, _ in children():
			try:
				os.kill(pid, signal.SIGKILL)
				os.waitpid(pid, 0)
			except OSError:
				pass
		set_subreaper(False)
	return figures, ""


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


def machine(cols):
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
		f"Linux {platform.release()}, {compiler}, "
		f"{''.join(musl_version(c) for c in cols if c['musl'])}"
		f"{valgrind}, {locale}")


def musl_version(col):
	"""musl's version, as its dynamic loader tells it when run alone;
	empty when that is not installed beside the static library."""
	cache = (col["test"].parents[2] / "CMakeCache.txt").read_text()
	m = re.search(r"^MUSL_LIBDIR:\w+=(.*)$", cache, re.M)
	loader = m and Path(m.group(1)) / "libc.so"
	if not loader or not os.access(loader, os.X_OK):
		return ""
	r = subprocess.run([loader], capture_output=True, text=True)
	m = re.search(r"^Version (\S+)", r.stderr, re.M)
	return f"musl {m.group(1)}, " if m else ""


FLOOR_NAMES = {"empty": "the empty program", "floor": "the locale floor"}


def bold(text, bar):
	"""The text, in bold where it is what the bar applies to."""
	return f"**{text}**" if bar else text


def ratio(value, floor, bar):
	return bold(f"{value / floor:.3f}", bar)


def cells(col, res, reference, memory):
	"""One column's cells, row for row with table(): a value, its ratio
	to each floor and, for a column set against a reference column, to
	that column's test. Bold marks what the column's bar applies to: for
	musl a silent run's instruction count itself, not its ratio."""
	ref_name, ref_res = reference or (None, None)
	width = 3 if reference is None else 4
	blank = [""] * width
	out = [blank]
	for i, ((floors, t), case) in enumerate(zip(res["short"],
						    SHORT_CASES)):
		absolute = col["musl"] and case[3] == "empty"
		row = [f"{bold(f'{t:,}', absolute)} ({floors['empty']:,}; "
		       f"{floors['floor']:,})",
		       *(ratio(t, floors[f], f == case[3] and not absolute)
			 for f in FLOORS)]
		if reference is not None:
			row.append(ratio(t, ref_res["short"][i][1], False))
		out.append(row)
	out.append(blank)
	for (floors, t, r), case in zip(res["wall"], SHORT_CASES):
		row = [f"{t / 1000:.0f} µs ({floors['empty'] / 1000:.0f}; "
		       f"{floors['floor'] / 1000:.0f})",
		       *(ratio(r[f], 1, f == case[3]) for f in FLOORS)]
		if reference is not None:
			row.append(ratio(r[ref_name], 1, case[3] == "empty"))
		out.append(row)
	out.append(blank)
	first = res["chain"][0][1]
	out += [[f"{c:.1f}", f"{c / first:.3f}", *blank[2:]]
		for _, c in res["chain"]]
	if memory is None:
		value = "not measured"
	else:
		kb = memory[col["name"]]["VmRSS"]
		value = bold(f"{kb:,} kB", col["musl"])
	out.append([value, *blank[1:]])
	return out


def table(cols, results, memory):
	"""A Markdown table: per build, a value and its ratio to each floor
	(and, for musl, to the dynamic build's test)."""
	cases = [f"`{label}`" for label, *_ in SHORT_CASES]
	labels = ["**instructions per run** (empty program's; locale "
		  "floor's)", *cases,
		  f"**wall time per run**, median of {SPAWN_ROUNDS} rounds of "
		  f"{SPAWNS_PER_ROUND} (empty program's; locale floor's)",
		  *cases,
		  "**-a chain, instructions per term** (test less the empty "
		  "program; ratio to the first)",
		  *(f"{n:,} terms" for n in CHAIN_TERMS),
		  "**update's loop daemon, resident** (VmRSS once titled "
		  f"`{DAEMON_SETTLED.decode()}`)"]
	columns = [cells(c, results[c["name"]], reference_of(c, results),
			 memory) for c in cols]
	head, rule = "| |", "|---|"
	for c, cc in zip(cols, columns):
		names = [c["name"], "÷ empty", "÷ locale"]
		if len(cc[0]) > 3:
			names.append(f"÷ {REFERENCE}")
		head += "".join(f" {n} |" for n in names)
		rule += "---:|" * len(names)
	lines = [head, rule]
	for i, label in enumerate(labels):
		lines.append(f"| {label} |" + "".join(
			f" {v} |" for cc in columns for v in cc[i]))
	return "\n".join(lines)


# The column musl's wall time is set against, in the same rounds: the
# first, which is always built.
REFERENCE = "dynamic"


def reference_of(col, results):
	"""(name, results) of the column col is set against, or None."""
	if not col["musl"]:
		return None
	return REFERENCE, results[REFERENCE]


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


def musl_bar_failures(col, res, memory):
	"""What fails musl's bar, each with the trace and floor to explain
	it, or None where the failure is not in instructions."""
	failures = []
	for (floors, test), (_, _, r), (label, _, _, bar) in zip(
			res["short"], res["wall"], SHORT_CASES):
		slug = slug_of(label)
		if bar == "floor":
			times = test / floors["floor"]
			if times > MUSL_MAX_PRINTING:
				failures.append((f"{label}: {times:.4f} times "
						 f"the locale floor's "
						 f"instructions",
						 slug, "floor"))
			continue
		if test > MUSL_MAX_SILENT:
			failures.append((f"{label}: {test:,} instructions",
					 slug, "empty"))
		if r["empty"] > MUSL_MAX_WALL:
			failures.append((f"{label}: wall time "
					 f"{r['empty']:.3f} times the empty "
					 f"program's", None, None))
		if r[REFERENCE] > MUSL_MAX_WALL_DYNAMIC:
			failures.append((f"{label}: wall time "
					 f"{r[REFERENCE]:.3f} times the "
					 f"{REFERENCE} build's test's",
					 None, None))
	kb = memory and memory[col["name"]]
	if kb and kb["VmRSS"] > MUSL_MAX_DAEMON_KB:
		failures.append((f"update's loop daemon: {kb['VmRSS']} kB "
				 f"resident ({kb.get('RssAnon', '?')} "
				 f"anonymous, {kb.get('RssFile', '?')} from "
				 f"files)", None, None))
	return failures


def bar_of(col, res, memory):
	"""The column's bar in words, and what fails it."""
	if not col["musl"]:
		return (f"{MAX_RATIO} times the floor's instructions, at most "
			f"{MAX_TERM} per chain term, per-term growth at most "
			f"{MAX_GROWTH}"), bar_failures(col, res)
	return (f"silent runs at most {MUSL_MAX_SILENT:,} instructions and in "
		f"wall time at most {MUSL_MAX_WALL} times the empty program "
		f"and {MUSL_MAX_WALL_DYNAMIC} times the {REFERENCE} build's "
		f"test, printing runs {MUSL_MAX_PRINTING} times the locale "
		f"floor's instructions, the loop daemon at most "
		f"{MUSL_MAX_DAEMON_KB} kB resident"), \
		musl_bar_failures(col, res, memory)


def main():
	if VALGRIND is None:
		fail("valgrind is not installed")
	RUN_DIR.mkdir(parents=True, exist_ok=True)
	cols = []
	notes = ["armhf, armhf-musl and arm64-musl columns skipped: they run "
		 "here only under qemu-user, whose instruction counts and wall "
		 "times measure the emulator, not the programs; this bench "
		 "measures the host processor."]
	for name, options in (("dynamic", []),
			      ("static", ["-DPROGRAMS_STATIC=ON"]),
			      ("musl", ["-DPROGRAMS_MUSL=ON"])):
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
		reference = cols[0] if col["musl"] else None
		results[col["name"]] = {"short": short_instructions(col),
					"chain": chain_costs(col),
					"wall": wall_times(col, reference)}
	print("measuring update's loop daemons ...", file=sys.stderr)
	memory, why = daemon_memory(cols)
	if memory is None:
		notes.append(f"update's loop daemons not measured: {why}")
	print(machine(cols))
	print()
	print(table(cols, results, memory))
	for note in notes:
		print(f"\n{note}")
	print(f"\nChains run with a {CHAIN_STACK >> 20} MiB stack limit, "
	      f"floor and test alike, for the argument space.")
	if any(c["musl"] for c in cols):
		print(f"musl's wall times come from rounds that spawn the "
		      f"{REFERENCE} build's test too.")
	failed = 0
	for col in cols:
		terms, failures = bar_of(col, results[col["name"]], memory)
		verdict = "holds" if not failures else "does NOT hold"
		if col["musl"] and memory is None and not failures:
			verdict += " (the daemon unmeasured)"
		print(f"\nbar ({terms}), {col['name']}: {verdict}")
		for text, slug, floor in failures:
			print(f"  {text}")
			if slug is not None:
				explain(col, slug, floor)
		failed |= bool(failures)
	return 1 if failed else 0


if __name__ == "__main__":
	sys.exit(main())
