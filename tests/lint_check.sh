#!/usr/bin/env bash
# The shape checks of tools/lint.sh on a scratch tree of its own: each
# FILE:LINE below that the checks must name, and nothing else of the lines
# around it, which they must let pass. The layout check is left out
# (CLANG_FORMAT=true), so that this needs no clang-format.
#
#   lint_check.sh LINT_SH
set -u

if [ $# -ne 1 ]; then
  echo "usage: $0 LINT_SH" >&2
  exit 2
fi
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/src" "$tree/tests" "$tree/fuzz" "$tree/bench" "$tree/tools"
cp "$1" "$tree/tools/lint.sh"

# Files of src/ at and around the limit; a last line without its newline
# counts as a line.
lines() { for ((i = 1; i <= $1; ++i)); do echo "int x$i;"; done; }
lines 300 > "$tree/src/at_limit.cpp"
lines 301 > "$tree/src/over.h"
{ lines 300; printf 'int last;'; } > "$tree/src/unended.cpp"

# OutputForms made every way: a line ending in "// bad" is named, any other passes.
cat > "$tree/tests/forms.cpp" <<'EOF'
struct OutputForm {
class OutputForm {
const OutputForm fits{false, false, true}; // bad
OutputForm{true}; // bad
run(OutputForm{}, OutputForm { false, true }); // bad
OutputForm form = {&row}; // bad
OutputForm const form{&row}; // bad
OutputForm form{ // bad
    &row};
OutputForm form(find_form("csv"));
form = OutputForm{ };
f(OutputForm(), OutputForm( ));
const OutputForm& same{form};
bool OutputForm::*flag = &OutputForm::exact;
std::vector<OutputForm> forms{};
MyOutputForm{true};
// OutputForm{true} in a comment
puts("OutputForm{true}");
EOF
echo 'auto f = OutputForm{&row}; // bad' > "$tree/fuzz/harness.cpp"
echo 'OutputForm f{&row}; // bad' > "$tree/bench/timer.h"
echo 'static const OutputForm DEFAULT = {&ROWS[0]}; // bad' > "$tree/tools/maker.cpp"
echo 'OutputForm f{&row};' > "$tree/doc.txt"

# The bad lines as the report shows them, file by file in the order the
# script reads them (src/*.cpp before src/*.h, then tests, bench, fuzz and
# tools).
expected_forms=$(for file in tests/forms.cpp bench/timer.h fuzz/harness.cpp tools/maker.cpp; do
  grep -n '// bad$' "$tree/$file" | while IFS=: read -r line text; do echo "$file:$line: $text"; done
done)
expected="lint: a file of src/ over 300 lines; split it by job:
src/unended.cpp: 301 lines
src/over.h: 301 lines
lint: an OutputForm filled by position; make it from its row, OutputForm form(find_form(\"csv\")), and name its modifiers, form.exact = true:
$expected_forms"

actual=$(cd "$tree" && CLANG_FORMAT=true bash tools/lint.sh 2>&1)
status=$?
if [ "$actual" != "$expected" ] || [ $status -ne 1 ]; then
  echo "tools/lint.sh said (status $status, 1 wanted):"
  echo "$actual"
  echo "--- where it should have said:"
  echo "$expected"
  exit 1
fi

# A tree with nothing to object to passes, silently.
rm "$tree/src/over.h" "$tree/src/unended.cpp" "$tree/fuzz/harness.cpp" "$tree/bench/timer.h" "$tree/tools/maker.cpp"
sed -i '\%// bad$%d; /^    &row};$/d' "$tree/tests/forms.cpp"
actual=$(cd "$tree" && CLANG_FORMAT=true bash tools/lint.sh 2>&1)
status=$?
if [ -n "$actual" ] || [ $status -ne 0 ]; then
  echo "tools/lint.sh objected to a clean tree (status $status):"
  echo "$actual"
  exit 1
fi
echo "the shape checks name every bad line and nothing else"
