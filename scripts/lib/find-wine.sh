# Sourced by the scripts that run Windows programs: prints the wine that runs
# 64-bit programs (Debian's wine64 loader first), or nothing when there is none.
find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      echo "$candidate"
      return
    fi
  done
}
