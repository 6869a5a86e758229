# Sourced by the scripts that take arguments, with the script's usage in USAGE: --help or
# -h prints it and ends the script; an argument that looks like an option ends it, before
# it does anything, with the usage on the standard error and status 2 (a folder whose
# name starts with "-" is given as ./-NAME).
for arg in "$@"; do
  case "$arg" in
    -h | --help) printf '%s\n' "$USAGE"; exit 0 ;;
    -*) printf '%s: unknown argument %s\n%s\n' "${0##*/}" "$arg" "$USAGE" >&2; exit 2 ;;
  esac
done
