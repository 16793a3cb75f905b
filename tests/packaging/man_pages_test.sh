#!/usr/bin/env bash
# The manual pages: each formats without a single warning, names the
# project's version, and documents what its program's --help lists, no more
# and no less: every command one entry of COMMANDS, every option one entry
# of OPTIONS, every exit status one entry of EXIT STATUS.
#   man_pages_test.sh VERSION MAN_DIR KORVANE_CLI KORVANE_BOARDSIM
set -uo pipefail

version=$1
man_dir=$2
cli=$3
boardsim=$4

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}

# No output on stderr from the formatter, with every warning enabled.
formats_cleanly() {
  local page=$1 warnings
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  else
    warnings=$(groff -ww -man -z "$page" 2>&1)
  fi
  [ -z "$warnings" ] || {
    echo "$warnings"
    return 1
  }
}

names_version() {
  grep -q "^\.TH [A-Z-]* 1 [0-9-]* \"Korvane $version\" " "$1"
}

# The names in the .TP entry tags of section SECTION (its subsections too),
# one a line: the tag's first word and every option in it, not the
# arguments: ".BR \-h \", \" \-\-help" gives -h and --help, ".BI program \" FILE\""
# gives program.
tags() {
  local page=$1 section=$2
  awk -v section="$section" '
    /^\.SH / { name = $0; sub(/^\.SH +/, "", name); gsub(/"/, "", name); inside = (name == section); next }
    inside && /^\.TP/ { tag = 1; next }
    inside && tag {
      tag = 0
      line = $0
      sub(/^\.[A-Z]+ */, "", line)
      gsub(/\\-/, "-", line)
      gsub(/\\f[BIRP]|"|,/, " ", line)
      n = split(line, words, /[ \t]+/)
      first = 1
      for (i = 1; i <= n; i++) {
        if (words[i] == "") continue
        if (first || words[i] ~ /^-/) print words[i]
        first = 0
      }
    }' "$page" | sort -u
}

# The entries of a --help block that starts with the line HEADING, each
# line's first word or option (-h and --help from "-h, --help").
help_entries() {
  local heading=$1
  awk -v heading="$heading" '
    $0 == heading { inside = 1; next }
    inside && /^$/ { inside = 0 }
    inside && /^  [^ ]/ {
      n = split($0, words, /[ ,]+/)
      print words[2]
      if (words[2] ~ /^-[a-z]$/) print words[3]
    }'
}

# Every word on stdin is among the tags, and the reverse when EXACT=1.
same_as_tags() {
  local page=$1 section=$2 exact=$3 listed documented missing extra
  listed=$(sort -u)
  documented=$(tags "$page" "$section")
  missing=$(comm -23 <(echo "$listed") <(echo "$documented"))
  extra=$(comm -13 <(echo "$listed") <(echo "$documented"))
  [ -n "$missing" ] && echo "  not in $section of $(basename "$page"): $(echo $missing)"
  [ "$exact" = 1 ] && [ -n "$extra" ] && echo "  in $section of $(basename "$page") only: $(echo $extra)"
  [ -z "$missing" ] && { [ "$exact" != 1 ] || [ -z "$extra" ]; }
}

pages=("$man_dir"/*.1)
check "manual pages found in $man_dir" [ -f "${pages[0]}" ]
for page in "${pages[@]}"; do
  check "$(basename "$page") formats without warnings" formats_cleanly "$page"
  check "$(basename "$page") names version $version on its .TH line" names_version "$page"
done

cli_page=$man_dir/korvane-cli.1
cli_help=$("$cli" --help)
check "korvane-cli(1) COMMANDS are the commands of --help" \
  same_as_tags "$cli_page" COMMANDS 1 < <(help_entries "Commands:" <<<"$cli_help")
check "korvane-cli(1) OPTIONS are the options of --help" \
  same_as_tags "$cli_page" OPTIONS 1 < <(help_entries "Options:" <<<"$cli_help")
check "korvane-cli(1) EXIT STATUS has every exit status of --help" \
  same_as_tags "$cli_page" "EXIT STATUS" 1 < <(help_entries "Exit status:" <<<"$cli_help")
check "korvane-cli(1) ENVIRONMENT has KORVANE_PORTS" \
  same_as_tags "$cli_page" ENVIRONMENT 0 <<<"KORVANE_PORTS"

board_page=$man_dir/korvane-boardsim.1
board_help=$("$boardsim" --help)
check "korvane-boardsim(1) OPTIONS are the options and faults of --help" \
  same_as_tags "$board_page" OPTIONS 1 < <(
    help_entries "Options:" <<<"$board_help"
    help_entries "Faults (combinable):" <<<"$board_help"
    echo "-h" # taken, though --help does not list it
  )

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
