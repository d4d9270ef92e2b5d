# Sum the numbers of a list.
proc total {values} {
    set sum 0
    foreach v $values {
        set sum [expr {$sum + $v}
      }
    puts "total: [format %d $sum]"x
    return $sum
}
puts "done
