# Tcl's own verdict on scripts, for the reader's tests. Reads cases from the file named first,
# each as its length in bytes on a line and then its bytes, and writes one line per case:
# what `info complete` answers, a tab, and a verdict.
#
# By default the verdict is the message of the first parse error that Tcl's compiler meets in
# the script ("ok" when none): the script is compiled, never run. With "run" after the file's
# name, the script is run in an interpreter of its own where every unknown command does
# nothing and the variables v, {v w}, a(x), a(1), i and ::n::v exist, and the verdict is the
# message of the error that ends it ("ok" when none): the bodies that the script's commands
# run are then parsed by Tcl as it runs them. A script that names snit:: or itcl:: has the
# package loaded first, where it is installed.
set in [open [lindex $argv 0] rb]
set run [expr {[lindex $argv 1] eq "run"}]
while {[gets $in length] >= 0} {
    set text [read $in $length]
    set verdict ok
    if {$run} {
        set child [interp create]
        # Before unknown does nothing, which would keep a package's loader from loading it.
        foreach {word package} {snit:: snit itcl:: Itcl} {
            if {[string first $word $text] >= 0} {
                catch {$child eval [list package require $package]}
            }
        }
        $child eval {
            proc unknown args {}
            set v 1
            set {v w} 1
            array set a {x 1 1 1}
            set i 1
            namespace eval n {variable v 1}
        }
        if {[catch {$child eval $text} message]} {
            set verdict [lindex [split $message \n] 0]
        }
        interp delete $child
    } elseif {[catch {tcl::unsupported::disassemble script $text} code]} {
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
