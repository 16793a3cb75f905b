#!/usr/bin/env bash
# The bash completion of korvane-cli, as bash-completion runs it: each case is
# a command line typed up to the cursor and what the completion must offer
# (and must not) there.
#   completion_test.sh KORVANE_CLI COMPLETION_FILE
# Exits 77 (skipped) without bash-completion.
set -uo pipefail

cli=$1
completion=$2
framework=/usr/share/bash-completion/bash_completion
if [ ! -f "$framework" ]; then
  echo "SKIPPED: $framework not found (package bash-completion)"
  exit 77
fi

# The port list is made up: nothing here may open the machine's own ports.
export KORVANE_PORTS=/dev/korvane-test-a:/dev/korvane-test-b
PATH=$(dirname "$cli"):$PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/firmware"
touch "$work/firmware/blink.hex" "$work/firmware/big.ihx" "$work/firmware/notes.txt"
cd "$work" || exit 1

# shellcheck disable=SC1090
source "$framework"
# shellcheck disable=SC1090
source "$completion"

# Offers for LINE, typed up to its end, one a line. Words split at blanks
# and around "=", as bash splits them for a completion function.
offers() {
  local line=$1
  local -a words=()
  local word
  read -r -a words <<<"${line//=/ = }"
  [[ $line == *" " || -z $line ]] && words+=("")
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMPREPLY=()
  _korvane_cli korvane-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort
}

passed=0
failed=0
# expect LINE "MUST OFFER..." "MUST NOT OFFER..."
expect() {
  local line=$1 wanted=$2 unwanted=${3:-} got word ok=1
  got=$(offers "$line")
  for word in $wanted; do
    grep -qxF -- "$word" <<<"$got" || ok=0
  done
  for word in $unwanted; do
    grep -qxF -- "$word" <<<"$got" && ok=0
  done
  if [ $ok -eq 1 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: '$line' offered [$(echo $got)]; wanted [$wanted], not [$unwanted]"
  fi
}
# expect_none LINE: nothing is offered.
expect_none() {
  local got
  got=$(offers "$1")
  if [ -z "$got" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: '$1' offered [$(echo $got)]; wanted nothing"
  fi
}

# Commands, and the options before one.
expect "korvane-cli pro" "program" "ports read"
expect "korvane-cli " "ports detect program read verify erase blank check info doctor help" "--port"
expect "korvane-cli help pr" "program" "help ports"
expect "korvane-cli --" "--help --version" "--port --lock"
expect "korvane-cli --port /dev/korvane-test-a d" "detect" "program"

# Each command is offered exactly the options its own help lists, --help
# aside; both come from the command table.
for command in $("$cli" --help | awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on && /^  [a-z]/ && $1 != "help" { print $1 }'); do
  listed=$("$cli" help "$command" | awk '/^Options:/ { on = 1; next } /^$/ { on = 0 }
    on && /^  -/ { for (i = 1; i <= NF; i++) if ($i ~ /^--[a-z]/) { print $i; break } }' |
    grep -vx -- --help | sort)
  offered=$(offers "korvane-cli $command --")
  if [ "$listed" = "$offered" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: '$command --' offered [$(echo $offered)]; its help lists [$(echo $listed)]"
  fi
done
# An option already given is not offered again.
expect "korvane-cli program firmware/blink.hex --lock --" "--port --fast-verify --mem" "--lock"
expect "korvane-cli info blink.hex --format " "hex bin" "--port"
expect "korvane-cli program blink.hex --repeat -p /dev/korvane-test-a --" "--port --all-boards" \
  "--repeat"
expect "korvane-cli read out.hex --port /dev/korvane-test-a --" "--mem" "--port"

# Option values.
expect "korvane-cli check blink.hex --chip 89C5" "89C51 89C52 89C55" "89LV52 89C2051"
expect "korvane-cli check blink.hex --chip 89lv" "89LV51 89LV52 89LV55" "89C52"
expect "korvane-cli check blink.hex --chip=89C20" "89C2051" "89C4051"
expect "korvane-cli read out.hex --mem " "2KB 4KB"
expect_none "korvane-cli check blink.hex --size "
expect "korvane-cli detect --port " "/dev/korvane-test-a /dev/korvane-test-b"
expect "korvane-cli program blink.hex --port=/dev/korvane-test-b" "/dev/korvane-test-b" \
  "/dev/korvane-test-a"

# Ports are named without running korvane-cli, whose port report opens every
# port (and resets a board that resets on open); from the machine's list too.
mkdir "$work/shim"
printf '#!/bin/sh\ntouch "%s/ran"\n' "$work" >"$work/shim/korvane-cli"
chmod +x "$work/shim/korvane-cli"
PATH=$work/shim:$PATH
expect "korvane-cli read out.hex -p /dev/korvane-test-" "/dev/korvane-test-a /dev/korvane-test-b"
(unset KORVANE_PORTS && offers "korvane-cli detect --port " >/dev/null)
if [ -e "$work/ran" ]; then
  failed=$((failed + 1))
  echo "FAIL: completing a port ran korvane-cli"
else
  passed=$((passed + 1))
fi
PATH=${PATH#"$work/shim:"}

# Files: Intel HEX ones (and folders) to read from, any name to write.
expect "korvane-cli program firmware/" "firmware/blink.hex firmware/big.ihx" "firmware/notes.txt"
expect "korvane-cli check firmware/b" "firmware/blink.hex firmware/big.ihx"
expect "korvane-cli --lock program fir" "firmware"
expect "korvane-cli read firmware/" "firmware/blink.hex firmware/notes.txt"
expect_none "korvane-cli program firmware/blink.hex "
expect_none "korvane-cli detect "

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
