# A small script with a few nesting mistakes.
proc greet {name} {
    puts "Hello, $name!"
    if {[string length $name] > 10} {
        puts "That is a long name"
    }
}

proc total {values} {
    set sum 0
    foreach v $values {
        set sum [expr {$sum + $v}
    }
    return $sum
}

proc report {items} {
    foreach item $items {
        puts "item: [lindex $item 0]"x
    }
    puts "done ]"
}
