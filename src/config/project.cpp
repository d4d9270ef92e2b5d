#include "config/project.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>

namespace delimcheck::config {

namespace {

constexpr const char *file_names[] = {"delimcheck.toml", ".delimcheck.toml"};

std::string place(const std::string &path, const toml::source_region &at)
{
    return path + ":" + std::to_string(at.begin.line) + ":" + std::to_string(at.begin.column) + ": ";
}

[[noreturn]] void fail(const std::string &path, const toml::node &n, const std::string &what)
{
    throw project_error(place(path, n.source()) + what);
}

bool read_text(const std::string &path, std::string &text, int &error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool boolean(const std::string &path, const toml::node &n, const std::string &key)
{
    if (!n.is_boolean())
        fail(path, n, "'" + key + "' takes true or false");
    return n.as_boolean()->get();
}

std::vector<std::string> strings(const std::string &path, const toml::node &n, const std::string &key)
{
    const toml::array *a = n.as_array();
    if (a == nullptr)
        fail(path, n, "'" + key + "' takes a list of strings");
    std::vector<std::string> out;
    for (const toml::node &e : *a) {
        if (!e.is_string())
            fail(path, e, "'" + key + "' takes a list of strings");
        out.push_back(e.as_string()->get());
    }
    return out;
}

checking::code_set codes(const std::string &path, const toml::node &n, const std::string &key)
{
    const toml::array *a = n.as_array();
    if (a == nullptr)
        fail(path, n, "'" + key + "' takes a list of codes");
    checking::code_set set = 0;
    for (const toml::node &e : *a) {
        std::string bad;
        if (!e.is_string() || !checking::parse_codes(e.as_string()->get(), set, bad) ||
            e.as_string()->get().find(',') != std::string::npos)
            fail(path, e, "'" + key + "' takes codes such as \"wrong-closer\", not " +
                              (e.is_string() ? "'" + e.as_string()->get() + "'" : std::string("this")));
    }
    return set;
}

std::string parent(const std::string &dir) // "/a/b/" to "/a/"; "/" has none
{
    if (dir.size() <= 1)
        return {};
    std::size_t slash = dir.rfind('/', dir.size() - 2);
    return dir.substr(0, slash + 1);
}

bool matches(const std::string &glob, const std::string &relative)
{
    if (fnmatch(glob.c_str(), relative.c_str(), 0) == 0)
        return true;
    // A glob without a slash names files by their names, in any directory below.
    if (glob.find('/') == std::string::npos) {
        std::size_t slash = relative.rfind('/');
        return fnmatch(glob.c_str(), relative.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0) == 0;
    }
    return false;
}

std::string quoted_list(const std::vector<std::string> &words)
{
    std::string s = "[";
    for (const std::string &w : words)
        s += (s.size() > 1 ? ", \"" : "\"") + w + "\"";
    return s + "]";
}

std::string code_words(checking::code_set set)
{
    std::vector<std::string> words;
    std::string list = checking::code_list(set);
    for (std::size_t at = 0; at < list.size();) {
        std::size_t comma = list.find(',', at);
        words.push_back(list.substr(at, comma - at));
        at = comma == std::string::npos ? list.size() : comma + 1;
    }
    return quoted_list(words);
}

} // namespace

project_file read_project_file(const std::string &path)
{
    std::string text;
    int error = 0;
    if (!read_text(path, text, error))
        throw project_error(path + ": cannot be read: " + std::strerror(error));
    toml::table table;
    try {
        table = toml::parse(text, path);
    } catch (const toml::parse_error &e) {
        throw project_error(place(path, e.source()) + std::string(e.description()));
    }
    project_file f;
    f.path = path;
    f.directory = path.substr(0, path.rfind('/') + 1);
    for (auto &&[key, value] : table) {
        const std::string k(key.str());
        if (k == "hash-lines")
            f.hash_lines = boolean(path, value, k);
        else if (k == "backslash-blank")
            f.backslash_blank = boolean(path, value, k);
        else if (k == "balancing")
            f.balancing = boolean(path, value, k);
        else if (k == "string-reports")
            f.string_reports = boolean(path, value, k);
        else if (k == "any-quote-opens")
            f.any_quote_opens = boolean(path, value, k);
        else if (k == "select")
            f.select = codes(path, value, k);
        else if (k == "ignore")
            f.ignore = codes(path, value, k);
        else if (k == "report-unused-directives")
            f.report_unused_directives = boolean(path, value, k);
        else if (k == "severity") {
            std::optional<std::string> s = value.value<std::string>();
            if (!value.is_string() || (*s != "error" && *s != "warning"))
                fail(path, value, "'severity' takes \"error\" or \"warning\"");
            f.threshold = *s == "error" ? severity::error : severity::warning;
        } else if (k == "per-file-ignores") {
            const toml::table *t = value.as_table();
            if (t == nullptr)
                fail(path, value, "'per-file-ignores' takes a table from globs to lists of codes");
            for (auto &&[glob, list] : *t)
                f.per_file_ignores.emplace_back(std::string(glob.str()), codes(path, list, "per-file-ignores"));
        } else if (k == "include")
            f.include = strings(path, value, k);
        else if (k == "extend-include")
            f.extend_include = strings(path, value, k);
        else if (k == "exclude")
            f.exclude = strings(path, value, k);
        else if (k == "hidden")
            f.hidden = boolean(path, value, k);
        else
            throw project_error(place(path, key.source()) + "unknown key '" + k + "'");
    }
    return f;
}

input_settings settle(const command_line_settings &cl, const project_file *file, const std::string &absolute_name)
{
    input_settings s;
    s.check = cl.check;
    const options defaults;
    // A letter only moves its flag away from the default; where it did not, the file decides.
    if (file != nullptr) {
        if (cl.check.hash_lines == defaults.hash_lines && file->hash_lines)
            s.check.hash_lines = *file->hash_lines;
        if (cl.check.warn_backslash_blank == defaults.warn_backslash_blank && file->backslash_blank)
            s.check.warn_backslash_blank = *file->backslash_blank;
        if (cl.check.balancing == defaults.balancing && file->balancing)
            s.check.balancing = *file->balancing;
        if (cl.check.report_in_string == defaults.report_in_string && file->string_reports)
            s.check.report_in_string = *file->string_reports;
        if (cl.check.any_quote_opens == defaults.any_quote_opens && file->any_quote_opens)
            s.check.any_quote_opens = *file->any_quote_opens;
    }
    auto pick = [&](const auto &from_cl, const auto &from_file, auto fallback) {
        return from_cl ? *from_cl : file != nullptr && from_file ? *from_file : fallback;
    };
    s.selection.selected = pick(cl.select, file ? file->select : std::nullopt, checking::all_codes);
    s.selection.ignored = pick(cl.ignore, file ? file->ignore : std::nullopt, checking::code_set{0});
    s.selection.threshold = pick(cl.threshold, file ? file->threshold : std::nullopt, severity::warning);
    s.selection.report_unused_directives =
        cl.report_unused_directives || (file != nullptr && file->report_unused_directives.value_or(false));
    if (file != nullptr && absolute_name.starts_with(file->directory)) {
        std::string relative = absolute_name.substr(file->directory.size());
        for (const auto &[glob, set] : file->per_file_ignores)
            if (matches(glob, relative))
                s.ignored_here |= set;
    }
    return s;
}

std::string absolute_path(const std::string &name, const std::string &working_directory)
{
    // Most names need no step undone: joined as they are (this runs once per input).
    if (!name.empty() && name.find("//") == std::string::npos && name.find("/.") == std::string::npos &&
        !name.starts_with('.') && !name.ends_with('/'))
        return name.starts_with('/') ? name : working_directory == "/" ? "/" + name : working_directory + "/" + name;
    std::string whole = name.starts_with('/') ? name : working_directory + "/" + name;
    // Lexically: "." and empty parts go, ".." takes the part before it.
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= whole.size();) {
        std::size_t slash = whole.find('/', at);
        if (slash == std::string::npos)
            slash = whole.size();
        std::string part = whole.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".")
            parts.push_back(part);
        at = slash + 1;
    }
    std::string out;
    for (const std::string &p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::shared_ptr<const project_file> project_finder::for_input(const std::string &name, bool standard_input)
{
    if (standard_input)
        return for_directory(absolute_path(".", cwd_));
    std::string path = absolute_path(name, cwd_);
    return for_directory(path.substr(0, path.rfind('/') + 1));
}

std::shared_ptr<const project_file> project_finder::for_directory(const std::string &absolute_directory)
{
    std::string dir = absolute_directory.ends_with('/') ? absolute_directory : absolute_directory + "/";
    std::vector<std::string> passed; // directories that learn the answer found above them
    std::shared_ptr<const project_file> found;
    std::unique_lock lock(mutex_);
    for (; !dir.empty(); dir = parent(dir)) {
        if (auto it = known_.find(dir); it != known_.end()) {
            found = it->second;
            break;
        }
        passed.push_back(dir);
        ++lookups_;
        std::string here;
        for (const char *n : file_names) {
            struct stat st;
            if (::stat((dir + n).c_str(), &st) != 0)
                continue;
            if (!here.empty())
                throw project_error(dir + n + ": " + here + " is in the same directory; keep one of the two");
            here = dir + n;
        }
        if (here.empty())
            continue;
        auto it = files_.find(here);
        if (it == files_.end()) {
            lock.unlock(); // reading may take a while; another thread may read the same file
            auto f = std::make_shared<const project_file>(read_project_file(here));
            lock.lock();
            it = files_.emplace(here, std::move(f)).first;
        }
        found = it->second;
        break;
    }
    for (const std::string &d : passed)
        known_.emplace(d, found);
    return found;
}

std::uint64_t project_finder::lookups() const
{
    std::lock_guard lock(mutex_);
    return lookups_;
}

std::string describe(const input_settings &s, const project_file *file, const std::vector<std::string> &include,
                     const std::vector<std::string> &exclude, bool hidden)
{
    auto yes = [](bool b) { return b ? "true" : "false"; };
    std::string t;
    t += "# project file: " + (file != nullptr ? file->path : std::string("none")) + "\n";
    t += std::string("hash-lines = ") + yes(s.check.hash_lines) + "\n";
    t += std::string("backslash-blank = ") + yes(s.check.warn_backslash_blank) + "\n";
    t += std::string("balancing = ") + yes(s.check.balancing) + "\n";
    t += std::string("string-reports = ") + yes(s.check.report_in_string) + "\n";
    t += std::string("any-quote-opens = ") + yes(s.check.any_quote_opens) + "\n";
    t += "select = " + code_words(s.selection.selected) + "\n";
    t += "ignore = " + code_words(s.selection.ignored) + "\n";
    t += std::string("severity = \"") + std::string(severity_name(s.selection.threshold)) + "\"\n";
    t += std::string("report-unused-directives = ") + yes(s.selection.report_unused_directives) + "\n";
    t += "# per-file-ignores that match this file: " + code_words(s.ignored_here) + "\n";
    t += "include = " + quoted_list(include) + "\n";
    t += "exclude = " + quoted_list(exclude) + "\n";
    t += std::string("hidden = ") + yes(hidden) + "\n";
    return t;
}

} // namespace delimcheck::config
