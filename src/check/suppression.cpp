#include "check/suppression.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "scan/byte_classes.h"

namespace delimcheck::checking {

namespace {

constexpr std::string_view marker = "delimcheck:";


bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool parse_codes(std::string_view list, code_set &set, std::string &bad)
{
    code_set got = 0;
    for (;;) {
        std::size_t comma = list.find(',');
        std::string_view word = trimmed(list.substr(0, comma));
        diagnostic_kind k{};
        if (!kind_of_code(word, k)) {
            bad = word;
            return false;
        }
        got |= code_bit(k);
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    set |= got;
    return true;
}

std::string code_list(code_set set)
{
    std::string s;
    for (int k = 0; k < all_kind_count; ++k)
        if (set & code_bit(static_cast<diagnostic_kind>(k))) {
            if (!s.empty())
                s += ',';
            s += code(static_cast<diagnostic_kind>(k));
        }
    return s;
}

// Most of an input is neither the comment lines at its top nor near a marker: there only the
// line ends are counted, and no line is looked at or kept.
void directive_reader::feed(std::string_view bytes)
{
    // The rest of a line begun in the last piece.
    if (!line_.empty() || partial_) {
        std::size_t nl = bytes.find('\n');
        std::string_view part = bytes.substr(0, nl);
        if (line_.size() < longest_kept)
            line_.append(part.substr(0, longest_kept - line_.size()));
        partial_ = true;
        if (nl == std::string_view::npos)
            return;
        partial_ = false;
        line_done(line_);
        line_.clear();
        bytes.remove_prefix(nl + 1);
    }
    std::size_t last = bytes.rfind('\n');
    std::string_view whole = last == std::string_view::npos ? std::string_view() : bytes.substr(0, last + 1);
    std::string_view rest = bytes.substr(whole.size());
    while (in_header_ && !whole.empty()) {
        std::size_t nl = whole.find('\n');
        line_done(whole.substr(0, nl));
        whole.remove_prefix(nl + 1);
    }
    for (std::size_t m; (m = find_marker(whole)) != std::string_view::npos;) {
        std::size_t start = whole.rfind('\n', m);
        start = start == std::string_view::npos ? 0 : start + 1;
        line_number_ += count_lines(whole.substr(0, start));
        std::size_t end = whole.find('\n', m);
        line_done(whole.substr(start, end - start));
        whole.remove_prefix(end + 1);
    }
    line_number_ += count_lines(whole);
    if (!rest.empty()) {
        partial_ = true;
        line_.assign(rest.substr(0, longest_kept));
    }
}

std::int64_t directive_reader::count_lines(std::string_view s) { return std::count(s.begin(), s.end(), '\n'); }

namespace {

std::size_t find_marker_rest(const char *p, std::size_t n, std::size_t from)
{
    if (n - from < marker.size())
        return std::string_view::npos; // an empty view may have no data to pass memmem
    const void *at = ::memmem(p + from, n - from, marker.data(), marker.size());
    return at == nullptr ? std::string_view::npos : static_cast<std::size_t>(static_cast<const char *>(at) - p);
}

#if defined(__x86_64__)
// The marker's first byte and its last, compared at their distance over a whole vector: few
// places in scripts pass both, and only those are compared in full. This runs over a whole
// input at its first finding, so it is kept well below a byte's worth of work.
constexpr std::size_t marker_last = marker.size() - 1;

// Candidates are the bits of mask, for p[i, i + 64).
std::size_t first_whole(const char *p, std::size_t i, std::uint64_t mask)
{
    for (; mask != 0; mask &= mask - 1) {
        std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
        if (std::memcmp(p + at + 1, marker.data() + 1, marker_last - 1) == 0)
            return at;
    }
    return std::string_view::npos;
}

__attribute__((target("avx2"))) std::size_t find_marker_avx2(const char *p, std::size_t n)
{
    const __m256i first = _mm256_set1_epi8(marker.front());
    const __m256i last = _mm256_set1_epi8(marker.back());
    std::size_t i = 0;
    for (; i + 64 + marker_last <= n; i += 64) {
        const char *q = p + i;
        __m256i lo = _mm256_and_si256(
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)), first),
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + marker_last)), last));
        __m256i hi = _mm256_and_si256(
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32)), first),
            _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32 + marker_last)), last));
        __m256i any = _mm256_or_si256(lo, hi);
        if (_mm256_testz_si256(any, any))
            continue;
        std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
                             std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))} << 32;
        if (std::size_t at = first_whole(p, i, mask); at != std::string_view::npos)
            return at;
    }
    return find_marker_rest(p, n, i);
}

