#include "driver/inputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <istream>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>

namespace delimcheck::driver {

namespace {

const char *const script_endings[] = {"*.tcl", "*.tk", "*.tm", "*.test"};

std::string joined(const std::string &dir, const std::string &entry)
{
    return !dir.empty() && dir.back() == '/' ? dir + entry : dir + "/" + entry;
}

// An entry's path below the operand, from its directory's.
std::string relative(const std::string &below, const std::string &entry)
{
    return below.empty() ? entry : below + "/" + entry;
}

// The globs that a shell makes of one with brace alternatives: "*.{tcl,tk}" is "*.tcl" and
// "*.tk"; braces nest, and a brace without a comma at its level, or escaped, is a byte to match.
// Expanded a layer at a time from a list, never by recursion.
std::vector<std::string> brace_alternatives(const std::string &glob)
{
    std::vector<std::string> done, pending{glob};
    while (!pending.empty()) {
        std::string g = std::move(pending.back());
        pending.pop_back();
        // The first brace whose own level holds a comma, and those commas.
        std::size_t open = std::string::npos, close = std::string::npos;
        std::vector<std::size_t> commas;
        std::vector<std::pair<std::size_t, std::vector<std::size_t>>> stack;
        for (std::size_t i = 0; i < g.size() && close == std::string::npos; ++i) {
            if (g[i] == '\\') {
                ++i;
            } else if (g[i] == '{') {
                stack.push_back({i, {}});
            } else if (g[i] == ',' && !stack.empty()) {
                stack.back().second.push_back(i);
            } else if (g[i] == '}' && !stack.empty()) {
                auto [at, level_commas] = std::move(stack.back());
                stack.pop_back();
                if (!level_commas.empty()) {
                    open = at;
                    close = i;
                    commas = std::move(level_commas);
                }
            }
        }
        if (close == std::string::npos) {
            done.push_back(std::move(g));
            continue;
        }
        std::size_t from = open + 1;
        commas.push_back(close);
        for (std::size_t cut : commas) {
            pending.push_back(g.substr(0, open) + g.substr(from, cut - from) + g.substr(close + 1));
            from = cut + 1;
        }
    }
    std::reverse(done.begin(), done.end()); // in the order they were written
    return done;
}

std::vector<std::string> expanded(const std::vector<std::string> &globs)
{
    std::vector<std::string> all;
    for (const std::string &g : globs)
        for (std::string &e : brace_alternatives(g))
            all.push_back(std::move(e));
    return all;
}

bool is_directory(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

input_list::input_list(const run_config &config, int stdin_fd)
    : config_(config), stdin_fd_(stdin_fd)
{
    walk_rules r;
    r.includes = expanded(config.includes);
    r.excludes = expanded(config.excludes);
    r.hidden = config.hidden;
    rules_ = std::make_shared<const walk_rules>(std::move(r));
    if (config.files_from.empty())
        return;
    if (config.files_from == "-") {
        list_fd_ = stdin_fd;
        return;
    }
    list_fd_ = ::open(config.files_from.c_str(), O_RDONLY | O_CLOEXEC);
    if (list_fd_ < 0)
        failure_ = "cannot open the list " + config.files_from + ": " + std::strerror(errno);
}

input_list::~input_list()
{
    if (list_fd_ >= 0 && list_fd_ != stdin_fd_)
        ::close(list_fd_);
}

int read_all(int fd, std::string &bytes)
{
    char block[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes.append(block, static_cast<std::size_t>(n));
    }
}

read_result read_input(const input &in, int stdin_fd, const std::function<int(int fd)> &read)
{
    read_result r;
    if (in.standard_input) {
        r.read_error = read(stdin_fd);
        return r;
    }
    if (in.access_error != 0) {
        r.access_error = in.access_error;
        return r;
    }
    int fd = ::open(in.name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        r.access_error = errno;
        return r;
    }
    r.read_error = read(fd);
    ::close(fd);
    // A directory opens like a file and fails at its first read; it must not pass as a clean
    // file, and counts as one that cannot be opened. Telling it by its read spares a stat of
    // every file.
    if (r.read_error == EISDIR) {
        r.access_error = EISDIR;
        r.read_error = 0;
    }
    return r;
}

namespace {

// The bytes read to look for a mark, then the rest of a stream that cannot seek back to them.
class after_prefix final : public std::streambuf {
public:
    after_prefix(std::string prefix, int fd) : prefix_(std::move(prefix)), fd_(fd)
    {
        setg(prefix_.data(), prefix_.data(), prefix_.data() + prefix_.size());
    }
    int error() const { return error_; }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        for (;;) {
            ssize_t n = ::read(fd_, block_, sizeof block_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : 0;
                return traits_type::eof();
            }
            setg(block_, block_, block_ + n);
            return traits_type::to_int_type(*gptr());
        }
    }

private:
    std::string prefix_;
    int fd_;
    int error_ = 0;
    char block_[1 << 16];
};

} // namespace

bool read_small(int fd, std::vector<char> &buffer, std::string_view &bytes)
{
    ssize_t n;
    do
        n = ::pread(fd, buffer.data(), buffer.size(), 0);
    while (n < 0 && errno == EINTR);
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size())
        return false;
    // A short read is the end only when the next one says so: some files (in /proc, say) come
    // in pieces.
    char more;
    ssize_t after;
    do
        after = ::pread(fd, &more, 1, n);
    while (after < 0 && errno == EINTR);
    if (after != 0)
        return false;
    bytes = std::string_view(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

int check_past_mark(int fd, checker &c, const std::function<int(int fd)> &pipe)
{
    char start[3];
    ssize_t n;
    do
        n = ::pread(fd, start, sizeof start, 0);
    while (n < 0 && errno == EINTR);
    if (n >= 0) {
        // A file, which the checker reads from where the mark ends.
        if (std::string_view(start, static_cast<std::size_t>(n)) == byte_order_mark &&
            ::lseek(fd, static_cast<off_t>(byte_order_mark.size()), SEEK_SET) < 0)
            return errno;
        return c.check_fd(fd).read_error;
    }
    if (errno != ESPIPE)
        return c.check_fd(fd).read_error; // its own read says what is wrong (a directory, ...)
    if (pipe)
        return pipe(fd);
    // A pipe or a terminal: the first bytes are read here, and handed on unless they are a mark.
    std::string prefix;
    while (prefix.size() < byte_order_mark.size()) {
        ssize_t got = ::read(fd, start, byte_order_mark.size() - prefix.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        prefix.append(start, static_cast<std::size_t>(got));
        if (!byte_order_mark.starts_with(prefix))
            break;
    }
    if (prefix == byte_order_mark)
        return c.check_fd(fd).read_error;
    after_prefix rest(std::move(prefix), fd);
    std::istream in(&rest);
    c.check(in);
    return rest.error();
}

bool input_list::next(input &in)
{
    in = input{};
    if (!failure_.empty())
        return false;
    if (!started_) {
        started_ = true;
        if (config_.operands.empty() && config_.files_from.empty()) {
            in.standard_input = true;
            return true;
        }
    }
    for (;;) {
        if (!walk_.empty()) {
            if (walk(in)) {
                ++walk_found_;
                return true;
            }
            if (walk_.empty() && walk_found_ == 0)
                problems_.push_back("no file to check below " + walk_operand_ +
                                    " (the walk takes " +
                                    (config_.includes.empty() ? std::string("*.tcl, *.tk, *.tm and *.test") : "what --include names") +
                                    ")");
            continue;
        }
        std::string name;
        bool listed = false;
        if (!next_operand(name)) {
            if (!next_listed(name)) {
                if (!config_.files_from.empty() && listed_ == 0 && !list_empty_said_ && failure_.empty()) {
                    list_empty_said_ = true;
                    problems_.push_back("the list " +
                                        (config_.files_from == "-" ? std::string("on standard input") : config_.files_from) +
                                        " names no file");
                }
                return false;
            }
            listed = true;
        }
        listed_ += listed;
        if (config_.recursive && is_directory(name)) {
            std::shared_ptr<const walk_rules> rules = rules_for(name);
            enter(name, rules->below, rules, in);
            if (in.access_error != 0)
                return true;
            walk_operand_ = name;
            walk_found_ = 0;
            continue;
        }
        in.name = std::move(name);
        return true;
    }
}

bool input_list::next_operand(std::string &name)
{
    if (operand_ == config_.operands.size())
        return false;
    name = config_.operands[operand_++];
    return true;
}

// One name at a time from the list; empty names are skipped.
bool input_list::next_listed(std::string &name)
{
    const char end = config_.null_separated ? '\0' : '\n';
    while (list_fd_ >= 0) {
        std::size_t cut = list_buffer_.find(end, list_pos_);
        if (cut == std::string::npos && !list_at_end_) {
            list_buffer_.erase(0, list_pos_);
            list_pos_ = 0;
            char chunk[1 << 14];
            ssize_t got = ::read(list_fd_, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                failure_ = "error reading the list " + config_.files_from + ": " + std::strerror(errno);
                return false;
            }
            if (got == 0)
                list_at_end_ = true;
            list_buffer_.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (cut == std::string::npos)
            cut = list_buffer_.size(); // the last name may lack its terminator
        if (cut == list_pos_ && list_pos_ == list_buffer_.size())
            return false;
        name.assign(list_buffer_, list_pos_, cut - list_pos_);
        list_pos_ = std::min(cut + 1, list_buffer_.size());
        if (!config_.null_separated && !name.empty() && name.back() == '\r')
            name.pop_back(); // a list written on Windows ends its lines with CR LF
        if (!name.empty())
            return true;
    }
    return false;
}

std::shared_ptr<const walk_rules> input_list::rules_for(const std::string &directory)
{
    if (!rules_for_)
        return rules_;
    walk_rules r = rules_for_(directory);
    for (auto *globs : {&r.includes, &r.extend_includes, &r.excludes})
        *globs = expanded(*globs);
    return std::make_shared<const walk_rules>(std::move(r));
}

bool input_list::wanted(const walk_rules &rules, const std::string &entry)
{
    auto match = [&](const std::string &glob) { return fnmatch(glob.c_str(), entry.c_str(), 0) == 0; };
    if (std::any_of(rules.extend_includes.begin(), rules.extend_includes.end(), match))
        return true;
    if (rules.includes.empty())
        return std::any_of(std::begin(script_endings), std::end(script_endings),
                           [&](const char *glob) { return fnmatch(glob, entry.c_str(), 0) == 0; });
    return std::any_of(rules.includes.begin(), rules.includes.end(), match);
}

// Hidden names (.git, an editor's .swp) and the excluded ones are left out of the walk, files
// and directories alike; an operand never is, even ".". Each glob of --exclude is matched
// against the name and against the path below the operand (or below the nested project file
// whose rules they are), so that "vendor" skips every directory of that name and "lib/vendor"
// only that one.
bool input_list::skipped(const walk_rules &rules, const std::string &below, const std::string &entry)
{
    if (!rules.hidden && entry.front() == '.')
        return true;
    if (rules.excludes.empty())
        return false;
    const std::string path = relative(below, entry);
    return std::any_of(rules.excludes.begin(), rules.excludes.end(), [&](const std::string &glob) {
        return fnmatch(glob.c_str(), entry.c_str(), 0) == 0 || fnmatch(glob.c_str(), path.c_str(), 0) == 0;
    });
}

// Opens a directory of the walk and reads its names, sorted, so that the order is the same on
// every file system. A directory that cannot be read is handed back as an input that cannot be
// accessed, and the walk goes on without it.
void input_list::enter(const std::string &path, const std::string &below, std::shared_ptr<const walk_rules> rules,
                       input &failed)
{
    DIR *d = opendir(path.c_str());
    if (d == nullptr) {
        failed.name = path;
        failed.access_error = errno;
        return;
    }
    directory dir{path, below, {}, 0, std::move(rules)};
    // errno is cleared before each readdir, since what the loop calls between them (fnmatch, an
    // allocation) may set it: only readdir's own end tells a failed read from the last entry.
    int read_error = 0;
    for (;;) {
        errno = 0;
        const struct dirent *e = readdir(d);
        if (e == nullptr) {
            read_error = errno;
            break;
        }
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 && !skipped(*dir.rules, below, e->d_name))
            dir.entries.emplace_back(e->d_name);
    }
    closedir(d);
    if (read_error != 0) {
        failed.name = path;
        failed.access_error = read_error;
        return;
    }
    std::sort(dir.entries.begin(), dir.entries.end());
    walk_.push_back(std::move(dir));
}

// The next file of the walk. A link to a directory is not followed, so the walk cannot loop;
// a link to a file counts as the file. Anything but directories and regular files is passed by.
bool input_list::walk(input &in)
{
    directory &dir = walk_.back();
    if (dir.next == dir.entries.size()) {
        walk_.pop_back();
        return false;
    }
    const std::string entry = dir.entries[dir.next++];
    std::string path = joined(dir.path, entry);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        in.name = std::move(path);
        in.access_error = errno;
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        // A project file in the directory governs the walk below it, its globs from there.
        std::shared_ptr<const walk_rules> rules = dir.rules;
        std::string below = relative(dir.below, entry);
        if (rules_for_) {
            std::shared_ptr<const walk_rules> own = rules_for(path);
            if (own->source != rules->source) {
                below = own->below;
                rules = std::move(own);
            }
        }
        enter(path, below, std::move(rules), in);
        return in.access_error != 0;
    }
    if (!wanted(*dir.rules, entry))
        return false;
    if (S_ISLNK(st.st_mode) && stat(path.c_str(), &st) != 0) {
        in.name = std::move(path); // a dangling link that names a script: it cannot be read
        in.access_error = errno;
        return true;
    }
    if (!S_ISREG(st.st_mode))
        return false;
    in.name = std::move(path);
    return true;
}

} // namespace delimcheck::driver
