#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

void check(bool ok, const char *what)
{
	if (!ok)
		throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void write_all(int fd, const std::string &bytes)
{
	std::size_t done = 0;
	while (done < bytes.size()) {
		ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return; // the program stopped reading; what it left is its business
		done += static_cast<std::size_t>(n);
	}
}

std::string read_back(std::FILE *file)
{
	std::string bytes;
	std::rewind(file);
	char chunk[4096];
	std::size_t n;
	while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
		bytes.append(chunk, n);
	std::fclose(file);
	return bytes;
}

} // namespace

outcome run_program(const std::vector<std::string> &argv, const launch &how)
{
	// Our own writes to a pipe the program has left must fail, not kill us.
	std::signal(SIGPIPE, SIG_IGN);
	// Started without a standard stream, we would hand its number to the
	// first pipe or file we open and mix up the program's streams with it.
	for (int fd = 0; fd <= 2; fd++)
		if (fcntl(fd, F_GETFD) < 0)
			check(open("/dev/null", O_RDWR) == fd, "open /dev/null");

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	int input_pipe[2] = {-1, -1};
	int output_pipe[2] = {-1, -1};

	switch (how.in) {
	case input_kind::bytes:
		check(pipe2(input_pipe, O_CLOEXEC) == 0, "pipe");
		posix_spawn_file_actions_adddup2(&actions, input_pipe[0], 0);
		break;
	case input_kind::closed:
		posix_spawn_file_actions_addclose(&actions, 0);
		break;
	case input_kind::directory:
		posix_spawn_file_actions_addopen(&actions, 0, "/", O_RDONLY, 0);
		break;
	case input_kind::write_only:
		posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_WRONLY, 0);
		break;
	}

	std::FILE *out = nullptr;
	switch (how.out) {
	case output_kind::captured:
		out = std::tmpfile();
		check(out != nullptr, "tmpfile");
		posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
		break;
	case output_kind::closed:
		posix_spawn_file_actions_addclose(&actions, 1);
		break;
	case output_kind::full:
		posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
		break;
	case output_kind::broken_pipe:
		check(pipe2(output_pipe, O_CLOEXEC) == 0, "pipe");
		close(output_pipe[0]);
		posix_spawn_file_actions_adddup2(&actions, output_pipe[1], 1);
		break;
	}
	std::FILE *err = std::tmpfile();
	check(err != nullptr, "tmpfile");
	posix_spawn_file_actions_adddup2(&actions, fileno(err), 2);

	// Start it as a shell would: SIGPIPE at its default, whatever we ignore.
	posix_spawnattr_t attributes;
	posix_spawnattr_init(&attributes);
	sigset_t defaults;
	sigemptyset(&defaults);
	sigaddset(&defaults, SIGPIPE);
	posix_spawnattr_setsigdefault(&attributes, &defaults);
	posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

	// Ours, less what the launch sets anew: a name given twice would leave
	// the program reading the first.
	std::vector<std::string> env_strings = how.environment;
	for (char **e = environ; *e != nullptr; e++) {
		const std::string entry = *e;
		const std::string name = entry.substr(0, entry.find('=') + 1);
		bool replaced = false;
		for (const auto &set : how.environment)
			replaced = replaced || set.rfind(name, 0) == 0;
		if (!replaced)
			env_strings.push_back(entry);
	}
	std::vector<char *> env;
	for (auto &e : env_strings)
		env.push_back(e.data());
	env.push_back(nullptr);
	std::vector<std::string> arg_strings = argv;
	std::vector<char *> args;
	for (auto &a : arg_strings)
		args.push_back(a.data());
	args.push_back(nullptr);

	pid_t pid;
	int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), env.data());
	posix_spawn_file_actions_destroy(&actions);
	posix_spawnattr_destroy(&attributes);
	if (output_pipe[1] >= 0)
		close(output_pipe[1]);
	if (spawned != 0) {
		errno = spawned;
		check(false, argv[0].c_str());
	}

	std::thread feeder;
	if (input_pipe[0] >= 0) {
		close(input_pipe[0]);
		feeder = std::thread([&how, fd = input_pipe[1]] {
			if (how.feed)
				how.feed(fd);
			else
				write_all(fd, how.input);
			close(fd);
		});
	}

	int wait_status;
	rusage usage{};
	while (wait4(pid, &wait_status, 0, &usage) < 0)
		check(errno == EINTR, "wait4");
	if (feeder.joinable())
		feeder.join();

	outcome result;
	if (out != nullptr)
		result.out = read_back(out);
	result.err = read_back(err);
	if (WIFEXITED(wait_status))
		result.status = WEXITSTATUS(wait_status);
	else if (WIFSIGNALED(wait_status))
		result.signal = WTERMSIG(wait_status);
	result.peak_memory_kib = usage.ru_maxrss;
	return result;
}

std::string vexmor_path()
{
	const char *exe = std::getenv("VEXMOR_EXE");
	return exe != nullptr && *exe != '\0' ? exe : VEXMOR_EXE;
}

outcome run_vexmor(const launch &how)
{
	std::vector<std::string> argv;
	if (const char *wrapper = std::getenv("VEXMOR_TEST_WRAPPER")) {
		std::istringstream words(wrapper);
		argv.assign(std::istream_iterator<std::string>(words), {});
	}
	argv.push_back(vexmor_path());
	argv.insert(argv.end(), how.args.begin(), how.args.end());
	return run_program(argv, how);
}

std::string read_file(const std::string &path)
{
	std::ifstream file(path, std::ios::binary);
	if (!file)
		throw std::runtime_error("cannot read " + path);
	return {std::istreambuf_iterator<char>(file), {}};
}
