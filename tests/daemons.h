/* Finds, inspects and ends the daemon processes that a launcher leaves
   behind. The test process becomes a child subreaper, so they reparent to
   it; every one found is killed by pid and reaped when the guard goes. */
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

inline std::string
read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}

/* What ps shows: the command line up to its first zero byte. */
inline std::string
title_of(pid_t pid)
{
	std::string s = read_file("/proc/" + std::to_string(pid) + "/cmdline");
	return s.substr(0, s.find('\0'));
}

inline std::string
status_field(pid_t pid, const std::string &name)
{
	std::istringstream in(read_file("/proc/" + std::to_string(pid) +
					"/status"));
	std::string line;
	while (std::getline(in, line))
		if (line.compare(0, name.size() + 1, name + ":") == 0)
			return line.substr(
			    line.find_first_not_of(" \t:", name.size()));
	return "";
}

inline void
pause_ms(int ms)
{
	struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
	nanosleep(&t, nullptr);
}

/* Why this run cannot start and watch the daemons, or null. qemu-user
   refuses the child-subreaper calls, so the daemons would escape the test
   that must end them, and it rewrites a title in the emulated memory
   alone, so /proc shows each daemon under the emulator's command line.
   Asked at run time, since a 32-bit build runs natively on one kernel and
   emulated on another. */
inline const char *
daemons_out_of_sight()
{
	int reaper;
	if (prctl(PR_GET_CHILD_SUBREAPER, &reaper) != 0)
		return "under qemu-user a daemon's title is rewritten in the"
		       " emulated process, not in what /proc shows, and the"
		       " test cannot be the daemons' subreaper";
	return geteuid() == 0 ? nullptr : "detaching needs the superuser";
}

struct Daemons {
	std::vector<pid_t> pids;

	Daemons() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
	~Daemons()
	{
		for (pid_t pid : pids) {
			kill(pid, SIGKILL);
			waitpid(pid, nullptr, 0);
		}
	}

	/* Takes every child not yet known: the launcher has been reaped. */
	void collect()
	{
		DIR *d = opendir("/proc");
		while (struct dirent *e = d ? readdir(d) : nullptr) {
			pid_t pid = atoi(e->d_name);
			std::string s = read_file(std::string("/proc/") +
						  e->d_name + "/stat");
			size_t p = s.rfind(')');
			if (pid <= 0 || p == std::string::npos)
				continue;
			std::istringstream f(s.substr(p + 2));
			std::string state;
			pid_t ppid = 0;
			f >> state >> ppid;
			if (ppid == getpid() && std::find(pids.begin(),
			    pids.end(), pid) == pids.end())
				pids.push_back(pid);
		}
		if (d)
			closedir(d);
		std::sort(pids.begin(), pids.end());
	}

	/* The first daemon whose title is one of these, or 0. */
	pid_t find(const std::vector<std::string> &titles, int ms = 1000)
	{
		for (int waited = 0; waited <= ms; waited += 20, pause_ms(20))
			for (pid_t pid : pids)
				for (const auto &t : titles)
					if (title_of(pid) == t)
						return pid;
		return 0;
	}

	int wait_title(pid_t pid, const std::string &title, int ms)
	{
		for (int waited = 0; waited <= ms; waited += 20, pause_ms(20))
			if (title_of(pid) == title)
				return 1;
		return 0;
	}

	/* Exit status, or -1 while it runs; a reaped pid leaves the list. */
	int wait_exit(pid_t pid, int ms)
	{
		int st;
		for (int waited = 0; waited <= ms; waited += 20, pause_ms(20))
			if (waitpid(pid, &st, WNOHANG) == pid) {
				pids.erase(std::find(pids.begin(), pids.end(),
						     pid));
				return WIFEXITED(st) ? WEXITSTATUS(st)
						     : 128 + WTERMSIG(st);
			}
		return -1;
	}
};

/* What a detached daemon must look like from outside. */
inline void
expect_detached(pid_t pid)
{
	std::string proc = "/proc/" + std::to_string(pid);
	/* A daemon shows its title just before it starts its session. */
	for (int waited = 0; getsid(pid) != pid && waited < 2000; waited += 10)
		pause_ms(10);
	EXPECT_EQ(getsid(pid), pid);
	std::vector<std::string> fds;
	if (DIR *d = opendir((proc + "/fd").c_str())) {
		while (struct dirent *e = readdir(d))
			if (e->d_name[0] != '.')
				fds.push_back(e->d_name);
		closedir(d);
	}
	EXPECT_TRUE(fds.empty()) << fds.size() << " descriptors open";
	char cwd[4096] = "";
	ssize_t n = readlink((proc + "/cwd").c_str(), cwd, sizeof cwd - 1);
	EXPECT_EQ(std::string(cwd, n > 0 ? n : 0), "/");
	std::string mask = status_field(pid, "SigIgn");
	unsigned long ignored = std::stoul(mask, nullptr, 16);
	unsigned long wanted = 1UL << (SIGTERM - 1) | 1UL << (SIGINT - 1) |
			       1UL << (SIGCHLD - 1);
	EXPECT_EQ(ignored & wanted, wanted) << std::hex << ignored;
	kill(pid, SIGTERM);
	pause_ms(100);
	EXPECT_EQ(status_field(pid, "State").find('Z'), std::string::npos)
	    << "SIGTERM ended it";
}
