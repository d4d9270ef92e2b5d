# Noms accentués: the bracket lost on line 4 belongs after wide characters.
proc describe {item} {
    set label "café ☕ naïve 😀"
    puts "😀 $label: [string toupper $item"
    return $label
}
