#!/bin/sh
# Fails on any instruction in the ELF files given that the 486 lacks, naming
# each with its address and the function it is in. The files are the
# programs as linked, static, so the C library's pieces are checked too.
# usage: i486_instructions.sh OBJDUMP BINARY...
#
# What came after the 486, from Intel's manuals:
# - Pentium: cmpxchg8b, rdtsc, rdmsr and wrmsr; MMX (the %mm registers,
#   emms). cpuid too, though the later 486s have it: on the earlier ones it
#   is an invalid opcode, and only a check of the EFLAGS ID bit makes it
#   safe, which no scan can see, so any cpuid fails.
# - Pentium Pro: cmov*, fcmov*, fcomi, fcomip, fucomi, fucomip, rdpmc, and
#   the hint nops of 0f 18 to 0f 1f: nopl, nopw, nop with an operand, the
#   prefetches, endbr32.
# - Pentium II and III: sysenter, sysexit, fxsave, fxrstor; SSE (the %xmm
#   registers, prefetch*, sfence, ldmxcsr, stmxcsr, movntq, maskmovq).
# - Pentium 4 and later: SSE2 and on (lfence, mfence, clflush, movnti),
#   fisttp, monitor, mwait, popcnt, lzcnt and tzcnt (read as bsr and bsf
#   before, with other results), movbe, crc32, the BMI and ADX sets,
#   rdrand, rdseed, rdtscp, rdpid, xgetbv, xsave*, the TSX set, AVX (%ymm,
#   %zmm, vzeroupper); syscall and sysret, which 32-bit Intel code never had.
# Code behind a run-time check counts too: musl's fenv functions keep
# ldmxcsr and stmxcsr behind the kernel's SSE bit. Neither program links
# them; one that comes in is to be looked at, not passed.
# Allowed: ud2, whose whole job is to raise an invalid opcode, which it does
# on the 486 as well, and pause (rep nop), a plain nop there.
set -u
objdump=$1
shift
status=0
for binary in "$@"; do
	listing=$("$objdump" -d -C --no-show-raw-insn "$binary") || {
		echo "$binary: $objdump failed"
		status=1
		continue
	}
	echo "$listing" | awk -v binary="$binary" '
	BEGIN {
		split("cmpxchg8b cmpxchg16b rdtsc rdtscp rdpmc rdmsr wrmsr " \
			"cpuid emms femms fcomi fcomip fcompi fucomi fucomip " \
			"fucompi endbr32 endbr64 sysenter sysexit syscall sysret " \
			"fxsave fxrstor ldmxcsr stmxcsr sfence lfence mfence " \
			"clflush clflushopt clwb movnti monitor mwait popcnt " \
			"lzcnt tzcnt movbe crc32 andn bextr blsi blsmsk blsr " \
			"bzhi mulx pdep pext rorx sarx shlx shrx adcx adox " \
			"rdrand rdseed rdpid xgetbv xsetbv xbegin xend xabort " \
			"xtest vzeroupper vzeroall", names, " ")
		for (i in names)
			newer[names[i]] = 1
		# Prefixes objdump writes before the mnemonic.
		split("cs ds es fs gs ss data16 data32 addr16 addr32 lock " \
			"rep repz repe repnz repne bnd notrack xacquire " \
			"xrelease", names, " ")
		for (i in names)
			prefix[names[i]] = 1
		function_name = "?"
		count = 0
		found = 0
	}
	/^[0-9a-f]+ <.*>:$/ {
		function_name = substr($0, index($0, "<") + 1)
		sub(/>:$/, "", function_name)
		next
	}
	/^ *[0-9a-f]+:\t/ {
		address = $1
		sub(/:$/, "", address)
		text = substr($0, index($0, "\t") + 1)
		gsub(/[ \t]+/, " ", text)
		n = split(text, word, /[ \t]+/)
		i = 1
		while (i < n && (word[i] in prefix))
			i++
		mnemonic = word[i]
		operands = ""
		for (j = i + 1; j <= n; j++)
			operands = operands word[j]
		if (mnemonic == "")
			next
		count++
		if ((mnemonic in newer) ||
		    mnemonic ~ /^(cmov|fcmov|fisttp|prefetch|xsave|xrstor)/ ||
		    (mnemonic ~ /^nop[lw]?$/ && operands != "") ||
		    operands ~ /%(x|y|z)?mm[0-9]/) {
			printf "%s: %s in %s, at 0x%s\n", binary, text,
				function_name, address
			found++
		}
	}
	END {
		if (count == 0) {
			printf "%s: no instructions disassembled\n", binary
			exit 1
		}
		printf "%s: %d instructions, %d the 486 lacks\n", binary,
			count, found
		exit (found > 0)
	}' || status=1
done
exit $status