std::size_t find_marker_sse2(const char *p, std::size_t n)
{
    const __m128i first = _mm_set1_epi8(marker.front());
    const __m128i last = _mm_set1_epi8(marker.back());
    auto both = [&](std::size_t at) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at + marker_last));
        return _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last));
    };
    std::size_t i = 0;
    for (; i + 64 + marker_last <= n; i += 64) {
        __m128i m0 = both(i), m1 = both(i + 16), m2 = both(i + 32), m3 = both(i + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) == 0)
            continue;
        auto bits = [](__m128i m) { return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(m))}; };
        std::uint64_t mask = bits(m0) | bits(m1) << 16 | bits(m2) << 32 | bits(m3) << 48;
        if (std::size_t at = first_whole(p, i, mask); at != std::string_view::npos)
            return at;
    }
    return find_marker_rest(p, n, i);
}
#endif

} // namespace

std::size_t find_marker(std::string_view bytes, simd_level level)
{
    static_assert(marker.size() == marker_size);
    if (level == simd_level::best || level > scan::best_simd_level())
        level = scan::best_simd_level();
#if defined(__x86_64__)
    if (level == simd_level::avx2)
        return find_marker_avx2(bytes.data(), bytes.size());
    if (level == simd_level::sse2)
        return find_marker_sse2(bytes.data(), bytes.size());
#endif
    return find_marker_rest(bytes.data(), bytes.size(), 0);
}

void directive_reader::finish()
{
    if (partial_) {
        line_done(line_);
        line_.clear();
        partial_ = false;
    }
}

void directive_reader::line_done(std::string_view line)
{
    std::size_t first = 0;
    while (first < line.size() && blank(line[first]))
        ++first;
    const bool comment_line = first < line.size() && line[first] == '#';
    if (first < line.size() && !comment_line)
        in_header_ = false;
    // Most lines hold no directive: one search for the marker decides.
    for (std::size_t from = 0, m; (m = line.find(marker, from)) != std::string_view::npos; from = m + 1) {
        std::size_t hash = m;
        while (hash > 0 && blank(line[hash - 1]))
            --hash;
        if (hash == 0 || line[hash - 1] != '#')
            continue;
        --hash;
        std::size_t before = hash;
        while (before > 0 && blank(line[before - 1]))
            --before;
        if (before == 0)
            parse_at(line, hash, true);
        else if (line[before - 1] == ';')
            parse_at(line, hash, false);
        break; // one directive a line: anything after the first is its comment's words
    }
    ++line_number_;
}

