// The words of Tcl that the repair search reads a line by: constant tables, so that a rule
// that needs another word adds it here rather than in a literal of its own.
#pragma once

#include <algorithm>
#include <iterator>
#include <string_view>

namespace delimcheck::checking::tcl_words {

// Operators of expr that compare or join two operands: a command substituted into a condition
// mostly ends right before one.
inline constexpr std::string_view binary_operators[] = {"eq", "ne", "==", "!=", "<", ">", "<=", ">=",
                                                        "&&", "||", "in", "ni"};

// Commands that take a script or an expression as the word right after their name, and are
// often the first word of a bracket: [catch {, [time {, [expr {.
inline constexpr std::string_view block_in_bracket[] = {"catch", "time", "try", "expr", "eval", "list", "subst"};

// The command whose one braced word is an expression: its ] mostly follows that word.
inline constexpr std::string_view expression_command = "expr";

// A word that ends a command of foreach's or while's body, after which a lost ] mostly stood:
// foreach {a b} [...] break.
inline constexpr std::string_view loop_exit = "break";

// An index word: end, end-1, end+2.
inline constexpr std::string_view index_end = "end";

// Bytes that make up a separator word on their own: , - / . : ;
inline constexpr std::string_view separator_bytes = "-,.:;/";

template <std::size_t N> constexpr bool one_of(const std::string_view (&table)[N], std::string_view word)
{
    return std::find(std::begin(table), std::end(table), word) != std::end(table);
}

} // namespace delimcheck::checking::tcl_words
