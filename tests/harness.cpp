#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/cli.h"
#include "driver/run.h"
#include "format/output.h"
#include "scan/byte_classes.h"

std::string run_in_process(const std::vector<std::string> &args, std::string_view input, scanner_kind kind,
                           simd_level level)
{
    std::vector<std::string> storage{"delimcheck"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    delimcheck::driver::run_config config =
        delimcheck::driver::parse_command_line(static_cast<int>(storage.size()), argv.data(), stderr).config;
    config.check.scanner = kind;
    config.check.simd = level;

    std::FILE *in = std::tmpfile();
    if (in == nullptr)
        throw std::runtime_error("tmpfile failed");
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    std::rewind(in);

    std::string out;
    delimcheck::format::string_destination dest(out);
    delimcheck::driver::run(config, fileno(in), dest, stderr);
    std::fclose(in);
    return out;
}

std::vector<simd_level> available_levels()
{
    simd_level best = delimcheck::scan::best_simd_level();
    std::vector<simd_level> levels{simd_level::scalar};
    if (best != simd_level::scalar)
        levels.push_back(simd_level::sse2);
    if (best == simd_level::avx2)
        levels.push_back(simd_level::avx2);
    return levels;
}

std::string run_checked(const std::vector<std::string> &args, std::string_view input)
{
    std::string plain = run_in_process(args, input, scanner_kind::plain);
    for (simd_level level : available_levels()) {
        std::string fast = run_in_process(args, input, scanner_kind::fast, level);
        EXPECT_EQ(fast, plain) << "the fast scanner at level " << static_cast<int>(level)
                               << " disagrees with the plain one";
    }
    return plain;
}

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

process_result run_binary(const std::vector<std::string> &args, std::string_view input, const std::string &cwd,
                          const std::string &stdout_path)
{
    temp_dir io;
    std::string in_path = io.write("stdin", input);
    std::string out_path = stdout_path.empty() ? io.path + "/stdout" : stdout_path;
    std::string err_path = io.path + "/stderr";

    pid_t pid = fork();
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        std::vector<std::string> storage{DELIMCHECK_BINARY};
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &s : storage)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int wstatus = 0;
    struct rusage usage {};
    wait4(pid, &wstatus, 0, &usage);
    process_result r;
    r.peak_kib = usage.ru_maxrss;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (stdout_path.empty())
        r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

temp_dir::temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "delimcheck-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

std::string temp_dir::write(const std::string &name, std::string_view bytes) const
{
    std::string p = path + "/" + name;
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::string case_name(std::string_view s)
{
    std::string r;
    for (char c : s)
        r += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return r;
}
