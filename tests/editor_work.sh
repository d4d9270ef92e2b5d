# Sourced by the editor tests: a scratch folder, removed on exit, with delimcheck on its PATH
# ($bin) and two scripts with faults of every common kind ($src/examples/sample.tcl and one
# more); the test runs in it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$bin" "$work/bin/delimcheck"
cp "$src/examples/sample.tcl" "$work/sample.tcl"
printf 'proc p {} {\n    set a "b ]" \\ \n    }\n}\n' > "$work/second.tcl"
cd "$work"
