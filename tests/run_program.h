// Runs a program as a child process with its standard output and error on
// pipes, so tests can check both texts and the exit status exactly.
#ifndef LCDUMP_TESTS_RUN_PROGRAM_H
#define LCDUMP_TESTS_RUN_PROGRAM_H

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or 128 + signal number
};

struct RunOptions {
    std::string stdin_data;                // fed through a pipe as the child reads it, while its output is read
    std::string stdout_path;               // when set, stdout goes to this file instead of a pipe
    long address_space_limit = 0;          // bytes of RLIMIT_AS for the child, 0 for none
    long file_size_limit = 0;              // bytes of RLIMIT_FSIZE for the child, 0 for none
    long stack_limit = 0;                  // bytes of RLIMIT_STACK for the child, 0 for none; its stack then
                                           // starts at the same address every run
    std::vector<std::string> environment;  // NAME=VALUE settings added to the child's environment
    bool clear_environment = false;        // the child's environment is environment and sanitizer_settings() only
    bool close_stdout = false;             // the child starts with standard output closed
    std::string stderr_path;               // when set, stderr goes to this file instead of a pipe
    bool ignore_sigpipe = false;           // the child starts with SIGPIPE ignored, as some shells leave it
    std::string cwd;                       // when set, the child starts in this directory
};

