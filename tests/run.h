/* Spawns a built program with an explicit argument vector, no shell between,
   and captures its exit status, standard output and standard error. */
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char **environ;

struct RunOptions {
	std::vector<std::string> set_env;	/* NAME=VALUE, added or replaced */
	std::vector<std::string> unset_env;	/* NAMEs removed */
	int uid = -1;		/* drop to this uid and gid */
	int gid = -1;		/* or, with the uid, to this gid */
	std::vector<gid_t> groups;	/* and these supplementary groups */
	int stdin_fd = -1;	/* -1: /dev/null */
	int stdout_fd = -1;	/* -1: captured; CLOSED: closed */
	int stderr_fd = -1;	/* -1: captured */
	std::string cwd;
	std::vector<int> extra_fds;	/* inherited, open on /dev/null */
	static constexpr int CLOSED = -2;
};

struct RunResult {
	int status = -1;	/* exit status, or 128 + signal number */
	std::string out, err;
};

inline std::vector<std::string>
environment_for(const RunOptions &o)
{
	std::vector<std::string> env;
	auto named = [](const std::string &entry, const std::string &name) {
		return entry.compare(0, name.size(), name) == 0 &&
		       entry.size() > name.size() && entry[name.size()] == '=';
	};
	auto overridden = [&](const std::string &entry) {
		for (const auto &n : o.unset_env)
			if (named(entry, n))
				return true;
		for (const auto &s : o.set_env)
			if (named(entry, s.substr(0, s.find('='))))
				return true;
		return false;
	};
	for (char **e = environ; *e; e++)
		if (!overridden(*e))
			env.push_back(*e);
	for (const auto &s : o.set_env)
		env.push_back(s);
	return env;
}

inline std::vector<char *>
c_vector(std::vector<std::string> &v)
{
	std::vector<char *> p;
	for (auto &s : v)
		p.push_back(s.data());
	p.push_back(nullptr);
	return p;
}

/* Reads both pipes together so a child filling one cannot block on it. */
inline void
drain(int out_fd, int err_fd, std::string &out, std::string &err)
{
	struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
	std::string *dest[2] = {&out, &err};
	int open_count = (out_fd >= 0) + (err_fd >= 0);
	while (open_count > 0) {
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
				continue;
			char buf[65536];
			ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				dest[i]->append(buf, n);
			} else if (n == 0 || errno != EINTR) {
				close(fds[i].fd);
				fds[i].fd = -1;
				open_count--;
			}
		}
	}
}

/* A copy of the program that another user can execute even when the build
   tree lies in a directory only its owner may enter. */
inline std::string
reachable_copy(const std::string &path)
{
	struct Copies {
		std::map<std::string, std::string> to;
		~Copies()
		{
			for (auto &c : to)
				std::filesystem::remove_all(
					std::filesystem::path(c.second)
						.parent_path());
		}
	};
	static Copies copies;
	auto found = copies.to.find(path);
	if (found != copies.to.end())
		return found->second;
	char dir[] = "/tmp/run-XXXXXX";
	if (mkdtemp(dir) == nullptr || chmod(dir, 0755) != 0)
		std::abort();
	std::string copy = std::string(dir) + "/" +
			   std::filesystem::path(path).filename().string();
	std::filesystem::copy_file(path, copy);
	if (chmod(copy.c_str(), 0755) != 0)
		std::abort();
	return copies.to[path] = copy;
}

inline RunResult
run(const std::string &path, std::vector<std::string> argv,
    const RunOptions &o = {})
{
	std::string program = o.uid >= 0 ? reachable_copy(path) : path;
	std::vector<std::string> env = environment_for(o);
	std::vector<char *> cargv = c_vector(argv), cenv = c_vector(env);
	int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
	if (o.stdout_fd == -1 && pipe2(out_pipe, O_CLOEXEC) != 0)
		std::abort();
	if (o.stderr_fd == -1 && pipe2(err_pipe, O_CLOEXEC) != 0)
		std::abort();
	pid_t pid = fork();
	if (pid < 0)
		std::abort();
	if (pid == 0) {
		int in = o.stdin_fd >= 0 ? o.stdin_fd : open("/dev/null", O_RDONLY);
		dup2(in, 0);
		if (o.stdout_fd == RunOptions::CLOSED)
			close(1);
		else
			dup2(o.stdout_fd >= 0 ? o.stdout_fd : out_pipe[1], 1);
		dup2(o.stderr_fd >= 0 ? o.stderr_fd : err_pipe[1], 2);
		int null_fd = open("/dev/null", O_RDONLY);
		for (int fd : o.extra_fds)
			if (dup2(null_fd, fd) != fd)
				_exit(126);
		if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0)
			_exit(126);
		if (o.uid >= 0 && (setgroups(o.groups.size(),
					     o.groups.data()) != 0 ||
				   setgid(o.gid >= 0 ? o.gid : o.uid) != 0 ||
				   setuid(o.uid) != 0))
			_exit(126);
		execve(program.c_str(), cargv.data(), cenv.data());
		_exit(127);
	}
	if (out_pipe[1] >= 0)
		close(out_pipe[1]);
	if (err_pipe[1] >= 0)
		close(err_pipe[1]);
	RunResult r;
	drain(out_pipe[0], err_pipe[0], r.out, r.err);
	int status;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
		;
	r.status = WIFEXITED(status) ? WEXITSTATUS(status)
				     : 128 + WTERMSIG(status);
	return r;
}
