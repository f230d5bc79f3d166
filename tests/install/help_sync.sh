#!/usr/bin/env bash
# The options and keys are the same set in the program's --help, in the manual page and in
# the README (its option list and its keys table).
# Usage: help_sync.sh GLOWVIEW MANUAL_PAGE README
set -uo pipefail

glowview="$1"
manual="$2"
readme="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Lines of names separated by ", " become one name a line, sorted.
one_a_line() { sed 's/, /\n/g' | sed '/^$/d' | sort -u; }

help="$(DISPLAY= "$glowview" --help)" || fail "--help ended with status $?"
# The usage's sections: names in the first column, up to two spaces before the description.
help_section() {  # heading
  awk -v heading="$1" '$0 == heading {on = 1; next} /^$/ {on = 0} on' <<<"$help"
}
help_options="$(help_section 'Options:' | grep '^ *-' | sed -E 's/^ +//; s/ {2,}.*//' | one_a_line)"
help_keys="$( {
  help_section 'Keys:' | grep -v '^ *mouse' | sed -E 's/^ +//; s/ {2,}.*//'
  help_section 'Keys:' | grep -oE '\(also [^)]+\)' | sed -E 's/^\(also //; s/\)$//'
} | one_a_line)"

# The manual page's tags: the line after each .TP of a section, font requests and quotes gone.
manual_section() {  # section name
  awk -v name="$1" '/^\.SH / {on = ($0 == ".SH " name); next} on && tp {print; tp = 0} on && /^\.TP/ {tp = 1}' "$manual" |
    sed -E 's/^\.(B|BR|BI|I|IR) //; s/\\-/-/g; s/"//g; s/ *, */, /g'
}
manual_options="$(manual_section OPTIONS | one_a_line)"
manual_keys="$(manual_section KEYS | one_a_line)"

# The README: the options named in the usage part, the first column of the keys table.
readme_usage="$(awk '/^## Using glowview/ {on = 1; next} /^## / {on = 0} on' "$readme")"
readme_options="$(grep -oE '`--?[a-z][a-z-]*`' <<<"$readme_usage" | tr -d '`' | sort -u)"
readme_keys="$(grep -E '^\| [^-]' <<<"$readme_usage" | grep -v '^| Key |' |
  awk -F'|' '{gsub(/^ +| +$/, "", $2); print $2}' | one_a_line)"

status=0
compare() {  # what, name of the first list, first list, name of the second, second list
  if [ -z "$3" ] || [ "$3" != "$5" ]; then
    echo "FAIL: the $1 differ between $2 and $4:" >&2
    diff <(echo "$3") <(echo "$5") | sed 's/^/  /' >&2
    status=1
  fi
}
compare options "--help" "$help_options" "the manual page" "$manual_options"
compare options "--help" "$help_options" "the README" "$readme_options"
compare keys "--help" "$help_keys" "the manual page" "$manual_keys"
compare keys "--help" "$help_keys" "the README" "$readme_keys"
[ "$status" -eq 0 ] || exit 1
echo "options: $(echo $help_options)"
echo "keys: $(echo $help_keys)"
echo "PASS"
