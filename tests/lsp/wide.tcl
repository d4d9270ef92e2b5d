# Grüße: strings of wide characters before the delimiters, so that UTF-16 and bytes part ways.
proc greet {name} {
    set text "Grüße, $name 😀"
    puts "[string length $text] → $text" ]
    foreach word {naïve café 日本語} {
        if {[string length $word] > 4} {
            puts "long: $word ✓"
        puts "done with $word"
    }
    return "fin ✓"
}
set tail "ü" ; # a backslash and blanks end the next line
puts [list a \  
   b]
