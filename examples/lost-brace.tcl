# Count the words of each file named on the command line.
proc count_words {path} {
    set f [open $path]
    set n 0
    while {[gets $f line] >= 0} {
        foreach word [split $line] {
            if {$word ne ""} {
                incr n
            }
        }
    close $f
    return $n
}

proc report {paths} {
    foreach path $paths {
        puts "$path: [count_words $path]"
    }
}

report $argv
