# Tcl's own verdict on scripts, for the reader's tests. Reads cases from the file named first,
# each as its length in bytes on a line and then its bytes, and writes one line per case:
# what `info complete` answers, a tab, and the message of the first parse error that Tcl's
# compiler meets in the script ("ok" when none). The script is compiled, never run.
set in [open [lindex $argv 0] rb]
while {[gets $in length] >= 0} {
    set text [read $in $length]
    set verdict ok
    if {[catch {tcl::unsupported::disassemble script $text} code]} {
        set verdict "compile failed: $code"
    } else {
        # The message is pushed as a literal, then the return options, then comes the syntax
        # instruction.
        set literals {}
        foreach line [split $code \n] {
            if {[regexp {^\s*\(\d+\) syntax } $line]} {
                set verdict [lindex $literals end-1]
                break
            }
            if {[regexp {# "(.*)"$} $line -> literal]} {
                lappend literals [subst -nocommands -novariables $literal]
            }
        }
    }
    puts "[info complete $text]\t$verdict"
}
