// Tcl's own reading rules: how Tcl splits a script into commands and words, and where it gives
// up. The checker's nesting rules are stricter than Tcl's; this says what Tcl itself accepts,
// so that a repair can be told apart from a change to code that Tcl reads fine.
//
// The rules are Tcl's twelve: commands end at a newline or a semicolon, words at blanks; a
// word that begins with { ends at its matching } and one that begins with " at the next ", and
// each must be followed by a blank, a command's end or, in a command substitution, its ];
// [ begins a script that ends at its ]; $ reads a variable's name, ${name} or name(index); a
// backslash escapes the byte after it, and a backslash-newline with the blanks after it is a
// blank; # begins a comment only where a command begins, and it runs to the end of its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace delimcheck::tcl {

// Why Tcl's parser rejects a script, with Tcl's own words in comments.
enum class break_kind : std::uint8_t {
    none,
    missing_close_brace,    // "missing close-brace": a braced word never closed
    missing_quote,          // "missing \"": a quoted word never closed
    missing_close_bracket,  // "missing close-bracket": a command substitution never closed
    missing_paren,          // "missing )": an array index never closed
    missing_variable_brace, // "missing close-brace for variable name": ${ never closed
    extra_after_brace,      // "extra characters after close-brace"
    extra_after_quote,      // "extra characters after close-quote"
};

// Where Tcl stops reading. Offsets count bytes from the start of the text.
struct reading_break {
    break_kind kind = break_kind::none;
    // The opener of what fails: the brace, quote, bracket, $ or parenthesis left open, or the
    // brace or quote that begins the word followed by extra characters.
    std::size_t opener = 0;
    // Where reading stops: the end of the script left open, or the byte after the close-brace
    // or close-quote.
    std::size_t at = 0;

    explicit operator bool() const { return kind != break_kind::none; }
    // Whether more text could mend it: what makes `info complete` false.
    bool incomplete() const
    {
        return kind != break_kind::none && kind != break_kind::extra_after_brace && kind != break_kind::extra_after_quote;
    }
};

// Tcl's words for a break, as its parser gives them.
std::string_view break_message(break_kind kind);

// What Tcl makes of the text as one script at the level it is sourced at, its command
// substitutions included but no braced body: the first break, if any.
reading_break read_script(std::string_view text);

// What `info complete` answers for the text.
bool complete(std::string_view text);

// How Tcl treats a byte of the text, as the whole reading below sees it.
enum class byte_role : std::uint8_t {
    code,    // read as part of a script that Tcl reads or runs; or in a braced condition, expr's
             // braced argument or a procedure's arguments, on one line
    comment, // in a comment of such a script
    literal, // in a braced word that is not run here as a script, or after a break; and in
             // brackets that hold a command ended by a newline, where one is easily misread
};

// The text read where Tcl reads or runs it: the script itself, and the braced bodies that the
// commands below run as scripts, wherever they stand in a script read so:
//   proc NAME ARGS BODY; namespace eval NS BODY; catch BODY ?...?; eval BODY; time BODY ?N?;
//   uplevel ?LEVEL? BODY; while COND BODY; for START COND NEXT BODY (START, NEXT and BODY);
//   foreach/lmap VARS LIST ?VARS LIST ...? BODY; if COND ?then? BODY ?elseif COND ?then? BODY
//   ...? ??else? BODY?; try BODY ?on CODE VARS BODY? ?trap PATTERN VARS BODY? ?finally BODY?;
//   switch ?OPTIONS? STRING PATTERN BODY ?PATTERN BODY ...?, or switch ?OPTIONS? STRING {PATTERN
//   BODY ...}, whose list is split as Tcl splits a list (OPTIONS: -exact, -glob, -regexp,
//   -nocase, -matchvar V, -indexvar V, --); dict for/map VARS DICT BODY; dict with VAR ?KEY
//   ...? BODY; dict update VAR KEY NAME ?KEY NAME ...? BODY; oo::class create NAME DEFINITION;
//   oo::define/oo::objdefine NAME DEFINITION, and NAME followed by one of these, which are
//   also what a DEFINITION's commands are read for: method NAME ARGS BODY; constructor ARGS
//   BODY; destructor BODY.
//   The classes of tcllib's snit and of [incr Tcl] likewise: snit::type/snit::widget/
//   snit::widgetadaptor NAME DEFINITION, whose commands are method/typemethod/proc NAME ARGS
//   BODY, onconfigure OPTION ARGS BODY, oncget OPTION BODY, constructor ARGS BODY, destructor
//   BODY and typeconstructor BODY; snit::method/snit::typemethod TYPE NAME ARGS BODY; snit::macro
//   NAME ARGS BODY; itcl::class NAME DEFINITION, whose commands, after a public, protected or
//   private, are method/proc NAME ARGS BODY, constructor ARGS ?INIT? BODY and destructor BODY;
//   itcl::body NAME ARGS BODY; itcl::configbody NAME BODY.
//   In switch's list, the blanks and the bodies' braces are code, the patterns data.
// A body counts only when it is one braced word (or braced list element), the command's name is
// plain (with or without a leading ::) and the command has the shape above; anything else is
// left alone, so that a break is never claimed where Tcl might not read the code as a script. Conditions
// and expressions are not read, nor bodies nested in more than 48 others.
struct reading {
    // The break that stops earliest in the text, over the script and every body read.
    reading_break first;
    // For each probe offset asked for, in the order given, how Tcl treats that byte.
    std::vector<byte_role> roles;
    // Where the earliest command stands, of those read as above, that Tcl reads but refuses to
    // run, or npos: proc, while, for, foreach, lmap, namespace eval or if with the wrong number
    // of words (an if without a body, say), or a command named by a braced word that is empty
    // or holds a blank, as {} or {set a b}.
    std::size_t misshapen = std::string_view::npos;
};

reading read_where_run(std::string_view text, std::span<const std::size_t> probes = {});

} // namespace delimcheck::tcl