// LCDUMP_RUNNER, when set, holds a command (words split at blanks) that the
// tests put in front of the program under test, such as valgrind.
inline std::vector<std::string> runner_words()
{
    std::vector<std::string> words;
    const char* runner = std::getenv("LCDUMP_RUNNER");
    std::istringstream in(runner != nullptr ? runner : "");
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

inline bool under_runner()
{
    return !runner_words().empty();
}

// This process's settings of the sanitizers (ASAN_OPTIONS and the like, as
// ctest gives them to the tests of the sanitizer build): a child whose
// environment is cleared keeps them, so that an instrumented program still
// runs with the checks, and the stack use, that the build chose. The runner
// is read by this process, not the child, and still comes before the program.
inline std::vector<std::string> sanitizer_settings()
{
    const std::string suffix = "SAN_OPTIONS=";
    std::vector<std::string> kept;
    for (char** setting = environ; *setting != nullptr; ++setting) {
        const std::string text = *setting;
        const std::size_t end = text.find('=') + 1;
        if (end > suffix.size() && text.compare(end - suffix.size(), suffix.size(), suffix) == 0)
            kept.push_back(text);
    }
    return kept;
}

// The command that runs program with args, behind the runner if there is one.
inline std::vector<std::string> command_line(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> words = runner_words();
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const RunOptions& options = RunOptions())
    {
        int in_pipe[2], out_pipe[2], err_pipe[2];
        if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in_pipe[0], 0);
            if (options.stdout_path.empty()) {
                ::dup2(out_pipe[1], 1);
            } else {
                int fd = ::open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                ::dup2(fd, 1);
            }
            if (options.stderr_path.empty()) {
                ::dup2(err_pipe[1], 2);
            } else {
                int fd = ::open(options.stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                ::dup2(fd, 2);
            }
            if (options.close_stdout)
                ::close(1);
            for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
                ::close(fd);
            set_limit(RLIMIT_AS, options.address_space_limit);
            set_limit(RLIMIT_FSIZE, options.file_size_limit);
            if (set_limit(RLIMIT_STACK, options.stack_limit))
                // The kernel lowers the start of the stack by up to 8 KiB at
                // random, which would move the smallest limit a program runs
                // in by up to two pages from one run to the next.
                ::personality(ADDR_NO_RANDOMIZE);
            if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
                ::_exit(127);
            ::signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
            std::vector<std::string> kept;  // putenv keeps the strings themselves, until the exec
            if (options.clear_environment) {
                kept = sanitizer_settings();
                ::clearenv();
                for (std::string& setting : kept)
                    ::putenv(&setting[0]);
            }
            for (const std::string& setting : options.environment)
                ::putenv(const_cast<char*>(setting.c_str()));
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in_pipe[0]);
        ::close(out_pipe[1]);
        ::close(err_pipe[1]);
        stdin_fd_ = in_pipe[1];
        stdout_fd_ = out_pipe[0];
        stderr_fd_ = err_pipe[0];
        ::signal(SIGPIPE, SIG_IGN);
        // A child that writes as it reads fills its output pipe long before
        // it has read an input of megabytes: this process must never wait to
        // write while the child waits for it to read.
        ::fcntl(stdin_fd_, F_SETFL, ::fcntl(stdin_fd_, F_GETFL) | O_NONBLOCK);
        write_stdin(options.stdin_data);
    }

    ~ChildProcess() { finish(); }

    // Writes what the pipe takes now; the rest goes as the child reads, while
    // read_line or finish wait for its output.
    void write_stdin(const std::string& data)
    {
        stdin_.append(data);
        send_stdin();
    }

    pid_t pid() const { return pid_; }

    // Opens the FIFO at path for writing once this child opens it for
    // reading; -1 if the child ends first or timeout_ms passes, so a child
    // that fails at the start fails the test instead of hanging it.
    int open_fifo_for_writing(const std::string& path, int timeout_ms = 30000)
    {
        for (int waited = 0; waited < timeout_ms; waited += 5) {
            int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                return fd;
            }
            int wstatus;
            if (::waitpid(pid_, &wstatus, WNOHANG) == pid_) {
                exited_status_ = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
                return -1;
            }
            ::usleep(5000);
        }
        return -1;
    }

    // Stops reading standard output: the child's next writes find no reader.
    void close_stdout_reader()
    {
        if (stdout_fd_ >= 0)
            ::close(stdout_fd_);
        stdout_fd_ = -1;
    }

    void close_stdin()
    {
        if (stdin_fd_ >= 0)
            ::close(stdin_fd_);
        stdin_fd_ = -1;
        stdin_sent_ = stdin_.size();
    }

    // Reads standard output until it holds a newline or timeout_ms passes;
    // returns everything read so far.
    std::string read_line(int timeout_ms)
    {
        while (result_.out.find('\n') == std::string::npos) {
            struct pollfd p[2] = {{stdout_fd_, POLLIN, 0}, {stdin_sent_ < stdin_.size() ? stdin_fd_ : -1, POLLOUT, 0}};
            if (::poll(p, 2, timeout_ms) <= 0)
                break;
            if (p[1].revents != 0)
                send_stdin();
            if (p[0].revents != 0 && !read_into(stdout_fd_, result_.out))
                break;
        }
        std::size_t end = result_.out.find('\n');
        std::string line = result_.out.substr(0, end == std::string::npos ? end : end + 1);
        result_.out.erase(0, line.size());
        return line;
    }

    // Writes what is left of standard input and then closes it, collecting
    // both outputs meanwhile, until the child ends.
    RunResult finish()
    {
        if (pid_ <= 0)
            return result_;
        if (stdin_sent_ == stdin_.size())
            close_stdin();
        while (stdout_fd_ >= 0 || stderr_fd_ >= 0 || stdin_fd_ >= 0) {
            struct pollfd p[3] = {{stdout_fd_, POLLIN, 0}, {stderr_fd_, POLLIN, 0}, {stdin_fd_, POLLOUT, 0}};
            if (::poll(p, 3, -1) < 0)
                break;
            if (p[2].revents != 0) {
                send_stdin();
                if (stdin_sent_ == stdin_.size())
                    close_stdin();
            }
            for (int i = 0; i < 2; ++i) {
                int& fd = i == 0 ? stdout_fd_ : stderr_fd_;
                if (fd >= 0 && p[i].revents != 0 && !read_into(fd, i == 0 ? result_.out : result_.err)) {
                    ::close(fd);
                    fd = -1;
                }
            }
        }
        if (exited_status_ >= 0) {
            result_.status = exited_status_;
        } else {
            int wstatus = 0;
            ::waitpid(pid_, &wstatus, 0);
            result_.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        }
        pid_ = -1;
        return result_;
    }

private:
    static bool set_limit(decltype(RLIMIT_AS) resource, long bytes)
    {
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(bytes);
        return bytes > 0 && ::setrlimit(resource, &limit) == 0;
    }

    // As much of the standard input not yet sent as the pipe takes without
    // waiting; the rest is given up once the child can read no more, as it
    // ends or closes its standard input.
    void send_stdin()
    {
        while (stdin_sent_ < stdin_.size()) {
            ssize_t n = ::write(stdin_fd_, stdin_.data() + stdin_sent_, stdin_.size() - stdin_sent_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            stdin_sent_ = n > 0 ? stdin_sent_ + static_cast<std::size_t>(n) : stdin_.size();
        }
    }

    static bool read_into(int fd, std::string& text)
    {
        char buffer[65536];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        text.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int exited_status_ = -1;  // set when the child was reaped early
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    int stderr_fd_ = -1;
    std::string stdin_;           // all the standard input given, sent from the start
    std::size_t stdin_sent_ = 0;  // how much of it the pipe has taken
    RunResult result_;
};

inline RunResult run_program(const std::vector<std::string>& args, const RunOptions& options = RunOptions())
{
    return ChildProcess(args, options).finish();
}

#endif