// The directive whose '#' is at `hash` in the current line.
void directive_reader::parse_at(std::string_view line, std::size_t hash, bool own_line)
{
    std::string_view rest = line;
    rest.remove_prefix(hash + 1);
    rest.remove_prefix(rest.find(marker) + marker.size());
    diagnostic bad;
    bad.kind = diagnostic_kind::bad_directive;
    bad.at = {line_number_, static_cast<std::int64_t>(hash) + 1};
    // What ends the directive: " -- " and the reasons, or nothing but blanks.
    if (std::size_t reason = rest.find(" --"); reason != std::string_view::npos)
        rest = rest.substr(0, reason);
    rest = trimmed(rest);
    std::size_t verb_end = 0;
    while (verb_end < rest.size() && ((rest[verb_end] >= 'a' && rest[verb_end] <= 'z') || rest[verb_end] == '-'))
        ++verb_end;
    std::string_view verb = rest.substr(0, verb_end);
    std::string_view codes = trimmed(rest.substr(verb_end));
    directive d;
    d.at = bad.at;
    if (!codes.empty()) {
        std::string unknown;
        d.codes = 0;
        if (codes.front() != '=' || !parse_codes(codes.substr(1), d.codes, unknown)) {
            malformed.push_back(bad);
            return;
        }
    }
    if (verb == "ignore") {
        d.where = own_line ? directive::scope::next_line : directive::scope::this_line;
        d.line = own_line ? line_number_ + 1 : line_number_;
    } else if (verb == "ignore-file" && own_line && in_header_) {
        d.where = directive::scope::file;
        whole_file.push_back(d);
        return;
    } else {
        malformed.push_back(bad);
        return;
    }
    directives.push_back(d);
}

void suppressing_sink::begin_input(const selection &s, code_set ignored_here, loader load)
{
    selection_ = s;
    ignored_here_ = ignored_here;
    load_ = std::move(load);
    loaded_ = false;
    reader_ = {};
}

const directive_reader &suppressing_sink::directives()
{
    if (!loaded_) {
        loaded_ = true;
        if (load_) {
            load_(reader_);
            reader_.finish();
        }
    }
    return reader_;
}

directive *suppressing_sink::covering(std::int64_t line, diagnostic_kind k)
{
    directives();
    for (directive &d : reader_.whole_file)
        if (d.codes & code_bit(k))
            return &d;
    if (line == 0)
        return nullptr;
    std::vector<directive> &all = reader_.directives;
    auto it = std::lower_bound(all.begin(), all.end(), line,
                               [](const directive &d, std::int64_t l) { return d.line < l; });
    for (; it != all.end() && it->line == line; ++it)
        if (it->codes & code_bit(k))
            return &*it;
    return nullptr;
}

sink_answer suppressing_sink::report(const diagnostic &found)
{
    diagnostic_kind k = found.kind;
    if (!selection_.reports(k) || (ignored_here_ & code_bit(k))) {
        diagnostic d = found;
        d.suppressed = suppression::external;
        return next_.report(d);
    }
    if (k == diagnostic_kind::cannot_access || k == diagnostic_kind::read_error)
        return next_.report(found);
    directive *by = covering(found.at.line, k);
    // A report at the end of the input also belongs to the line of the opener it is about.
    if (by == nullptr && k == diagnostic_kind::missing_closer)
        by = covering(found.opener.line, k);
    if (by == nullptr)
        return next_.report(found);
    by->used = true;
    diagnostic d = found;
    d.suppressed = suppression::in_source;
    return next_.report(d);
}

void suppressing_sink::pass(diagnostic d)
{
    if (!selection_.reports(d.kind) || (ignored_here_ & code_bit(d.kind)))
        d.suppressed = suppression::external;
    next_.report(d);
}

void suppressing_sink::end_input()
{
    if (!loaded_ && !selection_.report_unused_directives)
        return; // nothing was found, and nothing asks for the directives
    const directive_reader &r = directives();
    // Malformed and unused in the order of their lines.
    std::vector<diagnostic> late = r.malformed;
    if (selection_.report_unused_directives)
        for (const auto *list : {&r.whole_file, &r.directives})
            for (const directive &d : *list)
                if (!d.used) {
                    diagnostic u;
                    u.kind = diagnostic_kind::unused_directive;
                    u.at = d.at;
                    late.push_back(u);
                }
    std::stable_sort(late.begin(), late.end(), [](const diagnostic &a, const diagnostic &b) {
        return a.at.line < b.at.line;
    });
    for (const diagnostic &d : late)
        pass(d);
}

} // namespace delimcheck::checking
