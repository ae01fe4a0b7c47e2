# Sourced by every script in scripts/ before it does anything, with the script's arguments:
#   source "$(dirname "$0")/lib/usage.sh" [--no-arguments] "$@"
# "--help" or "-h" as the first argument prints the script's header comment (what it does, its options and
# the environment it reads) and ends the script with status 0, before it builds, installs or writes
# anything. With --no-arguments, a script that takes none refuses any argument with its usage (status 2)
# instead of running as if it had not been given.

morven_usage() {
  # The comment block after the "#!" line, without its "# " marks.
  sed -n '2,/^[^#]/{/^#/!q;s/^# \{0,1\}//;p}' "$0"
}

morven_usage_check() {
  local none=0
  if [ "${1:-}" = --no-arguments ]; then
    none=1
    shift
  fi
  case "${1:-}" in
    -h | --help)
      morven_usage
      exit 0
      ;;
  esac
  if ((none)) && (($#)); then
    echo "$(basename "$0"): unknown argument: $1" >&2
    morven_usage >&2
    exit 2
  fi
}

morven_usage_check "$@"
